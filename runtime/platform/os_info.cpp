// The OS description on Linux: uname and /etc/os-release.

#include "runtime/platform/os_info.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

#include <sys/utsname.h>

namespace xol::platform {

namespace {

std::string architecture_of(std::string_view machine)
{
    if (machine == "x86_64") return "x86-64";
    if (machine.size() == 4 && machine[0] == 'i' && machine[1] >= '3' && machine[1] <= '6' && machine.substr(2) == "86")
        return "x86-32";
    if (machine == "aarch64" || machine == "arm64") return "ARM64";
    if (machine.starts_with("arm")) return "ARM";
    if (machine == "ia64") return "IA-64";
    return "Unknown";
}

// PRETTY_NAME's value from os-release, its quotes removed; empty when the file or the line is missing.
std::string pretty_name()
{
    std::FILE* file = std::fopen("/etc/os-release", "re");
    if (file == nullptr) file = std::fopen("/usr/lib/os-release", "re");
    if (file == nullptr) return {};
    std::string result;
    char line[512];
    while (std::fgets(line, sizeof line, file) != nullptr) {
        std::string_view text(line);
        if (!text.starts_with("PRETTY_NAME=")) continue;
        text.remove_prefix(12);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
        if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') && text.back() == text.front())
            text = text.substr(1, text.size() - 2);
        result = text;
        break;
    }
    std::fclose(file);
    return result;
}

}

void parse_release(std::string const& release, OsDescription& description)
{
    std::size_t position = 0;
    for (int part = 0; part < 4; ++part) {
        if (position >= release.size() || release[position] < '0' || release[position] > '9') return;
        std::int64_t number = 0;
        while (position < release.size() && release[position] >= '0' && release[position] <= '9') {
            number = std::min<std::int64_t>(number * 10 + (release[position] - '0'), 0x7FFFFFFF);
            ++position;
        }
        if (part < 3)
            description.version[static_cast<std::size_t>(part)]
                = static_cast<std::uint8_t>(std::min<std::int64_t>(number, 255));
        else
            description.build = static_cast<std::int32_t>(number);
        if (position >= release.size() || release[position] != '.') return;
        ++position;
    }
}

OsDescription os_description()
{
    OsDescription description;
    utsname names {};
    if (uname(&names) != 0) {
        description.name = "Linux";
        description.architecture = "Unknown";
        return description;
    }
    std::string const pretty = pretty_name();
    description.name = "Linux " + (pretty.empty() ? std::string(names.release) : pretty);
    description.architecture = architecture_of(names.machine);
    parse_release(names.release, description);
    return description;
}

}
