// Start-up: the platform set up, every layer initialised in its fixed order, then the console; the process
// ends through quit.
#pragma once

namespace xol::app {

// Runs the whole life of the process: the platform set-up, the runtime, then `launch` (the console) on
// the interpreter's thread; ends the process through quit, with status 0 when `launch` returns.
int start(int argc, char** argv, void (*launch)());

// The services record filled, then the modules of every layer in their fixed order (tests also call it to
// get a fresh runtime).
void init();

}
