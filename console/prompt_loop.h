// A minimal read-eval-print loop on standard input, standing in for the console until it is built.
#pragma once

namespace xol::console {

// Reads lines until the end of standard input; each line is loaded and evaluated, an error is printed,
// and a result other than unset! is printed molded after "== ". The prompt ">> " shows only when standard
// input is a terminal, so that piped input gives the results alone.
void run_prompt_loop();

}
