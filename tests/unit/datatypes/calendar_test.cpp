// The calendar under date!: day numbers against std::chrono's civil calendar over the whole packable range,
// weekdays, days of the year and both week numberings for every day of 1900-2100, the carrying setters, the
// zone bits and the normalising of times of day.

#include <chrono>
#include <cmath>
#include <cstdint>
#include <limits>

#include <gtest/gtest.h>

#include "datatypes/calendar.h"

using namespace xol;

namespace {

namespace chrono = std::chrono;

// The day number of 1 January 1970, std::chrono's day 0.
std::int64_t const epoch = date::to_days(1970, 1, 1);

chrono::year_month_day civil_of(std::int64_t days)
{
    return chrono::year_month_day(chrono::sys_days(chrono::days(days - epoch)));
}

std::int64_t days_of(chrono::year_month_day date)
{
    return chrono::sys_days(date).time_since_epoch().count() + epoch;
}

// The ISO week of a date, from its week's Thursday: that Thursday's year owns the week.
std::int32_t chrono_isoweek(chrono::sys_days day)
{
    auto const monday_based = static_cast<int>(chrono::weekday(day).iso_encoding()) - 1;
    chrono::sys_days const thursday = day - chrono::days(monday_based) + chrono::days(3);
    chrono::year const year = chrono::year_month_day(thursday).year();
    return static_cast<std::int32_t>((thursday - chrono::sys_days(year / chrono::January / 1)).count() / 7 + 1);
}

}

TEST(Calendar, DayNumbersAreConsecutiveOverThePackableRangeAndMatchChrono)
{
    std::int64_t const first = date::to_days(date::min_year, 1, 1);
    std::int64_t const last = date::to_days(date::max_year, 12, 31);
    ASSERT_EQ(first, days_of(chrono::year(date::min_year) / chrono::January / 1));
    for (std::int64_t days = first; days <= last; ++days) {
        date::CivilDate const civil = date::civil_from_days(days);
        chrono::year_month_day const expected = civil_of(days);
        ASSERT_EQ(civil.year, static_cast<int>(expected.year())) << days;
        ASSERT_EQ(civil.month, static_cast<int>(static_cast<unsigned>(expected.month()))) << days;
        ASSERT_EQ(civil.day, static_cast<int>(static_cast<unsigned>(expected.day()))) << days;
        ASSERT_EQ(date::to_days(civil.year, civil.month, civil.day), days);
        std::optional<std::uint32_t> const packed = date::from_days(days, 0x5B, true);
        ASSERT_TRUE(packed.has_value()) << days;
        ASSERT_EQ(date::to_days(*packed), days);
        ASSERT_EQ(date::zone_of(*packed), 0x5Bu);
        ASSERT_TRUE(date::has_time(*packed));
    }
    EXPECT_FALSE(date::from_days(first - 1, 0, false).has_value());
    EXPECT_FALSE(date::from_days(last + 1, 0, false).has_value());
    EXPECT_FALSE(date::from_days(std::numeric_limits<std::int64_t>::max() / 2, 0, false).has_value());
}

TEST(Calendar, DaysAroundTheFirstMarchBoundariesFollowEachOther)
{
    struct Case {
        std::int64_t year;
        std::int32_t month, day;
        std::int64_t expected;
    };
    Case const cases[] = {
        { 0, 3, 1, 0 }, // the origin
        { 0, 2, 29, -1 }, // the year 0 is a leap year
        { 0, 1, 1, -60 },
        { -1, 12, 31, -61 },
        { 2000, 2, 28, date::to_days(2000, 3, 1) - 2 },
        { 2000, 2, 29, date::to_days(2000, 3, 1) - 1 },
        { 1900, 2, 28, date::to_days(1900, 3, 1) - 1 },
    };
    for (Case const& c : cases) EXPECT_EQ(date::to_days(c.year, c.month, c.day), c.expected) << c.year;
    EXPECT_TRUE(date::leap_year_q(0));
    EXPECT_TRUE(date::leap_year_q(-4));
    EXPECT_FALSE(date::leap_year_q(-100));
    EXPECT_TRUE(date::leap_year_q(-400));
    EXPECT_FALSE(date::leap_year_q(1900));
    EXPECT_TRUE(date::leap_year_q(2000));
}

TEST(Calendar, WeekdaysYeardaysAndWeeksMatchChronoFrom1900To2100)
{
    std::int64_t const first = date::to_days(1900, 1, 1);
    std::int64_t const last = date::to_days(2100, 12, 31);
    for (std::int64_t days = first; days <= last; ++days) {
        chrono::sys_days const day(chrono::days(days - epoch));
        chrono::year_month_day const civil(day);
        chrono::sys_days const january_first(civil.year() / chrono::January / 1);
        auto const yearday = static_cast<std::int32_t>((day - january_first).count() + 1);
        auto const sunday_offset = static_cast<std::int32_t>(chrono::weekday(january_first).c_encoding());
        ASSERT_EQ(date::weekday_of(days) + 1, static_cast<int>(chrono::weekday(day).iso_encoding())) << days;
        ASSERT_EQ(date::yearday_of(days), yearday) << days;
        ASSERT_EQ(date::week_of(days), (yearday - 1 + sunday_offset) / 7 + 1) << days;
        ASSERT_EQ(date::isoweek_of(days), chrono_isoweek(day)) << days;
        // Each setter finds the day again from its own field.
        ASSERT_EQ(date::with_weekday(days, date::weekday_of(days) + 1), days);
        ASSERT_EQ(date::with_yearday(days, yearday), days);
        ASSERT_EQ(date::with_isoweek(days, date::isoweek_of(days)), days) << days;
        if (date::weekday_of(days) == 6 || yearday == 1) { // a week's first day
            ASSERT_EQ(date::with_week(days, date::week_of(days)), days) << days;
        }
    }
    // 1 January 2000 is a Saturday in ISO week 52 of 1999; 3 January starts week 1.
    EXPECT_EQ(date::weekday_of(date::to_days(2000, 1, 1)), 5);
    EXPECT_EQ(date::isoweek_of(date::to_days(2000, 1, 1)), 52);
    EXPECT_EQ(date::isoweek_of(date::to_days(2000, 1, 3)), 1);
    EXPECT_EQ(date::iso_week_date(2009, 53, 7), date::to_days(2010, 1, 3));
    EXPECT_EQ(date::iso_week_date(2000, 1, 1), date::to_days(2000, 1, 3));
}

TEST(Calendar, MonthsCarryIntoYearsBothWays)
{
    struct Case {
        std::int32_t month;
        std::int64_t year;
        std::int32_t expected_month, expected_day;
    };
    // Set on 31 January 2001: a day beyond the new month's length carries into the next month.
    Case const cases[] = {
        { 2, 2001, 3, 3 },
        { 13, 2002, 1, 31 },
        { 0, 2000, 12, 31 },
        { -1, 2000, 12, 1 }, // 31 November is 1 December
        { -10, 2000, 3, 2 }, // 31 February of the leap year 2000 is 2 March
        { -11, 2000, 1, 31 },
        { -12, 1999, 12, 31 },
        { -23, 1999, 1, 31 },
        { 25, 2003, 1, 31 },
    };
    for (Case const& c : cases) {
        date::CivilDate const civil = date::civil_from_days(date::with_month(2001, c.month, 31));
        EXPECT_EQ(civil.year, c.year) << c.month;
        EXPECT_EQ(civil.month, c.expected_month) << c.month;
        EXPECT_EQ(civil.day, c.expected_day) << c.month;
    }
}

TEST(Calendar, ZoneBitsTruncateToQuarterHoursAndKeepTheirSign)
{
    struct Case {
        std::int32_t minutes;
        std::optional<std::uint32_t> expected;
        std::int32_t seconds;
    };
    Case const cases[] = {
        { 0, 0, 0 },
        { 330, 5 << 2 | 2, 19800 },
        { 345, 5 << 2 | 3, 20700 },
        { 350, 5 << 2 | 3, 20700 }, // +05:50 is +05:45
        { -210, 0x40 | 3 << 2 | 2, -12600 },
        { -30, 0x40 | 2, -1800 }, // no whole hour: the sign is the offset's
        { -14, 0, 0 }, // nothing left to carry a sign
        { 945, 15 << 2 | 3, 56700 },
        { -959, 0x40 | 15 << 2 | 3, -56700 },
        { 960, std::nullopt, 0 },
        { -960, std::nullopt, 0 },
    };
    for (Case const& c : cases) {
        std::optional<std::uint32_t> const zone = date::zone_from_minutes(c.minutes);
        EXPECT_EQ(zone, c.expected) << c.minutes;
        if (zone) {
            EXPECT_EQ(date::zone_seconds(*zone), c.seconds) << c.minutes;
        }
    }
}

// The local time of day, seconds + offset, ends in 0 to 86,400; the days take the carry.
TEST(Calendar, NormalizingCarriesWholeDays)
{
    struct Case {
        double seconds;
        std::int32_t zone_minutes;
        std::int64_t days;
        double expected_seconds;
    };
    Case const cases[] = {
        { 3600, 0, 0, 3600 },
        { -1800, 60, 0, -1800 }, // 0:30 local at +01:00 keeps its date
        { -3600.5, 60, -1, 82799.5 },
        { 86400, 0, 1, 0 },
        { 86399.999, 0, 0, 86399.999 },
        { -0.25, 0, -1, 86399.75 },
        { 86400 * 3 + 7, -210, 2, 86407 }, // 20:30 local on the second day
        { 86400 - 19800, 330, 1, -19800 },
        { 1e9, 0, 11574, 1e9 - 11574 * 86400.0 },
    };
    for (Case const& c : cases) {
        std::int64_t days = 0;
        double seconds = c.seconds;
        std::uint32_t const zone = *date::zone_from_minutes(c.zone_minutes);
        ASSERT_TRUE(date::normalize(days, seconds, zone)) << c.seconds;
        EXPECT_EQ(days, c.days) << c.seconds;
        EXPECT_DOUBLE_EQ(seconds, c.expected_seconds) << c.seconds;
        double const local = seconds + date::zone_seconds(zone);
        EXPECT_TRUE(local >= 0 && local < 86400) << c.seconds;
    }
    for (double const seconds : { std::numeric_limits<double>::infinity(), std::nan(""), 1e20, -1e20 }) {
        std::int64_t days = 5;
        double kept = seconds;
        EXPECT_FALSE(date::normalize(days, kept, 0)) << seconds;
        EXPECT_EQ(days, 5);
    }
}
