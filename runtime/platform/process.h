// The life of the process: its end.
#pragma once

namespace xol::platform {

// Ends the process at once with the status (taken modulo 256 by the OS). The caller flushes its own
// buffered output first; the C library's streams are flushed here.
[[noreturn]] void exit_process(int status);

}
