// Environment variables and the current directory, as UTF-8 byte strings.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace xol::platform {

std::optional<std::string> get_env(std::string_view name); // nullopt when not set
bool set_env(std::string_view name, std::string_view value);
bool unset_env(std::string_view name);
// Every variable, in the environment's order, as name and value. An entry without "=" is a name with an
// empty value.
std::vector<std::pair<std::string, std::string>> environment();

std::optional<std::string> current_dir(); // without a trailing "/"; nullopt when it cannot be read
bool set_current_dir(std::string_view path);

// The real user id of the process, for names that must differ between users on one machine.
unsigned user_id();

}
