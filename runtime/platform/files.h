// Files as byte strings: a whole file read at once. Failures come back as values, never as raises: the
// language-level operation decides which error a failure becomes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace xol::platform {

// The file's bytes, read to its end (so files whose size the OS does not report, such as those under
// /proc, read whole); nullopt when the path names no readable regular file: missing, a directory, no
// permission, a read error, or a name holding a NUL byte.
std::optional<std::string> read_file(std::string_view path);

}
