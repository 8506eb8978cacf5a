// The standard streams as byte streams: writing standard output whole, and whether a stream is a terminal.
#pragma once

#include <cstddef>

namespace xol::platform {

enum class WriteResult {
    Written,
    BrokenPipe, // the reader has gone (SIGPIPE is ignored, so the write reports it)
    Failed, // refused otherwise (a closed descriptor, a full disk); the bytes are lost
};

// Writes all bytes, resuming after interrupted and short writes.
WriteResult write_stdout(char const* bytes, std::size_t count);
WriteResult write_stderr(char const* bytes, std::size_t count);

bool stdin_is_terminal();
bool stdout_is_terminal();

}
