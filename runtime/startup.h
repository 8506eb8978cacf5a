// Start-up: the runtime initialised in its fixed order, then the console; the process ends through quit.
#pragma once

namespace xol::runtime {

// Runs the whole life of the process; never returns normally.
int start(int argc, char** argv);

// The runtime's modules in their fixed order (also used by tests to get a fresh runtime).
void init();

}
