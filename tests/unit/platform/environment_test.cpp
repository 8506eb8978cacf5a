// Tests of environment variables and the current directory.

#include "runtime/platform/environment.h"

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

namespace xol::platform {
namespace {

using namespace std::string_view_literals;

TEST(Environment, SetGetUnsetRoundTrip)
{
    struct Case {
        std::string_view name;
        std::string_view value;
    };
    Case const cases[] = {
        { "XOL_TEST_PLAIN", "value" },
        { "XOL_TEST_EMPTY", "" },
        { "XOL_TEST_UTF8", "h\u00e9llo w\u00f6rld \u2603" },
        { "XOL_TEST_EQUALS", "a=b=c" },
        { "XOL_TEST_SPACES", "  with spaces  " },
    };
    for (Case const& c : cases) {
        unset_env(c.name);
        EXPECT_EQ(get_env(c.name), std::nullopt) << c.name;
        ASSERT_TRUE(set_env(c.name, c.value)) << c.name;
        EXPECT_EQ(get_env(c.name), std::optional<std::string>(c.value)) << c.name;
        ASSERT_TRUE(unset_env(c.name)) << c.name;
        EXPECT_EQ(get_env(c.name), std::nullopt) << c.name;
        EXPECT_TRUE(unset_env(c.name)) << "unsetting an unset variable: " << c.name;
    }
}

TEST(Environment, SetOverwrites)
{
    ASSERT_TRUE(set_env("XOL_TEST_OVERWRITE", "first"));
    ASSERT_TRUE(set_env("XOL_TEST_OVERWRITE", "second"));
    EXPECT_EQ(get_env("XOL_TEST_OVERWRITE"), "second");
    unset_env("XOL_TEST_OVERWRITE");
}

TEST(Environment, RefusesInvalidNames)
{
    ASSERT_TRUE(set_env("XOL_TEST_PREFIX", "B=C"));
    std::string_view const names[] = { "", "=", "XOL_TEST_PREFIX=B", "XOL_TEST\0PREFIX"sv, "XOL_TEST_PREFIX\0"sv };
    for (std::string_view name : names) {
        EXPECT_EQ(get_env(name), std::nullopt) << name;
        EXPECT_FALSE(set_env(name, "x")) << name;
        EXPECT_FALSE(unset_env(name)) << name;
    }
    EXPECT_EQ(get_env("XOL_TEST_PREFIX"), "B=C");
    unset_env("XOL_TEST_PREFIX");
}

// The listing follows every change.
TEST(Environment, ListsEveryEntry)
{
    ASSERT_TRUE(set_env("XOL_LIST_A", "a=b"));
    ASSERT_TRUE(set_env("XOL_LIST_EMPTY", ""));
    auto const entries = environment();
    auto const value_of = [&entries](std::string_view name) -> std::optional<std::string> {
        for (auto const& [key, value] : entries)
            if (key == name) return value;
        return std::nullopt;
    };
    EXPECT_EQ(value_of("XOL_LIST_A"), "a=b");
    EXPECT_EQ(value_of("XOL_LIST_EMPTY"), "");
    ASSERT_TRUE(unset_env("XOL_LIST_A"));
    ASSERT_TRUE(unset_env("XOL_LIST_EMPTY"));
    for (auto const& entry : environment()) EXPECT_FALSE(entry.first.starts_with("XOL_LIST_")) << entry.first;
}

// A program may start us with an entry that lacks "=": it lists as a name with an empty value and does
// not run into the next entry.
TEST(Environment, ListsAnEntryWithoutEquals)
{
    char bare[] = "BARE";
    char next[] = "NEXT=1";
    char* entries[] = { bare, next, nullptr };
    char** const saved = environ;
    environ = entries;
    auto const listed = environment();
    environ = saved;
    std::vector<std::pair<std::string, std::string>> const expected { { "BARE", "" }, { "NEXT", "1" } };
    EXPECT_EQ(listed, expected);
}

TEST(Environment, RefusesValuesWithNul)
{
    EXPECT_FALSE(set_env("XOL_TEST_NUL", "a\0b"sv));
    EXPECT_EQ(get_env("XOL_TEST_NUL"), std::nullopt);
}

// Runs each test in a fresh temporary directory and returns to the starting directory after.
class CurrentDirTest : public testing::Test {
protected:
    void SetUp() override
    {
        std::optional<std::string> start = current_dir();
        ASSERT_TRUE(start.has_value());
        start_ = *start;
        // A fresh name each time: copies of this test may run side by side.
        std::filesystem::path temporary = std::filesystem::canonical(std::filesystem::temp_directory_path());
        std::random_device random;
        do scratch_ = temporary / ("xol_platform_test_" + std::to_string(random()));
        while (!std::filesystem::create_directory(scratch_));
    }

    void TearDown() override
    {
        EXPECT_TRUE(set_current_dir(start_));
        std::filesystem::remove_all(scratch_);
    }

    std::string start_;
    std::filesystem::path scratch_;
};

TEST_F(CurrentDirTest, StartsAbsoluteWithoutTrailingSlash)
{
    ASSERT_FALSE(start_.empty());
    EXPECT_EQ(start_.front(), '/');
    if (start_ != "/") {
        EXPECT_NE(start_.back(), '/');
    }
    EXPECT_EQ(std::filesystem::path(start_), std::filesystem::current_path());
}

TEST_F(CurrentDirTest, SetAndReadBack)
{
    std::filesystem::path const targets[] = { scratch_, "/", scratch_ / "nested" / "deeper" };
    std::filesystem::create_directories(scratch_ / "nested" / "deeper");
    for (std::filesystem::path const& target : targets) {
        ASSERT_TRUE(set_current_dir(target.string())) << target;
        EXPECT_EQ(current_dir(), target.string()) << target;
    }
}

TEST_F(CurrentDirTest, FollowsRelativePaths)
{
    std::filesystem::create_directories(scratch_ / "child");
    ASSERT_TRUE(set_current_dir(scratch_.string()));
    ASSERT_TRUE(set_current_dir("child"));
    EXPECT_EQ(current_dir(), (scratch_ / "child").string());
    ASSERT_TRUE(set_current_dir(".."));
    EXPECT_EQ(current_dir(), scratch_.string());
}

TEST_F(CurrentDirTest, ReadsLongPaths)
{
    std::filesystem::path deep = scratch_;
    for (int i = 0; i < 12; ++i) deep /= std::string(100, static_cast<char>('a' + i));
    std::filesystem::create_directories(deep);
    ASSERT_TRUE(set_current_dir(deep.string()));
    EXPECT_EQ(current_dir(), deep.string());
}

TEST_F(CurrentDirTest, RefusesMissingAndInvalidPaths)
{
    ASSERT_TRUE(set_current_dir(scratch_.string()));
    std::string const missing = (scratch_ / "missing").string();
    std::string_view const paths[] = { missing, "", "/\0tmp"sv };
    for (std::string_view path : paths) EXPECT_FALSE(set_current_dir(path)) << path;
    EXPECT_EQ(current_dir(), scratch_.string());
}

}
}
