// Tests of the child-process layer: splitting a command line, the stream choices, the time limit and the
// failures that start nothing.

#include "runtime/platform/child_process.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace xol::platform {
namespace {

using Words = std::vector<std::string>;

TEST(SplitCommand, SplitsLikeAShellWithoutExpanding)
{
    struct Case {
        std::string line;
        Words words;
    };
    Case const cases[] = {
        { "", {} },
        { " \t\n ", {} },
        { "ls -l", { "ls", "-l" } },
        { "  a   b  ", { "a", "b" } },
        { "echo $HOME * >out", { "echo", "$HOME", "*", ">out" } },
        { "a 'b c' d", { "a", "b c", "d" } },
        { R"(a 'it\'s)", { "a", R"(it\s)" } }, // no escape inside single quotes; the quote left open runs on
        { R"(a "b \"c\" \$d \e")", { "a", R"(b "c" $d \e)" } },
        { R"(a\ b c\\d)", { "a b", R"(c\d)" } },
        { "a '' \"\" b", { "a", "", "", "b" } },
        { "x'y'\"z\"w", { "xyzw" } },
        { "a \\\n b", { "a", "b" } }, // a backslash-newline joins lines
        { "a\\", { "a" } },
        { "\"open to the end", { "open to the end" } },
    };
    for (Case const& c : cases) EXPECT_EQ(split_command(c.line), c.words) << c.line;
}

class ChildProcessTest : public testing::Test {
protected:
    void SetUp() override
    {
        std::random_device seed;
        m_scratch = std::filesystem::temp_directory_path() / ("xol-child-" + std::to_string(seed()));
        std::filesystem::create_directories(m_scratch);
    }
    void TearDown() override { std::filesystem::remove_all(m_scratch); }

    static std::string contents(std::filesystem::path const& path)
    {
        std::ifstream file(path, std::ios::binary);
        std::ostringstream text;
        text << file.rdbuf();
        return text.str();
    }

    std::filesystem::path m_scratch;
};

TEST_F(ChildProcessTest, PipesFilesAndNull)
{
    std::filesystem::path const input = m_scratch / "in.txt";
    std::filesystem::path const log = m_scratch / "log.txt";
    std::ofstream(input) << "from file\n";
    std::ofstream(log) << "kept\n";

    ChildRequest request;
    request.arguments = { "sh", "-c", "cat; echo err >&2; echo out" };
    request.input = { StreamKind::File, input.string() };
    request.output = { StreamKind::Pipe, {} };
    request.error = { StreamKind::File, log.string() };
    ChildResult result = run_child(request);
    EXPECT_EQ(result.outcome, ChildOutcome::Ended);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output.view(), "from file\nout\n");
    EXPECT_EQ(contents(log), "kept\nerr\n"); // appended

    request.input = { StreamKind::Pipe, {} };
    request.input_bytes = "fed\n";
    request.output = { StreamKind::Null, {} };
    request.error = { StreamKind::Pipe, {} };
    result = run_child(request);
    EXPECT_EQ(result.output.view(), "");
    EXPECT_EQ(result.error.view(), "err\n");
}

// A file that cannot be opened, a NUL in an argument or a path, and a missing program start nothing.
TEST_F(ChildProcessTest, FailuresStartNothing)
{
    std::filesystem::path const marker = m_scratch / "ran";
    std::string const touch = "touch " + marker.string();
    struct Case {
        StreamChoice input, output;
        Words arguments;
        ChildOutcome outcome;
    };
    Case const cases[] = {
        { { StreamKind::File, (m_scratch / "missing").string() }, {}, { "sh", "-c", touch }, ChildOutcome::Failed },
        { {}, { StreamKind::File, (m_scratch / "no/such/dir").string() }, { "sh", "-c", touch }, ChildOutcome::Failed },
        { {}, { StreamKind::File, m_scratch.string() }, { "sh", "-c", touch }, ChildOutcome::Failed },
        { {}, { StreamKind::File, (m_scratch / "a").string() + std::string(1, '\0') }, { "sh", "-c", touch },
            ChildOutcome::Failed },
        { {}, {}, { "sh", "-c", touch + std::string(1, '\0') }, ChildOutcome::Failed },
        { {}, {}, { "xol-no-such-program", touch }, ChildOutcome::NotFound },
        { {}, {}, {}, ChildOutcome::Failed },
    };
    for (Case const& c : cases) {
        ChildRequest request;
        request.arguments = c.arguments;
        request.input = c.input;
        request.output = c.output;
        EXPECT_EQ(run_child(request).outcome, c.outcome) << (c.arguments.empty() ? "" : c.arguments.back());
        EXPECT_FALSE(std::filesystem::exists(marker));
    }
}

TEST_F(ChildProcessTest, TimeLimitEndsTheChild)
{
    using namespace std::chrono;
    for (bool piped : { true, false }) {
        ChildRequest request;
        request.arguments = { "sh", "-c", "echo started; exec sleep 10" };
        request.output = { piped ? StreamKind::Pipe : StreamKind::Null, {} };
        request.time_limit_ms = 200;
        auto const start = steady_clock::now();
        ChildResult const result = run_child(request);
        auto const took = duration_cast<milliseconds>(steady_clock::now() - start).count();
        EXPECT_EQ(result.outcome, ChildOutcome::TimedOut) << piped;
        EXPECT_EQ(result.status, 128 + 9) << piped;
        EXPECT_EQ(result.output.view(), piped ? "started\n" : "") << piped;
        EXPECT_GE(took, 200) << piped;
        EXPECT_LT(took, 5000) << piped;
    }
    ChildRequest quick;
    quick.arguments = { "true" };
    quick.time_limit_ms = 5000;
    EXPECT_EQ(run_child(quick).outcome, ChildOutcome::Ended);
}

// A child that stops reading its input early does not stop us: the rest of the feed is dropped.
TEST_F(ChildProcessTest, AChildClosingItsInputEndsTheFeed)
{
    std::string const feed(4 * 1024 * 1024, 'x');
    ChildRequest request;
    request.arguments = { "head", "-c", "3" };
    request.input = { StreamKind::Pipe, {} };
    request.input_bytes = feed;
    request.output = { StreamKind::Pipe, {} };
    ChildResult const result = run_child(request);
    EXPECT_EQ(result.outcome, ChildOutcome::Ended);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output.view(), "xxx");
}

TEST_F(ChildProcessTest, UnwaitedChildrenAreReaped)
{
    std::vector<int> pids;
    for (int i = 0; i < 20; ++i) {
        ChildRequest request;
        request.arguments = { "true" };
        request.wait = false;
        ChildResult const result = run_child(request);
        ASSERT_EQ(result.outcome, ChildOutcome::Started);
        EXPECT_GT(result.pid, 0);
        pids.push_back(result.pid);
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        reap_children();
        bool any_left = false;
        for (int pid : pids) any_left = any_left || std::filesystem::exists("/proc/" + std::to_string(pid));
        if (!any_left) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ADD_FAILURE() << "a child not waited for stayed in the process table";
}

// The default handler is whatever xdg-open comes first on PATH: here a stub that records its argument.
TEST_F(ChildProcessTest, OpensWithTheDefaultHandler)
{
    std::filesystem::path const bin = m_scratch / "bin";
    std::filesystem::create_directories(bin);
    std::filesystem::path const stub = bin / "xdg-open";
    std::filesystem::path const record = m_scratch / "opened";
    std::ofstream(stub) << "#!/bin/sh\nprintf '%s|' \"$1\" \"$(readlink /proc/$$/fd/1)\" > " << record.string()
                        << ".tmp\n"
                        << "mv " << record.string() << ".tmp " << record.string() << "\n";
    std::filesystem::permissions(stub, std::filesystem::perms::owner_all);
    char const* const saved = std::getenv("PATH");
    std::string const old_path = saved ? saved : "";
    setenv("PATH", (bin.string() + ":" + old_path).c_str(), 1);
    auto const start = std::chrono::steady_clock::now();
    open_with_default_handler("https://example.com/a b?c=d&e");
    auto const took = std::chrono::steady_clock::now() - start;
    setenv("PATH", old_path.c_str(), 1);
    EXPECT_LT(took, std::chrono::seconds(2)); // nothing waits for the handler
    for (int attempt = 0; attempt < 250 && !std::filesystem::exists(record); ++attempt)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(contents(record), "https://example.com/a b?c=d&e|/dev/null|");

    // Without any handler on PATH nothing happens and nothing is reported.
    setenv("PATH", m_scratch.string().c_str(), 1);
    open_with_default_handler("https://example.com/");
    setenv("PATH", old_path.c_str(), 1);
}

}
}
