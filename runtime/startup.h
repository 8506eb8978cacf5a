// Start-up: the platform set up, the runtime initialised in its fixed order, then the console; the
// process ends through quit.
#pragma once

#include <string>
#include <vector>

namespace xol::runtime {

struct RuntimeRecord {
    std::vector<std::string> arguments; // argv as the OS gave it, byte for byte; the program's path first
    void (*launch)() = nullptr; // what runs once the runtime is ready: the console
};

extern RuntimeRecord record;

// Runs the whole life of the process: the platform set-up, the runtime, then `launch` (the console) on
// the interpreter's thread; ends the process through quit, with status 0 when `launch` returns.
int start(int argc, char** argv, void (*launch)());

// The runtime's modules in their fixed order (tests also call it to get a fresh runtime).
void init();

}
