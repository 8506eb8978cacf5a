// Environment variables and the current directory on POSIX.

#include "runtime/platform/environment.h"

#include <cerrno>
#include <cstdlib>
#include <vector>

#include <stdlib.h>
#include <unistd.h>

namespace xol::platform {

namespace {

// The C library cannot see past an embedded NUL, so such strings are refused rather than cut short.
bool has_nul(std::string_view text)
{
    return text.find('\0') != std::string_view::npos;
}

// getenv would match "A=B" against a variable A whose value starts with "B=", so names are checked here.
bool valid_name(std::string_view name)
{
    return !name.empty() && name.find('=') == std::string_view::npos && !has_nul(name);
}

}

std::optional<std::string> get_env(std::string_view name)
{
    if (!valid_name(name)) return std::nullopt;
    char const* value = std::getenv(std::string(name).c_str());
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

bool set_env(std::string_view name, std::string_view value)
{
    if (!valid_name(name) || has_nul(value)) return false;
    return setenv(std::string(name).c_str(), std::string(value).c_str(), 1) == 0;
}

bool unset_env(std::string_view name)
{
    if (!valid_name(name)) return false;
    return unsetenv(std::string(name).c_str()) == 0;
}

std::vector<std::pair<std::string, std::string>> environment()
{
    std::vector<std::pair<std::string, std::string>> entries;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        std::string_view const text(*entry);
        std::size_t const equals = text.find('=');
        if (equals == std::string_view::npos)
            entries.emplace_back(std::string(text), std::string());
        else
            entries.emplace_back(std::string(text.substr(0, equals)), std::string(text.substr(equals + 1)));
    }
    return entries;
}

std::optional<std::string> current_dir()
{
    std::vector<char> buffer(256);
    while (getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) return std::nullopt;
        buffer.resize(buffer.size() * 2);
    }
    std::string path(buffer.data());
    if (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

bool set_current_dir(std::string_view path)
{
    if (path.empty() || has_nul(path)) return false;
    return chdir(std::string(path).c_str()) == 0;
}

unsigned user_id()
{
    return static_cast<unsigned>(getuid());
}

}
