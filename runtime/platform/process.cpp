// The end of the process on POSIX.

#include "runtime/platform/process.h"

#include <cstdio>

#include <unistd.h>

#ifdef XOL_PROFILE_GENERATE
// An instrumented build writes its profile at a normal exit, which _exit skips.
extern "C" void __gcov_dump();
#endif

namespace xol::platform {

void exit_process(int status)
{
    std::fflush(nullptr);
#ifdef XOL_PROFILE_GENERATE
    __gcov_dump();
#endif
    // _exit skips atexit handlers and static destructors: the runtime's own state needs no tearing down at the end.
    _exit(status);
}

}
