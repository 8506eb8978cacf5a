// The end of the process on POSIX.

#include "runtime/platform/process.h"

#include <cstdio>

#include <unistd.h>

namespace xol::platform {

void exit_process(int status)
{
    std::fflush(nullptr);
    // _exit skips atexit handlers and static destructors: the runtime's own state needs no tearing down at the end.
    _exit(status);
}

}
