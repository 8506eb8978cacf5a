// The standard streams on POSIX: whole writes to descriptors 1 and 2, reads of descriptor 0, terminal checks
// and the window size.

#include "runtime/platform/terminal.h"

#include <atomic>
#include <cerrno>
#include <csignal>

#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace xol::platform {

namespace {

// The modes raw mode replaced; `raw` says whether they are to be put back. Signal handlers read both.
struct RawModeState {
    termios saved {};
    volatile std::sig_atomic_t raw = 0;
};
RawModeState raw_mode;

std::atomic<bool> window_resized { false };

void on_window_change(int)
{
    window_resized.store(true, std::memory_order_relaxed);
}

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

std::optional<WindowSize> window_size_of(int descriptor)
{
    winsize size {};
    if (ioctl(descriptor, TIOCGWINSZ, &size) != 0) return std::nullopt;
    if (size.ws_col == 0 || size.ws_row == 0) return std::nullopt;
    return WindowSize { size.ws_col, size.ws_row };
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

InputRead read_stdin(std::uint8_t* buffer, std::size_t capacity, bool report_interruption)
{
    for (;;) {
        ssize_t const count = read(STDIN_FILENO, buffer, capacity);
        if (count > 0) return { InputStatus::Read, static_cast<std::size_t>(count) };
        if (count == 0) return { InputStatus::Ended, 0 };
        if (errno == EINTR) {
            if (report_interruption) return { InputStatus::Interrupted, 0 };
            continue;
        }
        // A descriptor left non-blocking by whoever started us: wait for it rather than call it ended.
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            pollfd waiting { STDIN_FILENO, POLLIN, 0 };
            if (poll(&waiting, 1, -1) >= 0 || errno == EINTR) continue;
        }
        return { InputStatus::Failed, 0 };
    }
}

std::optional<WindowSize> window_size()
{
    if (std::optional<WindowSize> const size = window_size_of(STDOUT_FILENO)) return size;
    return window_size_of(STDIN_FILENO);
}

bool enter_raw_mode()
{
    if (raw_mode.raw) return true;
    termios modes {};
    if (tcgetattr(STDIN_FILENO, &modes) != 0) return false;
    raw_mode.saved = modes;
    modes.c_iflag &= ~static_cast<tcflag_t>(IXON | ICRNL | INLCR | IGNCR);
    modes.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG | IEXTEN);
    modes.c_cc[VMIN] = 1;
    modes.c_cc[VTIME] = 0;
    // Marked before the switch: a signal arriving in between restores modes that equal the saved ones.
    raw_mode.raw = 1;
    if (tcsetattr(STDIN_FILENO, TCSADRAIN, &modes) != 0) {
        raw_mode.raw = 0;
        return false;
    }
    return true;
}

void restore_terminal()
{
    if (!raw_mode.raw) return;
    raw_mode.raw = 0;
    // Interrupted by a signal, the call is made again: the shell must get its terminal back.
    while (tcsetattr(STDIN_FILENO, TCSADRAIN, &raw_mode.saved) != 0 && errno == EINTR) { }
}

bool stdin_ready_within(int milliseconds)
{
    pollfd waiting { STDIN_FILENO, POLLIN, 0 };
    return poll(&waiting, 1, milliseconds) > 0;
}

void watch_window_size(bool on)
{
    struct sigaction action { };
    sigemptyset(&action.sa_mask);
    action.sa_handler = on ? on_window_change : SIG_DFL;
    action.sa_flags = SA_ONSTACK; // no SA_RESTART: a waiting read returns, and the editor redraws
    sigaction(SIGWINCH, &action, nullptr);
}

bool take_window_size_change()
{
    return window_resized.exchange(false, std::memory_order_relaxed);
}

}
