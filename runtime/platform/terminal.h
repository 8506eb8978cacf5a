// The standard streams as byte streams: writing standard output whole, and whether a stream is a terminal.
#pragma once

#include <cstddef>

namespace xol::platform {

// Writes all bytes to standard output, resuming after interrupted and short writes. False when the
// stream refused them (closed reader, full disk); the bytes are then lost.
bool write_stdout(char const* bytes, std::size_t count);
bool write_stderr(char const* bytes, std::size_t count);

bool stdin_is_terminal();
bool stdout_is_terminal();

}
