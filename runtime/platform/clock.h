// Wall-clock time, calendar conversion in the local zone (TZ honoured) or UTC, and sleeping.
#pragma once

#include <cstdint>

namespace xol::platform {

struct WallTime {
    std::int64_t seconds; // since 1970-01-01 UTC
    std::int32_t nanoseconds; // 0 to 999,999,999
};

struct CalendarTime {
    std::int32_t year;
    std::int32_t month; // 1 to 12
    std::int32_t day; // 1 to 31
    std::int32_t hour; // 0 to 23
    std::int32_t minute;
    std::int32_t second; // 0 to 60 (a leap second)
    std::int32_t offset_minutes; // east of UTC; 0 in UTC
};

WallTime wall_clock();
CalendarTime calendar(std::int64_t seconds, bool utc);

// Sleeps the whole time, resuming after signals with the time left.
void sleep_milliseconds(std::int64_t milliseconds);

}

namespace xol::platform {

// Seconds since UTC midnight: whole seconds, or with the precise flag the fraction too, to 100 ns.
double now_seconds(bool precise);

// The date packed in one word: year << 17 | month << 12 | day << 7 | zone. The zone is (hours << 2) |
// quarter-hours of the offset's magnitude, with 0x10 in the hours field marking a negative offset.
std::uint32_t now_date(bool utc);
std::uint32_t pack_date(CalendarTime const&);

// Sleeps at least 1 ms; see sleep_duration.
void sleep(double seconds);
// The milliseconds a sleep of `seconds` lasts: at least 1 (NaN too), saturating for huge values.
std::int64_t sleep_duration(double seconds);

}
