// Tests of the clock: date packing, sleep lengths, calendar conversion in set zones, and the time of day.

#include "runtime/platform/clock.h"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>

#include "runtime/platform/environment.h"

namespace xol::platform {
namespace {

constexpr std::uint32_t packed(std::uint32_t year, std::uint32_t month, std::uint32_t day, std::uint32_t zone)
{
    return year << 17 | month << 12 | day << 7 | zone;
}

TEST(PackDate, PacksDateFieldsAndZone)
{
    struct Case {
        char const* name;
        std::int32_t year, month, day, offset_minutes;
        std::uint32_t expected;
    };
    Case const cases[] = {
        { "utc", 2024, 1, 1, 0, packed(2024, 1, 1, 0) },
        { "date fields", 2026, 12, 10, 0, 0x0FD4'C500 },
        { "plus 5:30", 2024, 6, 15, 330, packed(2024, 6, 15, 22) },
        { "minus 3", 2024, 6, 15, -180, packed(2024, 6, 15, 0x4C) },
        { "minus 0:30 keeps its sign", 2024, 6, 15, -30, packed(2024, 6, 15, 0x10 << 2 | 2) },
        { "minus 5:45", 2024, 6, 15, -345, packed(2024, 6, 15, 0x15 << 2 | 3) },
        { "plus 14", 2024, 6, 15, 840, packed(2024, 6, 15, 14 << 2) },
        { "minus 12", 2024, 6, 15, -720, packed(2024, 6, 15, 0x1C << 2) },
        { "plus 12:45", 2024, 6, 15, 765, packed(2024, 6, 15, 12 << 2 | 3) },
        { "minutes below a quarter are dropped", 2024, 6, 15, 14, packed(2024, 6, 15, 0) },
    };
    for (Case const& c : cases) {
        CalendarTime time { c.year, c.month, c.day, 12, 0, 0, c.offset_minutes };
        EXPECT_EQ(pack_date(time), c.expected) << c.name;
    }
}

TEST(PackDate, IgnoresTimeOfDay)
{
    CalendarTime morning { 2026, 12, 10, 0, 0, 0, 60 };
    CalendarTime evening { 2026, 12, 10, 23, 59, 60, 60 };
    EXPECT_EQ(pack_date(morning), pack_date(evening));
}

TEST(SleepDuration, ClampsAndTruncates)
{
    struct Case {
        double seconds;
        std::int64_t milliseconds;
    };
    Case const cases[] = {
        { 0.0, 1 }, { -0.0, 1 }, { 0.0004, 1 }, { 0.001, 1 }, { 0.0019, 1 }, { 0.0025, 2 }, { 1.5, 1500 },
        { 2.0, 2000 }, { -5.0, 1 }, { NAN, 1 }, { -INFINITY, 1 }, { INFINITY, INT64_MAX }, { 1e300, INT64_MAX },
        { 9.2e15, 9'200'000'000'000'000'000 }, { 9.3e15, INT64_MAX }, // past 2^63 ms
    };
    for (Case const& c : cases) EXPECT_EQ(sleep_duration(c.seconds), c.milliseconds) << "seconds = " << c.seconds;
}

TEST(SleepMilliseconds, SleepsAtLeastTheTime)
{
    auto start = std::chrono::steady_clock::now();
    sleep_milliseconds(30);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
}

TEST(SleepMilliseconds, ReturnsAtOnceForNothing)
{
    auto start = std::chrono::steady_clock::now();
    sleep_milliseconds(0);
    sleep_milliseconds(-1000);
    sleep_milliseconds(INT64_MIN);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
}

void ignore_signal(int) { }

TEST(SleepMilliseconds, ResumesAfterSignals)
{
    struct sigaction action { };
    action.sa_handler = ignore_signal;
    sigemptyset(&action.sa_mask);
    struct sigaction previous { };
    ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);

    pthread_t sleeper = pthread_self();
    std::thread interrupter([sleeper] {
        for (int i = 0; i < 8; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            pthread_kill(sleeper, SIGUSR1);
        }
    });
    auto start = std::chrono::steady_clock::now();
    sleep_milliseconds(150);
    auto elapsed = std::chrono::steady_clock::now() - start;
    interrupter.join();
    sigaction(SIGUSR1, &previous, nullptr);
    EXPECT_GE(elapsed, std::chrono::milliseconds(150));
}

TEST(WallClock, IsAfter2020AndInRange)
{
    WallTime now = wall_clock();
    EXPECT_GT(now.seconds, 1'577'836'800); // 2020-01-01
    EXPECT_GE(now.nanoseconds, 0);
    EXPECT_LT(now.nanoseconds, 1'000'000'000);
}

TEST(Calendar, ConvertsUtc)
{
    struct Case {
        std::int64_t seconds;
        CalendarTime expected;
    };
    Case const cases[] = {
        { 0, { 1970, 1, 1, 0, 0, 0, 0 } },
        { -1, { 1969, 12, 31, 23, 59, 59, 0 } },
        { 951'782'400, { 2000, 2, 29, 0, 0, 0, 0 } },
        { 1'796'904'000, { 2026, 12, 10, 12, 0, 0, 0 } },
        { 4'102'444'799, { 2099, 12, 31, 23, 59, 59, 0 } },
    };
    for (Case const& c : cases) {
        CalendarTime got = calendar(c.seconds, true);
        EXPECT_EQ(got.year, c.expected.year) << c.seconds;
        EXPECT_EQ(got.month, c.expected.month) << c.seconds;
        EXPECT_EQ(got.day, c.expected.day) << c.seconds;
        EXPECT_EQ(got.hour, c.expected.hour) << c.seconds;
        EXPECT_EQ(got.minute, c.expected.minute) << c.seconds;
        EXPECT_EQ(got.second, c.expected.second) << c.seconds;
        EXPECT_EQ(got.offset_minutes, 0) << c.seconds;
    }
}

// Sets TZ for one test and puts the old value back after.
class ZoneTest : public testing::Test {
protected:
    void SetUp() override { saved_ = get_env("TZ"); }
    void TearDown() override
    {
        if (saved_)
            set_env("TZ", *saved_);
        else
            unset_env("TZ");
    }

private:
    std::optional<std::string> saved_;
};

struct ZoneCase {
    char const* zone;
    std::int64_t seconds;
    CalendarTime expected;
};

void expect_local(ZoneCase const& c)
{
    ASSERT_TRUE(set_env("TZ", c.zone));
    // No tzset here: calendar must notice the change on its own.
    CalendarTime got = calendar(c.seconds, false);
    EXPECT_EQ(got.year, c.expected.year) << c.zone;
    EXPECT_EQ(got.month, c.expected.month) << c.zone;
    EXPECT_EQ(got.day, c.expected.day) << c.zone;
    EXPECT_EQ(got.hour, c.expected.hour) << c.zone;
    EXPECT_EQ(got.minute, c.expected.minute) << c.zone;
    EXPECT_EQ(got.second, c.expected.second) << c.zone;
    EXPECT_EQ(got.offset_minutes, c.expected.offset_minutes) << c.zone;
}

TEST_F(ZoneTest, FollowsRuleStrings)
{
    ZoneCase const cases[] = {
        { "UTC0", 0, { 1970, 1, 1, 0, 0, 0, 0 } },
        { "IST-5:30", 0, { 1970, 1, 1, 5, 30, 0, 330 } },
        { "BRT3", 0, { 1969, 12, 31, 21, 0, 0, -180 } },
        { "NST3:30", 0, { 1969, 12, 31, 20, 30, 0, -210 } },
        { "NPT-5:45", 1'796'904'000, { 2026, 12, 10, 17, 45, 0, 345 } },
        // Offsets with seconds: the minutes are truncated toward zero, on both sides of UTC.
        { "LMT-0:00:30", 0, { 1970, 1, 1, 0, 0, 30, 0 } },
        { "LMT0:00:30", 0, { 1969, 12, 31, 23, 59, 30, 0 } },
        { "LMT0:01:30", 0, { 1969, 12, 31, 23, 58, 30, -1 } },
    };
    for (ZoneCase const& c : cases) expect_local(c);
}

TEST_F(ZoneTest, FollowsZoneDatabase)
{
    ZoneCase const utc { "UTC", 1'796'904'000, { 2026, 12, 10, 12, 0, 0, 0 } };
    if (!std::filesystem::exists("/usr/share/zoneinfo/UTC")) GTEST_SKIP() << "no zone database";
    expect_local(utc);
    if (!std::filesystem::exists("/usr/share/zoneinfo/Asia/Kolkata")) GTEST_SKIP() << "no Asia/Kolkata zone";
    ZoneCase const kolkata { "Asia/Kolkata", 1'796'904'000, { 2026, 12, 10, 17, 30, 0, 330 } };
    expect_local(kolkata);
    EXPECT_EQ(pack_date(calendar(1'796'904'000, false)), packed(2026, 12, 10, 22));
}

TEST(NowSeconds, IsTheUtcTimeOfDay)
{
    for (bool precise : { false, true }) {
        std::int64_t before = wall_clock().seconds % 86400;
        double now = now_seconds(precise);
        std::int64_t after = wall_clock().seconds % 86400;
        double whole = std::floor(now);
        // A second boundary may fall between the readings.
        EXPECT_TRUE(whole == static_cast<double>(before) || whole == static_cast<double>(after)) << now;
        if (!precise) {
            EXPECT_EQ(now, whole);
        }
    }
}

TEST(NowSeconds, PreciseFractionIsInStepsOf100Nanoseconds)
{
    for (int i = 0; i < 50; ++i) {
        double now = now_seconds(true);
        double nanoseconds = std::round((now - std::floor(now)) * 1e9);
        EXPECT_EQ(std::fmod(nanoseconds, 100.0), 0.0) << now;
    }
}

TEST(NowDate, PacksTodaysCalendar)
{
    for (bool utc : { true, false }) {
        std::uint32_t before = pack_date(calendar(wall_clock().seconds, utc));
        std::uint32_t now = now_date(utc);
        std::uint32_t after = pack_date(calendar(wall_clock().seconds, utc));
        EXPECT_TRUE(now == before || now == after) << now;
    }
}

}
}
