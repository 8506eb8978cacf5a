// The runtime record: what start-up was given (the program's arguments) and what it runs once the runtime
// is ready (the console).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace xol::runtime {

struct RuntimeRecord {
    std::vector<std::string> arguments; // argv as the OS gave it, byte for byte; the program's path first
    void (*launch)() = nullptr; // what runs once the runtime is ready: the console
    // The library's sources as values, in the XOLBIN image the build made of them; empty when the program
    // was built without one (the image's own maker, unit tests): start-up then reads the sources' text.
    std::span<std::uint8_t const> boot_image;
    // By the image's symbol index, the name hash of each spelling, which the build computed: start-up then
    // interns the names without hashing them. Empty without an image, or when it is not known.
    std::span<std::uint32_t const> boot_name_hashes;
};

extern RuntimeRecord record;

}
