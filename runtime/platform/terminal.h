// The standard streams as byte streams: writing standard output whole, reading standard input, whether a
// stream is a terminal, and the terminal's window size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

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

enum class InputStatus {
    Read, // at least one byte arrived
    Ended, // the end of the input: a closed pipe, the end of a file, a hang-up
    Interrupted, // a signal arrived first (only when the caller asked to hear of it)
    Failed, // a read that fails for good (EIO and the like): the input is as good as ended
};

struct InputRead {
    InputStatus status;
    std::size_t count; // bytes read, when status is Read
};

// One read(2) of up to `capacity` bytes from standard input, waiting until something arrives. An interrupted
// read is resumed unless `report_interruption` is set.
InputRead read_stdin(std::uint8_t* buffer, std::size_t capacity, bool report_interruption = false);

struct WindowSize {
    std::int32_t columns;
    std::int32_t rows;
};

// The terminal's window in character cells, asked of standard output, else of standard input; none when
// neither is a terminal or the terminal reports a zero part.
std::optional<WindowSize> window_size();

// ---- Raw mode and the window size while the line editor runs ------------------------------------------

// Saves the terminal's modes and switches standard input to raw keys: no line discipline, no echo, no
// signals from keys, no flow control, no carriage-return translation; output processing stays. False when
// standard input is no terminal or refuses.
bool enter_raw_mode();
// Puts the saved modes back, once; nothing when raw mode is off. Async-signal-safe: the signal handlers call
// it before a report or a signal's default action.
void restore_terminal();

// Whether a byte can be read from standard input within `milliseconds`.
bool stdin_ready_within(int milliseconds);

// While on, a window-size change interrupts a waiting read (the handler only notes it); off, the change is
// ignored again, so that no other wait of the program is cut short by it.
void watch_window_size(bool on);
// Whether the window changed size since the last call.
bool take_window_size_change();

}
