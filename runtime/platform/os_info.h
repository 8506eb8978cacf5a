// What the machine says of itself: the system's name, the processor and the kernel's version numbers.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace xol::platform {

struct OsDescription {
    std::string name; // "Linux " and the distribution's pretty name, else "Linux " and the kernel release
    std::string architecture; // x86-64, x86-32, ARM64, ARM, IA-64 or Unknown
    std::array<std::uint8_t, 3> version {}; // the kernel release's first three numbers, each at most 255
    std::int32_t build = 0; // its fourth number, else 0
};

OsDescription os_description();

// The numbers of a kernel release such as "6.1.0-18-amd64" or "5.15.146.1-microsoft": up to four runs of
// digits separated by dots, read from the start; the part missing stays 0. Kept apart for tests.
void parse_release(std::string const& release, OsDescription& description);

}
