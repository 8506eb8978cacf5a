// Tests of the OS description: the kernel release's numbers, and the fields of this machine.

#include "runtime/platform/os_info.h"

#include <algorithm>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

namespace xol::platform {
namespace {

TEST(OsInfo, ReadsTheReleaseNumbers)
{
    struct Case {
        std::string release;
        std::array<std::uint8_t, 3> version;
        std::int32_t build;
    };
    Case const cases[] = {
        { "6.1.0-18-amd64", { 6, 1, 0 }, 0 },
        { "5.15.146.1-microsoft-standard-WSL2", { 5, 15, 146 }, 1 },
        { "4.19", { 4, 19, 0 }, 0 },
        { "3.300.7", { 3, 255, 7 }, 0 }, // a tuple! holds bytes
        { "6.8.0+rc1", { 6, 8, 0 }, 0 },
        { "unknown", { 0, 0, 0 }, 0 },
        { "", { 0, 0, 0 }, 0 },
    };
    for (Case const& c : cases) {
        OsDescription description;
        parse_release(c.release, description);
        EXPECT_EQ(description.version, c.version) << c.release;
        EXPECT_EQ(description.build, c.build) << c.release;
    }
}

TEST(OsInfo, DescribesThisMachine)
{
    OsDescription const description = os_description();
    EXPECT_TRUE(description.name.starts_with("Linux ")) << description.name;
    EXPECT_GT(description.name.size(), 6U);
    std::string const known[] = { "x86-64", "x86-32", "ARM64", "ARM", "IA-64", "Unknown" };
    EXPECT_NE(std::find(std::begin(known), std::end(known), description.architecture), std::end(known));
    EXPECT_GT(description.version[0], 0);
}

}
}
