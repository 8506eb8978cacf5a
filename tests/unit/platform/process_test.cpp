// Tests of ending the process: the status reaches the parent and the C library's streams are flushed first.

#include "runtime/platform/process.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

namespace xol::platform {
namespace {

using ProcessDeathTest = testing::Test;

TEST_F(ProcessDeathTest, ExitsWithTheStatusModulo256)
{
    struct Case {
        int status;
        int seen;
    };
    Case const cases[] = { { 0, 0 }, { 1, 1 }, { 3, 3 }, { 255, 255 }, { 256 + 7, 7 } };
    for (Case const& c : cases) EXPECT_EXIT(exit_process(c.status), testing::ExitedWithCode(c.seen), "") << c.status;
}

TEST_F(ProcessDeathTest, FlushesStreamsButSkipsExitHandlers)
{
    std::random_device random;
    std::filesystem::path file
        = std::filesystem::temp_directory_path() / ("xol_process_test_" + std::to_string(random()));
    EXPECT_EXIT(
        {
            std::FILE* stream = std::fopen(file.c_str(), "w");
            if (stream == nullptr) std::abort();
            std::fputs("buffered text", stream);
            // Running exit handlers would end the child by a signal rather than with the status.
            std::atexit([] { std::abort(); });
            exit_process(5);
        },
        testing::ExitedWithCode(5), "");
    std::ifstream input(file);
    std::stringstream text;
    text << input.rdbuf();
    EXPECT_EQ(text.str(), "buffered text");
    std::filesystem::remove(file);
}

}
}
