// The runtime record: what start-up was given (the program's arguments) and what it runs once the runtime
// is ready (the console).
#pragma once

#include <string>
#include <vector>

namespace xol::runtime {

struct RuntimeRecord {
    std::vector<std::string> arguments; // argv as the OS gave it, byte for byte; the program's path first
    void (*launch)() = nullptr; // what runs once the runtime is ready: the console
};

extern RuntimeRecord record;

}
