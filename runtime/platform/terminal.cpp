// The standard streams on POSIX: whole writes to descriptors 1 and 2, and terminal checks.

#include "runtime/platform/terminal.h"

#include <cerrno>

#include <unistd.h>

namespace xol::platform {

namespace {

WriteResult write_all(int descriptor, char const* bytes, std::size_t count)
{
    while (count > 0) {
        ssize_t written = write(descriptor, bytes, count);
        if (written < 0) {
            if (errno == EINTR) continue;
            return errno == EPIPE ? WriteResult::BrokenPipe : WriteResult::Failed;
        }
        // A write of nothing to a non-empty request would loop forever; count it as a refusal.
        if (written == 0) return WriteResult::Failed;
        bytes += written;
        count -= static_cast<std::size_t>(written);
    }
    return WriteResult::Written;
}

}

WriteResult write_stdout(char const* bytes, std::size_t count)
{
    return write_all(STDOUT_FILENO, bytes, count);
}

WriteResult write_stderr(char const* bytes, std::size_t count)
{
    return write_all(STDERR_FILENO, bytes, count);
}

bool stdin_is_terminal()
{
    return isatty(STDIN_FILENO) == 1;
}

bool stdout_is_terminal()
{
    return isatty(STDOUT_FILENO) == 1;
}

}
