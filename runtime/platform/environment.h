// Environment variables and the current directory, as UTF-8 byte strings.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace xol::platform {

std::optional<std::string> get_env(std::string_view name); // nullopt when not set
bool set_env(std::string_view name, std::string_view value);
bool unset_env(std::string_view name);

std::optional<std::string> current_dir(); // without a trailing "/"; nullopt when it cannot be read
bool set_current_dir(std::string_view path);

}
