// Tests of the file services: the textual folder test, ranged reads, sorted listings, file times set by
// the test, links, sizes past 32 bits, renaming that never replaces, and names holding a NUL byte.

#include "runtime/host/files.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

namespace xol::host::files {
namespace {

using namespace std::string_view_literals;

class HostFilesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_folder = std::filesystem::temp_directory_path()
            / ("xol-host-files-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-"
                + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(m_folder);
        std::filesystem::create_directories(m_folder);
    }
    void TearDown() override { std::filesystem::remove_all(m_folder); }

    std::string path(std::string const& name) const { return (m_folder / name).string(); }

    std::string write_bytes(std::string const& name, std::string_view bytes) const
    {
        std::ofstream(path(name), std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return path(name);
    }

    std::filesystem::path m_folder;
};

TEST(HostFiles, FolderPathIsTextual)
{
    struct Case {
        std::string_view path;
        bool folder;
    };
    Case const cases[] = {
        { "", false }, { "/", true }, { "a/", true }, { ".", true }, { "..", true }, { "a/.", true }, { "a/..", true },
        { "a.", false }, { "a..", false }, { "...", false }, { "a/b", false },
        { "a\\", false }, // a backslash is an ordinary name character here
    };
    for (Case const& c : cases) {
        EXPECT_EQ(folder_path_q(c.path), c.folder) << c.path;
        std::u32string const wide(c.path.begin(), c.path.end());
        EXPECT_EQ(folder_path_q(std::u32string_view(wide)), c.folder) << c.path;
    }
}

TEST_F(HostFilesTest, ReadsRanges)
{
    std::string const name = write_bytes("f", "abcdef");
    struct Case {
        std::int64_t seek, part;
        std::string_view bytes;
    };
    Case const cases[] = {
        { -1, -1, "abcdef" },
        { -1, 0, "" },
        { -1, 2, "ab" },
        { 2, -1, "cdef" },
        { 1, 3, "bcd" },
        { 6, -1, "" },
        { 99, 5, "" },
        { -1, 99, "abcdef" },
    };
    for (Case const& c : cases) {
        std::optional<std::string> const read_bytes = read(name, c.seek, c.part);
        ASSERT_TRUE(read_bytes.has_value()) << c.seek << " " << c.part;
        EXPECT_EQ(*read_bytes, c.bytes) << c.seek << " " << c.part;
    }
    // Part 0 still needs a file to open.
    EXPECT_FALSE(read(path("missing"), -1, 0).has_value());
}

TEST_F(HostFilesTest, ListsSortedWithFolderSlashes)
{
    write_bytes("b", "");
    write_bytes("B", "");
    write_bytes(".dot", "");
    write_bytes("\xc3\xa9", "");
    std::filesystem::create_directory(m_folder / "dir");
    std::filesystem::create_directory_symlink(m_folder / "dir", m_folder / "link-to-dir");
    std::filesystem::create_symlink(m_folder / "nowhere", m_folder / "dangling");
    std::optional<std::vector<std::string>> const names = list_folder(m_folder.string());
    ASSERT_TRUE(names.has_value());
    std::vector<std::string> const expected { ".dot", "B", "b", "dangling", "dir/", "link-to-dir/", "\xc3\xa9" };
    EXPECT_EQ(*names, expected);
    EXPECT_FALSE(list_folder(path("missing")).has_value());
    EXPECT_FALSE(list_folder(path("b")).has_value());
}

// Names that agree on their first eight bytes, or where one is the start of another, still sort bytewise.
TEST_F(HostFilesTest, ListsLongNamesInByteOrder)
{
    std::vector<std::string> const files { "abcdefgh", "abcdefghi", "abcdefgh\xc3\xa9", "abcdefghZ", "abcdefg",
        "abcdefgha", "abcdefghab", "a", "ab", "f00010", "f00009", "f0001" };
    for (std::string const& name : files) write_bytes(name, "");
    std::filesystem::create_directory(m_folder / "abcdefghi-folder");
    std::filesystem::create_directory(m_folder / "abcdefgh0");
    std::optional<std::vector<std::string>> const names = list_folder(m_folder.string());
    ASSERT_TRUE(names.has_value());
    std::vector<std::string> expected(files);
    expected.push_back("abcdefghi-folder/");
    expected.push_back("abcdefgh0/");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(*names, expected);
}

TEST_F(HostFilesTest, DanglingLinkDoesNotExist)
{
    std::filesystem::create_symlink(m_folder / "nowhere", m_folder / "dangling");
    EXPECT_FALSE(exists_q(path("dangling")));
    EXPECT_FALSE(size_of(path("dangling")).has_value());
    EXPECT_FALSE(modified(path("dangling"), false).has_value());
    write_bytes("target", "xyz");
    std::filesystem::create_symlink(m_folder / "target", m_folder / "link");
    EXPECT_TRUE(exists_q(path("link")));
    EXPECT_EQ(size_of(path("link")), 3);
}

TEST_F(HostFilesTest, ModifiedTimeIsTheOneSet)
{
    std::string const name = write_bytes("timed", "x");
    // 2021-03-04 05:06:07.891 UTC, with sub-millisecond digits that are cut off.
    auto const wanted = std::chrono::sys_seconds(std::chrono::seconds(1614834367)) + std::chrono::microseconds(891'456);
    std::filesystem::last_write_time(name, std::chrono::file_clock::from_sys(wanted));
    std::optional<FileTime> const time = modified(name, false);
    ASSERT_TRUE(time.has_value());
    EXPECT_EQ(time->seconds, 1614834367);
    EXPECT_EQ(time->milliseconds, 891);
    EXPECT_FALSE(modified(name, true).has_value()); // a file asked for as a folder
    EXPECT_TRUE(modified(m_folder.string(), true).has_value());
}

TEST_F(HostFilesTest, SizesPast32Bits)
{
    std::string const name = write_bytes("sparse", "");
    std::uintmax_t const size = (std::uintmax_t { 3 } << 30) + 5; // sparse: no disk space used
    std::filesystem::resize_file(name, size);
    EXPECT_EQ(size_of(name), static_cast<std::int64_t>(size));
    // Contents of 2 GiB or more cannot be read into a value.
    EXPECT_FALSE(read(name, -1, 10).has_value());
    EXPECT_FALSE(size_of(m_folder.string()).has_value());
}

TEST_F(HostFilesTest, WritesTruncateSeekAndAppend)
{
    std::string const name = path("w");
    ASSERT_TRUE(write(name, "0123456789", false, -1));
    ASSERT_TRUE(write(name, "ab", false, -1));
    EXPECT_EQ(read(name, -1, -1), "ab");
    ASSERT_TRUE(write(name, "0123456789", false, -1));
    ASSERT_TRUE(write(name, "xy", false, 3));
    EXPECT_EQ(read(name, -1, -1), "012xy56789");
    ASSERT_TRUE(write(name, "Z", false, 0));
    EXPECT_EQ(read(name, -1, -1), "Z12xy56789");
    ASSERT_TRUE(write(name, "!", true, -1));
    EXPECT_EQ(read(name, -1, -1), "Z12xy56789!");
    EXPECT_FALSE(write(m_folder.string(), "x", false, -1));
    EXPECT_FALSE(write(path("no/such"), "x", false, -1));
}

TEST_F(HostFilesTest, RenameNeverReplaces)
{
    std::string const one = write_bytes("one", "1");
    std::string const two = write_bytes("two", "2");
    EXPECT_FALSE(rename(one, two));
    EXPECT_EQ(read(one, -1, -1), "1");
    EXPECT_EQ(read(two, -1, -1), "2");
    EXPECT_TRUE(rename(one, path("three")));
    EXPECT_FALSE(exists_q(one));
    EXPECT_EQ(read(path("three"), -1, -1), "1");
}

TEST_F(HostFilesTest, NulInANameFailsAsMissing)
{
    std::string const present = write_bytes("present", "text");
    std::string const with_nul = present + std::string("\0suffix", 7);
    EXPECT_FALSE(read(with_nul, -1, -1).has_value());
    EXPECT_FALSE(exists_q(with_nul));
    EXPECT_FALSE(size_of(with_nul).has_value());
    EXPECT_FALSE(modified(with_nul, false).has_value());
    EXPECT_FALSE(remove(with_nul, false));
    EXPECT_TRUE(exists_q(present));
    EXPECT_FALSE(write(with_nul, "x", false, -1));
    EXPECT_EQ(read(present, -1, -1), "text");
    EXPECT_FALSE(rename(present, with_nul));
    EXPECT_FALSE(make_folder(path("d") + std::string("\0e", 2)));
    EXPECT_FALSE(exists_q(path("d")));
    EXPECT_FALSE(list_folder(m_folder.string() + std::string("\0", 1)).has_value());
}

TEST_F(HostFilesTest, RemovesFilesAndEmptyFolders)
{
    std::string const file = write_bytes("f", "x");
    std::filesystem::create_directory(m_folder / "full");
    write_bytes("full/inside", "x");
    std::filesystem::create_directory(m_folder / "empty");
    EXPECT_FALSE(remove(file, true));
    EXPECT_TRUE(remove(file, false));
    EXPECT_FALSE(remove(file, false));
    EXPECT_FALSE(remove(path("full/"), true));
    EXPECT_TRUE(exists_q(path("full/inside")));
    EXPECT_FALSE(remove(path("empty"), false));
    EXPECT_TRUE(remove(path("empty/"), true));
    EXPECT_FALSE(exists_q(path("empty")));
}

}
}
