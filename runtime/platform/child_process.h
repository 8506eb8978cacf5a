// Other programs run as children: started with posix_spawnp, their three standard streams each inherited,
// on /dev/null, a file or a pipe, the pipes pumped together by one poll loop, and their end collected.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace xol::platform {

enum class StreamKind {
    Inherit, // the child shares ours
    Null, // /dev/null
    File, // input: read from the file; output and error: appended to it, created when missing
    Pipe // input: fed from ChildRequest::input; output and error: captured into ChildResult
};

struct StreamChoice {
    StreamKind kind = StreamKind::Inherit;
    std::string path; // for File
};

struct ChildRequest {
    std::vector<std::string> arguments; // the program (looked up on PATH when it holds no "/") and its arguments
    StreamChoice input, output, error;
    std::string_view input_bytes; // fed to a Pipe input; must outlive the call
    bool wait = true; // false: answer at once with the process id; the child is reaped later
    std::int64_t time_limit_ms = -1; // when waiting: a child still running after it is killed; -1 none
};

// Bytes captured from a pipe. It grows with realloc, which moves large buffers by remapping their pages
// rather than copying them.
class Capture {
public:
    Capture() = default;
    Capture(Capture&& other) noexcept;
    Capture& operator=(Capture&& other) noexcept;
    Capture(Capture const&) = delete;
    Capture& operator=(Capture const&) = delete;
    ~Capture();

    char const* data() const { return m_data; }
    std::size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    std::string_view view() const { return { m_data, m_size }; }
    friend bool operator==(Capture const& capture, std::string_view text) { return capture.view() == text; }

    // Room for at least `count` more bytes at the end, whose address is answered; nullptr when memory
    // runs out. `commit` then counts the bytes written there.
    char* room(std::size_t count);
    void commit(std::size_t count) { m_size += count; }

private:
    char* m_data = nullptr;
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
};

enum class ChildOutcome {
    Ended, // `status` holds the exit status, or 128 + N after signal N
    Started, // not waited for: `pid` holds the process id
    NotFound, // the program does not exist (ENOENT): nothing ran
    TimedOut, // killed at the time limit; `status` is 128 + 9 and the captures hold what came before
    Failed // a file could not be opened, a pipe not made or the program not started: nothing ran
};

struct ChildResult {
    ChildOutcome outcome = ChildOutcome::Failed;
    int status = -1;
    int pid = 0;
    Capture output, error; // what Pipe output and error gave
};

// Starts the child and, when asked, pumps its pipes and waits for its end. Children not waited for by an
// earlier call are reaped first, so none stays a zombie. Only fds 0 to 2 reach the child; it gets our
// environment and current directory, every signal at its default action and none blocked.
ChildResult run_child(ChildRequest const&);

// Reaps every child started without waiting that has ended; run_child and the exit path call it. Never
// blocks: while another call holds the list it does nothing.
void reap_children();

// Hands a URL or a path to the desktop's default handler (xdg-open), its streams on /dev/null, not
// waited for. A missing handler, or one that fails, goes unreported: opening is a wish, not a promise.
void open_with_default_handler(std::string const& target);

// Splits a command line as a POSIX shell splits words: blanks separate, single quotes keep everything,
// double quotes keep everything but \ before $ ` " \ and newline, a backslash outside quotes keeps the
// next character (a backslash-newline pair vanishes). Nothing is expanded: $HOME, * and > are plain text.
// An unterminated quote runs to the end.
std::vector<std::string> split_command(std::string_view line);

}
