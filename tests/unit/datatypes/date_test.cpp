// date!: instants read from the platform calendar in named zones come back as the same epoch seconds and
// print the zone's offset; epoch seconds on both sides of 1970 and past 2038; the makers' range checks; one
// instant is one hash key in every zone.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "datatypes/date.h"
#include "datatypes/registry.h"
#include "interpreter/boot.h"
#include "runtime/hashtable.h"
#include "runtime/platform/clock.h"
#include "runtime/platform/environment.h"
#include "scalar_fixture.h"

using namespace xol;

namespace {

// The library gives the month names the text takes; TZ is put back after each test.
struct DateTest : RuntimeTest {
    void SetUp() override
    {
        RuntimeTest::SetUp();
        boot::run_library();
        saved_zone = platform::get_env("TZ");
    }
    void TearDown() override
    {
        if (saved_zone)
            platform::set_env("TZ", *saved_zone);
        else
            platform::unset_env("TZ");
        RuntimeTest::TearDown();
    }
    std::optional<std::string> saved_zone;
};

// A date as `now` makes it: the local date, the local time of day and the signed offset of one reading.
Cell local_date(std::int64_t seconds)
{
    platform::CalendarTime const local = platform::calendar(seconds, false);
    Cell value = cell::make(type_ids::date);
    date::make_at(value, local.year, local.month, local.day, local.hour * 3600.0 + local.minute * 60.0 + local.second,
        local.offset_minutes, true);
    return value;
}

}

TEST_F(DateTest, InstantsInNamedZonesComeBackAndPrintTheirZone)
{
    struct Case {
        char const* zone;
        std::int64_t seconds;
        char const* text;
    };
    Case const cases[] = {
        { "UTC", 0, "1-Jan-1970/0:00:00" },
        { "UTC", -1, "31-Dec-1969/23:59:59" },
        { "Asia/Kolkata", 946684800, "1-Jan-2000/5:30:00+05:30" },
        { "Asia/Kolkata", 1700000000, "15-Nov-2023/3:43:20+05:30" },
        { "America/St_Johns", 1700000000, "14-Nov-2023/18:43:20-03:30" },
        { "America/St_Johns", 1688000000, "28-Jun-2023/22:23:20-02:30" },
        { "Asia/Kathmandu", 1700000000, "15-Nov-2023/3:58:20+05:45" },
        // Across the spring change of 2024: 1:59:59 CET is followed by 3:00:00 CEST.
        { "Europe/Berlin", 1711846799, "31-Mar-2024/1:59:59+01:00" },
        { "Europe/Berlin", 1711846800, "31-Mar-2024/3:00:00+02:00" },
        // And the autumn change: 2:59:59 CEST, then 2:00:00 CET again.
        { "Europe/Berlin", 1729990799, "27-Oct-2024/2:59:59+02:00" },
        { "Europe/Berlin", 1729990800, "27-Oct-2024/2:00:00+01:00" },
        { "Europe/Berlin", -1000000000, "24-Apr-1938/23:13:20+01:00" },
    };
    for (Case const& c : cases) {
        ASSERT_TRUE(platform::set_env("TZ", c.zone));
        Cell const value = local_date(c.seconds);
        EXPECT_EQ(date::to_epoch_seconds(value), c.seconds) << c.zone << " " << c.seconds;
        EXPECT_EQ(formed(value).text, c.text) << c.zone << " " << c.seconds;
        EXPECT_EQ(molded(value).text, c.text) << c.zone << " " << c.seconds;
    }
}

TEST_F(DateTest, EpochSecondsOnBothSidesOf1970AndPast2038)
{
    struct Case {
        std::int32_t year, month, day;
        double seconds;
        std::int32_t zone_minutes;
        std::int64_t expected;
    };
    Case const cases[] = {
        { 1970, 1, 1, 0, 0, 0 },
        { 1969, 12, 31, 86399.5, 0, 0 }, // half a second rounds up
        { 1969, 12, 31, 86399.4, 0, -1 },
        { 1969, 12, 31, 86398.5, 0, -1 },
        { 1901, 12, 13, 20 * 3600 + 45 * 60 + 52, 0, -2147483648LL },
        { 2038, 1, 19, 3 * 3600 + 14 * 60 + 7, 0, 2147483647LL },
        { 2038, 1, 19, 3 * 3600 + 14 * 60 + 8, 0, 2147483648LL },
        { 2100, 1, 1, 0, 0, 4102444800LL },
        { 1000, 1, 1, 0, 0, -30610224000LL },
        { 2000, 1, 1, 5 * 3600 + 30 * 60, 330, 946684800 },
        { 1999, 12, 31, 20 * 3600 + 30 * 60, -210, 946684800 },
    };
    for (Case const& c : cases) {
        Cell value = cell::make(type_ids::date);
        date::make_at(value, c.year, c.month, c.day, c.seconds, c.zone_minutes, true);
        EXPECT_EQ(date::to_epoch_seconds(value), c.expected) << c.year << " " << c.seconds;
    }
}

TEST_F(DateTest, MakersRefuseWhatCannotBePacked)
{
    Cell value = cell::make(type_ids::date);
    date::make_at(value, 16383, 12, 31, 86399, 0, true);
    EXPECT_EQ(formed(value).text, "31-Dec-16383/23:59:59");
    date::make_at(value, -16384, 1, 1, 0, 0, false);
    EXPECT_EQ(formed(value).text, "1/Jan/-16384");
    Cell const kept = value;
    EXPECT_EQ(raised_by([&] { date::make_at(value, 16383, 12, 31, 86400, 0, true); }), err::script::type_limit);
    EXPECT_EQ(raised_by([&] { date::make_at(value, -16385, 12, 31, 0, 0, false); }), err::script::type_limit);
    EXPECT_EQ(raised_by([&] { date::make_at(value, 2000, 1, 1, 0, 16 * 60, true); }), err::script::type_limit);
    EXPECT_EQ(value, kept);
    date::make_from_parts(value, 2024, 2, 29, 23, 59, 59, 999999999);
    // The seconds' text rounds to six significant digits, and the rounding carries into the next day.
    EXPECT_EQ(formed(value).text, "1-Mar-2024/0:00:00");
    EXPECT_EQ(date::to_epoch_seconds(value), 1709251200);
}

TEST_F(DateTest, OneInstantIsOneHashKeyInEveryZone)
{
    struct Case {
        std::int32_t year, month, day;
        double local_seconds;
        std::int32_t zone_minutes;
        bool time;
    };
    // Each row is one instant (or one midnight), given in several zones or as a date alone.
    std::vector<std::vector<Case>> const rows = {
        { { 2000, 1, 1, 10 * 3600 + 30 * 60, 330, true }, { 2000, 1, 1, 5 * 3600, 0, true },
            { 2000, 1, 1, 1 * 3600 + 30 * 60, -210, true } },
        { { 2000, 1, 1, 1800, 60, true }, { 1999, 12, 31, 23 * 3600 + 1800, 0, true },
            { 1999, 12, 31, 20 * 3600, -210, true } },
        { { 2000, 3, 1, 0, 0, false }, { 2000, 3, 1, 0, 0, true }, { 2000, 3, 1, 5 * 3600 + 45 * 60, 345, true } },
        { { -1, 2, 28, 0.25, 0, true }, { -1, 2, 28, 3600.25, 60, true } },
    };
    std::vector<std::uint32_t> hashes;
    for (std::vector<Case> const& row : rows) {
        std::optional<Cell> first;
        for (Case const& c : row) {
            Cell value = cell::make(type_ids::date);
            date::make_at(value, c.year, c.month, c.day, c.local_seconds, c.zone_minutes, c.time);
            if (!first) {
                first = value;
                hashes.push_back(hashtable::hash_cell(value));
                continue;
            }
            ASSERT_EQ(datatype::actions(date::type_id).compare(*first, value, CompareOp::Equal), 0)
                << formed(value).text;
            EXPECT_EQ(hashtable::hash_cell(value), hashtable::hash_cell(*first)) << formed(value).text;
        }
    }
    for (std::size_t i = 1; i < hashes.size(); ++i) EXPECT_NE(hashes[i], hashes[i - 1]);
}
