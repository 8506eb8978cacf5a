# An empty script: the start-up of the interpreter alone.
