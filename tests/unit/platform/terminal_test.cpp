// Tests of the standard streams: whole writes through pipes, refused writes, and terminal detection.

#include "runtime/platform/terminal.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

namespace xol::platform {
namespace {

// Points a standard descriptor elsewhere for one scope; the original comes back at the end.
class Redirect {
public:
    Redirect(int target, int replacement)
        : target_(target)
        , saved_(dup(target))
    {
        std::fflush(nullptr);
        dup2(replacement, target_);
    }
    ~Redirect()
    {
        dup2(saved_, target_);
        close(saved_);
    }
    Redirect(Redirect const&) = delete;
    Redirect& operator=(Redirect const&) = delete;

private:
    int target_;
    int saved_;
};

struct Stream {
    char const* name;
    int descriptor;
    WriteResult (*write)(char const*, std::size_t);
};

Stream const streams[] = {
    { "stdout", STDOUT_FILENO, write_stdout },
    { "stderr", STDERR_FILENO, write_stderr },
};

// Reads to the end in small pieces with pauses, so that a large write keeps blocking on a full pipe.
std::string read_slowly(int descriptor)
{
    std::string text;
    char buffer[4096];
    for (int reads = 0;; ++reads) {
        if (reads % 16 == 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
        ssize_t got = read(descriptor, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return text;
        text.append(buffer, static_cast<std::size_t>(got));
    }
}

void ignore_signal(int) { }

TEST(Terminal, WritesEverythingDespiteSignalsAndShortWrites)
{
    // A signal that lands in a blocked pipe write ends it early: short when some bytes went, EINTR when none did.
    struct sigaction action { };
    action.sa_handler = ignore_signal;
    sigemptyset(&action.sa_mask);
    struct sigaction previous { };
    ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);

    std::string payload;
    for (int i = 0; payload.size() < (std::size_t { 1 } << 21); ++i) payload += std::to_string(i) + ',';
    for (Stream const& stream : streams) {
        int ends[2];
        ASSERT_EQ(pipe(ends), 0);
        std::string received;
        std::thread reader([&] { received = read_slowly(ends[0]); });
        std::atomic<bool> writing { true };
        pthread_t writer = pthread_self();
        std::thread interrupter([&] {
            while (writing) {
                pthread_kill(writer, SIGUSR1);
                std::this_thread::sleep_for(std::chrono::microseconds(100));
            }
        });
        WriteResult written = WriteResult::Failed;
        WriteResult empty_written = WriteResult::Failed;
        {
            Redirect redirect(stream.descriptor, ends[1]);
            close(ends[1]);
            empty_written = stream.write("", 0);
            written = stream.write(payload.data(), payload.size());
        }
        writing = false;
        interrupter.join();
        reader.join();
        close(ends[0]);
        EXPECT_EQ(empty_written, WriteResult::Written) << stream.name;
        EXPECT_EQ(written, WriteResult::Written) << stream.name;
        EXPECT_EQ(received.size(), payload.size()) << stream.name;
        EXPECT_TRUE(received == payload) << stream.name;
    }
    sigaction(SIGUSR1, &previous, nullptr);
}

TEST(Terminal, ReportsAClosedReader)
{
    struct sigaction ignore { };
    ignore.sa_handler = SIG_IGN;
    struct sigaction previous { };
    ASSERT_EQ(sigaction(SIGPIPE, &ignore, &previous), 0);
    for (Stream const& stream : streams) {
        int ends[2];
        ASSERT_EQ(pipe(ends), 0);
        close(ends[0]);
        WriteResult written = WriteResult::Written;
        {
            Redirect redirect(stream.descriptor, ends[1]);
            written = stream.write("lost", 4);
        }
        close(ends[1]);
        EXPECT_EQ(written, WriteResult::BrokenPipe) << stream.name;
    }
    sigaction(SIGPIPE, &previous, nullptr);
}

TEST(Terminal, ReportsAClosedDescriptor)
{
    for (Stream const& stream : streams) {
        int saved = dup(stream.descriptor);
        std::fflush(nullptr);
        close(stream.descriptor);
        WriteResult written = stream.write("lost", 4);
        dup2(saved, stream.descriptor);
        close(saved);
        EXPECT_EQ(written, WriteResult::Failed) << stream.name;
    }
}

TEST(Terminal, TellsPipesFromTerminals)
{
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    {
        Redirect input(STDIN_FILENO, ends[0]);
        Redirect output(STDOUT_FILENO, ends[1]);
        EXPECT_FALSE(stdin_is_terminal());
        EXPECT_FALSE(stdout_is_terminal());
    }
    close(ends[0]);
    close(ends[1]);

    int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) GTEST_SKIP() << "no pseudo-terminals";
    int secondary = open(ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(secondary, 0);
    {
        Redirect input(STDIN_FILENO, secondary);
        Redirect output(STDOUT_FILENO, secondary);
        EXPECT_TRUE(stdin_is_terminal());
        EXPECT_TRUE(stdout_is_terminal());
    }
    close(secondary);
    close(master);
}

}
}
