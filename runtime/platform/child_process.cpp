// Child processes on POSIX: posix_spawnp with file actions, one poll loop over the pipes, waitpid.

#include "runtime/platform/child_process.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

namespace xol::platform {

namespace {

// Children started without waiting, reaped by the next run_child or at exit.
struct UnwaitedChildren {
    std::mutex lock;
    std::vector<pid_t> pids;
} unwaited;

// A file descriptor closed when it goes out of scope.
class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int fd)
        : m_fd(fd)
    {
    }
    Descriptor(Descriptor const&) = delete;
    Descriptor& operator=(Descriptor const&) = delete;
    ~Descriptor() { close(); }
    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    void reset(int fd)
    {
        close();
        m_fd = fd;
    }
    int release()
    {
        int const fd = m_fd;
        m_fd = -1;
        return fd;
    }
    void close()
    {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd = -1;
};

class SpawnActions {
public:
    SpawnActions() { posix_spawn_file_actions_init(&m_actions); }
    ~SpawnActions() { posix_spawn_file_actions_destroy(&m_actions); }
    SpawnActions(SpawnActions const&) = delete;
    SpawnActions& operator=(SpawnActions const&) = delete;
    posix_spawn_file_actions_t* get() { return &m_actions; }

private:
    posix_spawn_file_actions_t m_actions;
};

class SpawnAttributes {
public:
    SpawnAttributes()
    {
        posix_spawnattr_init(&m_attributes);
        // Our handlers and ignored signals (SIGPIPE among them) are ours alone: the child starts as a shell
        // would start it.
        sigset_t defaults;
        sigfillset(&defaults);
        sigdelset(&defaults, SIGKILL);
        sigdelset(&defaults, SIGSTOP);
        posix_spawnattr_setsigdefault(&m_attributes, &defaults);
        sigset_t none;
        sigemptyset(&none);
        posix_spawnattr_setsigmask(&m_attributes, &none);
        posix_spawnattr_setflags(&m_attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    }
    ~SpawnAttributes() { posix_spawnattr_destroy(&m_attributes); }
    SpawnAttributes(SpawnAttributes const&) = delete;
    SpawnAttributes& operator=(SpawnAttributes const&) = delete;
    posix_spawnattr_t* get() { return &m_attributes; }

private:
    posix_spawnattr_t m_attributes;
};

bool has_nul(std::string_view text)
{
    return text.find('\0') != std::string_view::npos;
}

int status_of(int wait_status)
{
    if (WIFEXITED(wait_status)) return WEXITSTATUS(wait_status);
    if (WIFSIGNALED(wait_status)) return 128 + WTERMSIG(wait_status);
    return -1;
}

int wait_for(pid_t pid)
{
    int wait_status = 0;
    while (waitpid(pid, &wait_status, 0) < 0)
        if (errno != EINTR) return -1;
    return status_of(wait_status);
}

using Clock = std::chrono::steady_clock;

constexpr std::size_t read_chunk = 1024 * 1024; // what one read may bring: the pipe's size

// Milliseconds left before the deadline for poll: -1 without a limit, 0 once it has passed. A part of a
// millisecond left counts as one, so the limit never ends a child before its time.
int poll_timeout(std::int64_t limit, Clock::time_point deadline)
{
    if (limit < 0) return -1;
    auto const left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return 0;
    return static_cast<int>(std::min<std::int64_t>(left, 1000 * 1000));
}

// Writes without dying of SIGPIPE whatever its disposition: the signal is blocked around the write and a
// pending one taken back, so a child that closed its input shows as EPIPE.
ssize_t write_quietly(int fd, char const* bytes, std::size_t count)
{
    sigset_t pipe_signal, previous;
    sigemptyset(&pipe_signal);
    sigaddset(&pipe_signal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe_signal, &previous);
    ssize_t const written = ::write(fd, bytes, count);
    int const saved = errno;
    if (written < 0 && errno == EPIPE) {
        timespec const zero {};
        while (sigtimedwait(&pipe_signal, nullptr, &zero) >= 0) { }
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    errno = saved;
    return written;
}

// Pumps the pipes until output and error reach their end, feeding the input as the child takes it, so a
// child that fills one pipe while we are busy with another never waits on us. Answers false when the time
// limit passed first.
bool pump(int input, int output, int error, std::string_view feed, ChildResult& result, std::int64_t limit,
    Clock::time_point deadline)
{
    Descriptor input_end(input), output_end(output), error_end(error);
    std::size_t fed = 0;
    if (input_end.valid() && feed.empty()) input_end.close();
    while (input_end.valid() || output_end.valid() || error_end.valid()) {
        pollfd fds[3];
        nfds_t count = 0;
        Descriptor* owners[3];
        Capture* targets[3];
        auto const add = [&](Descriptor& end, short events, Capture* target) {
            if (!end.valid()) return;
            fds[count] = pollfd { end.get(), events, 0 };
            owners[count] = &end;
            targets[count] = target;
            ++count;
        };
        add(input_end, POLLOUT, nullptr);
        add(output_end, POLLIN, &result.output);
        add(error_end, POLLIN, &result.error);
        int const timeout = poll_timeout(limit, deadline);
        if (limit >= 0 && timeout == 0) return false;
        int const ready = poll(fds, count, timeout);
        if (ready < 0) {
            if (errno == EINTR) continue;
            return true; // cannot happen with valid descriptors; stop rather than spin
        }
        for (nfds_t i = 0; i < count; ++i) {
            if (fds[i].revents == 0) continue;
            if (targets[i] == nullptr) {
                // Never more than the pipe takes at once, so the write does not block.
                std::size_t const chunk = std::min<std::size_t>(feed.size() - fed, 64 * 1024);
                ssize_t const written = write_quietly(fds[i].fd, feed.data() + fed, chunk);
                if (written > 0)
                    fed += static_cast<std::size_t>(written);
                else if (written < 0 && errno != EINTR && errno != EAGAIN)
                    owners[i]->close(); // EPIPE: it stopped reading
                if (fed == feed.size()) owners[i]->close();
                continue;
            }
            // Read straight into the capture's spare room: one copy fewer.
            Capture& target = *targets[i];
            char* const room = target.room(read_chunk);
            if (room == nullptr) {
                // Out of memory: the stream is dropped so the child is not stalled, and the whole run
                // reports failure rather than a capture with a hole in it.
                owners[i]->close();
                result.outcome = ChildOutcome::Failed;
                continue;
            }
            ssize_t const got = ::read(fds[i].fd, room, read_chunk);
            if (got > 0) target.commit(static_cast<std::size_t>(got));
            if (got == 0 || (got < 0 && errno != EINTR && errno != EAGAIN)) owners[i]->close();
        }
    }
    return true;
}

// Waits for the child within the limit, polling its state where no pipe is left to wait on.
bool wait_within(pid_t pid, std::int64_t limit, Clock::time_point deadline, int& status)
{
    if (limit < 0) {
        status = wait_for(pid);
        return true;
    }
    long step_ns = 100 * 1000;
    for (;;) {
        int wait_status = 0;
        pid_t const done = waitpid(pid, &wait_status, WNOHANG);
        if (done == pid) {
            status = status_of(wait_status);
            return true;
        }
        if (done < 0 && errno != EINTR) {
            status = -1;
            return true;
        }
        if (Clock::now() >= deadline) return false;
        timespec const pause { 0, step_ns };
        nanosleep(&pause, nullptr);
        step_ns = std::min(step_ns * 2, 10L * 1000 * 1000);
    }
}

int open_for(StreamChoice const& choice, bool reading)
{
    if (has_nul(choice.path) || choice.path.empty()) return -1;
    int const flags = reading ? O_RDONLY : (O_WRONLY | O_CREAT | O_APPEND);
    int fd;
    do fd = ::open(choice.path.c_str(), flags | O_CLOEXEC, 0666);
    while (fd < 0 && errno == EINTR);
    return fd;
}

}

Capture::Capture(Capture&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr))
    , m_size(std::exchange(other.m_size, 0))
    , m_capacity(std::exchange(other.m_capacity, 0))
{
}

Capture& Capture::operator=(Capture&& other) noexcept
{
    if (this != &other) {
        std::free(m_data);
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
        m_capacity = std::exchange(other.m_capacity, 0);
    }
    return *this;
}

Capture::~Capture()
{
    std::free(m_data);
}

char* Capture::room(std::size_t count)
{
    if (m_capacity - m_size < count) {
        std::size_t const wanted = std::max(m_size + count, m_capacity * 2);
        void* const grown = std::realloc(m_data, wanted);
        if (grown == nullptr) return nullptr;
        m_data = static_cast<char*>(grown);
        m_capacity = wanted;
    }
    return m_data + m_size;
}

void reap_children()
{
    // The exit path may come here from a fault inside a spawn: it then leaves the list alone rather than
    // wait for a lock that will never be released.
    std::unique_lock<std::mutex> guard(unwaited.lock, std::try_to_lock);
    if (!guard.owns_lock()) return;
    std::erase_if(unwaited.pids, [](pid_t pid) {
        int wait_status = 0;
        pid_t const done = waitpid(pid, &wait_status, WNOHANG);
        return done == pid || (done < 0 && errno == ECHILD);
    });
}

ChildResult run_child(ChildRequest const& request)
{
    reap_children();
    ChildResult result;
    if (request.arguments.empty()) return result;
    for (std::string const& argument : request.arguments)
        if (has_nul(argument)) return result;

    SpawnActions actions;
    // The parent's ends and the files stay open here until the child has its copies.
    Descriptor files[3];
    Descriptor parent_ends[3];
    Descriptor child_ends[3];
    StreamChoice const* const choices[3] = { &request.input, &request.output, &request.error };
    for (int fd = 0; fd < 3; ++fd) {
        StreamChoice const& choice = *choices[fd];
        bool const reading = fd == 0;
        switch (choice.kind) {
        case StreamKind::Inherit:
            break;
        case StreamKind::Null:
            posix_spawn_file_actions_addopen(actions.get(), fd, "/dev/null", reading ? O_RDONLY : O_WRONLY, 0);
            break;
        case StreamKind::File:
            files[fd].reset(open_for(choice, reading));
            if (!files[fd].valid()) return result; // an unopenable file: nothing starts, nothing is lost silently
            posix_spawn_file_actions_adddup2(actions.get(), files[fd].get(), fd);
            break;
        case StreamKind::Pipe: {
            int ends[2];
            if (pipe2(ends, O_CLOEXEC) != 0) return result;
            // ends[0] reads, ends[1] writes: the child takes the end it needs.
            child_ends[fd].reset(reading ? ends[0] : ends[1]);
            parent_ends[fd].reset(reading ? ends[1] : ends[0]);
            posix_spawn_file_actions_adddup2(actions.get(), child_ends[fd].get(), fd);
            // A larger pipe means fewer switches between the child and us on large outputs; the system's
            // limit may refuse it, and the default then serves.
            if (!reading) fcntl(ends[0], F_SETPIPE_SZ, 1024 * 1024);
            break;
        }
        }
    }
    // Everything else we hold stays out of the child, whether or not its opener asked for close-on-exec.
    posix_spawn_file_actions_addclosefrom_np(actions.get(), 3);

    std::vector<char*> argv;
    argv.reserve(request.arguments.size() + 1);
    for (std::string const& argument : request.arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    SpawnAttributes attributes;
    pid_t pid = 0;
    int const failure = posix_spawnp(&pid, argv[0], actions.get(), attributes.get(), argv.data(), environ);
    if (failure != 0) {
        result.outcome = failure == ENOENT ? ChildOutcome::NotFound : ChildOutcome::Failed;
        return result;
    }
    for (Descriptor& end : child_ends) end.close();
    for (Descriptor& file : files) file.close();
    result.pid = pid;

    if (!request.wait) {
        // Nothing of ours waits on the pipes of a child we do not wait for: they close with it.
        std::lock_guard<std::mutex> guard(unwaited.lock);
        unwaited.pids.push_back(pid);
        result.outcome = ChildOutcome::Started;
        result.status = pid;
        return result;
    }

    Clock::time_point const deadline
        = Clock::now() + std::chrono::milliseconds(std::max<std::int64_t>(request.time_limit_ms, 0));
    // The pump owns and closes the parent's ends from here.
    auto const release = [](Descriptor& end) {
        int const fd = end.release();
        if (fd >= 0) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        return fd;
    };
    int const input_fd = release(parent_ends[0]);
    int const output_fd = release(parent_ends[1]);
    int const error_fd = release(parent_ends[2]);
    result.outcome = ChildOutcome::Ended; // until the pump finds it cannot hold what the child wrote
    bool in_time = pump(input_fd, output_fd, error_fd, request.input_bytes, result, request.time_limit_ms, deadline);
    int status = -1;
    if (in_time) in_time = wait_within(pid, request.time_limit_ms, deadline, status);
    if (!in_time) {
        kill(pid, SIGKILL);
        result.status = wait_for(pid);
        result.outcome = ChildOutcome::TimedOut;
        return result;
    }
    bool const lost = result.outcome == ChildOutcome::Failed;
    result.status = lost ? -1 : status;
    result.outcome = lost ? ChildOutcome::Failed : ChildOutcome::Ended;
    return result;
}

void open_with_default_handler(std::string const& target)
{
    ChildRequest request;
    request.arguments = { "xdg-open", target };
    request.input = { StreamKind::Null, {} };
    request.output = { StreamKind::Null, {} };
    request.error = { StreamKind::Null, {} };
    request.wait = false;
    run_child(request);
}

std::vector<std::string> split_command(std::string_view line)
{
    std::vector<std::string> words;
    std::string word;
    bool in_word = false;
    std::size_t i = 0;
    auto const blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (i < line.size()) {
        char const c = line[i];
        if (blank(c)) {
            if (in_word) words.push_back(std::move(word));
            word.clear();
            in_word = false;
            ++i;
            continue;
        }
        in_word = true;
        if (c == '\'') {
            std::size_t const end = line.find('\'', i + 1);
            std::size_t const stop = end == std::string_view::npos ? line.size() : end;
            word.append(line.substr(i + 1, stop - i - 1));
            i = stop == line.size() ? stop : stop + 1;
        } else if (c == '"') {
            ++i;
            while (i < line.size() && line[i] != '"') {
                if (line[i] == '\\' && i + 1 < line.size() && std::strchr("$`\"\\\n", line[i + 1]) != nullptr) {
                    if (line[i + 1] != '\n') word += line[i + 1];
                    i += 2;
                } else {
                    word += line[i++];
                }
            }
            if (i < line.size()) ++i; // the closing quote
        } else if (c == '\\') {
            if (i + 1 < line.size()) {
                if (line[i + 1] != '\n')
                    word += line[i + 1];
                else if (word.empty())
                    in_word = false; // a line continuation alone makes no word
                i += 2;
            } else {
                ++i; // a final backslash has nothing to keep
            }
        } else {
            word += c;
            ++i;
        }
    }
    if (in_word) words.push_back(std::move(word));
    return words;
}

}
