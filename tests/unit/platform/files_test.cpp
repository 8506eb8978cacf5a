// Tests of whole-file reads: contents byte for byte, files whose size the OS does not report, and every
// failure as a value.

#include "runtime/platform/files.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

namespace xol::platform {
namespace {

using namespace std::string_view_literals;

class FilesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_folder = std::filesystem::temp_directory_path()
            / ("xol-files-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-"
                + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(m_folder);
    }
    void TearDown() override { std::filesystem::remove_all(m_folder); }

    std::string write(std::string const& name, std::string_view bytes)
    {
        std::filesystem::path const path = m_folder / name;
        std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return path.string();
    }

    std::filesystem::path m_folder;
};

TEST_F(FilesTest, ReadsContentsByteForByte)
{
    std::string large(200'000, 'x'); // more than one read's chunk
    for (std::size_t i = 0; i < large.size(); i += 997) large[i] = static_cast<char>(i % 256);
    struct Case {
        char const* name;
        std::string bytes;
    };
    Case const cases[] = {
        { "empty", "" },
        { "text", "Xol []\nprint 1\n" },
        { "binary", std::string("a\0b\r\n\xff", 6) },
        { "large", large },
    };
    for (Case const& c : cases) {
        std::optional<std::string> const read = read_file(write(c.name, c.bytes));
        ASSERT_TRUE(read.has_value()) << c.name;
        EXPECT_EQ(*read, c.bytes) << c.name;
    }
}

TEST_F(FilesTest, ReadsFilesWhoseSizeIsNotReported)
{
    std::optional<std::string> const read = read_file("/proc/self/status");
    ASSERT_TRUE(read.has_value());
    EXPECT_NE(read->find("Name:"), std::string::npos);
}

TEST_F(FilesTest, FailuresAreValues)
{
    std::string const existing = write("present", "text");
    std::string const with_nul = existing + std::string("\0suffix", 7);
    std::string const cases[] = {
        (m_folder / "missing").string(),
        m_folder.string(), // a directory
        with_nul, // the C library would read `existing`
        "",
    };
    for (std::string const& path : cases) EXPECT_FALSE(read_file(path).has_value()) << path;
}

}
}
