// Wall-clock time, calendar conversion and sleeping on POSIX, and the packed date and time-of-day built on them.

#include "runtime/platform/clock.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include <time.h>

namespace xol::platform {

namespace {

CalendarTime from_broken_down(tm const& fields, std::int32_t offset_minutes)
{
    return CalendarTime {
        .year = fields.tm_year + 1900,
        .month = fields.tm_mon + 1,
        .day = fields.tm_mday,
        .hour = fields.tm_hour,
        .minute = fields.tm_min,
        .second = fields.tm_sec,
        .offset_minutes = offset_minutes,
    };
}

}

WallTime wall_clock()
{
    timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    return WallTime { .seconds = now.tv_sec, .nanoseconds = static_cast<std::int32_t>(now.tv_nsec) };
}

CalendarTime calendar(std::int64_t seconds, bool utc)
{
    time_t moment = seconds;
    tm fields {};
    if (utc) {
        // Fails only past the year 2^31; the fields then stay zeroed, and day 0 marks a date that cannot be.
        gmtime_r(&moment, &fields);
        return from_broken_down(fields, 0);
    }
    // localtime_r need not look at TZ again; tzset makes a TZ changed since the last call count.
    tzset();
    localtime_r(&moment, &fields);
    return from_broken_down(fields, static_cast<std::int32_t>(fields.tm_gmtoff / 60));
}

void sleep_milliseconds(std::int64_t milliseconds)
{
    if (milliseconds <= 0) return;
    timespec remaining {
        .tv_sec = static_cast<time_t>(milliseconds / 1000),
        .tv_nsec = static_cast<long>(milliseconds % 1000 * 1000000),
    };
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) { }
}

double now_seconds(bool precise)
{
    WallTime now = wall_clock();
    CalendarTime fields = calendar(now.seconds, true);
    double seconds = fields.hour * 3600 + fields.minute * 60 + fields.second;
    if (!precise) return seconds;
    // The fraction is kept to 100 ns steps, the finest a caller is promised.
    return seconds + (now.nanoseconds - now.nanoseconds % 100) / 1e9;
}

std::uint32_t pack_date(CalendarTime const& time)
{
    std::int32_t magnitude = std::abs(time.offset_minutes);
    std::uint32_t hours = static_cast<std::uint32_t>(magnitude / 60) & 0x0F;
    // The sign has a bit of its own so that offsets under an hour, such as -0:30, keep it.
    if (time.offset_minutes < 0) hours |= 0x10;
    std::uint32_t quarters = static_cast<std::uint32_t>(magnitude % 60 / 15);
    std::uint32_t zone = hours << 2 | quarters;
    return static_cast<std::uint32_t>(time.year) << 17 | static_cast<std::uint32_t>(time.month) << 12
        | static_cast<std::uint32_t>(time.day) << 7 | zone;
}

std::uint32_t now_date(bool utc)
{
    return pack_date(calendar(wall_clock().seconds, utc));
}

std::int64_t sleep_duration(double seconds)
{
    double milliseconds = seconds * 1000;
    // The comparison is false for NaN, which therefore sleeps the minimum as well.
    if (!(milliseconds >= 1)) return 1;
    // 2^63: the first double past INT64_MAX, where the conversion would stop being defined.
    if (milliseconds >= 9223372036854775808.0) return INT64_MAX;
    return static_cast<std::int64_t>(milliseconds);
}

void sleep(double seconds)
{
    sleep_milliseconds(sleep_duration(seconds));
}

}
