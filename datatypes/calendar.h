// The calendar under date!: the packed date word, day numbers in the proleptic Gregorian calendar, weekdays,
// days of the year, the two week numberings, time-zone offsets and the carrying of a time of day into days.
//
// Packed date (word 1 of a date! cell): bits 17-31 the year, signed (-16384 to 16383); bits 12-15 the month
// 1-12; bits 7-11 the day 1-31; bit 16 the time flag; bits 0-6 the zone: bit 6 its sign (set west of UTC),
// bits 2-5 its whole hours 0-15, bits 0-1 its quarter hours. The sign belongs to the whole offset, so -0:30
// keeps it; a zero offset never carries it. The year, month and day are the local date.
//
// Day number: a count of days whose year starts in March, 1 March of the year 0 being day 0. Every division
// here floors, so day numbers stay consecutive before that day too, and a negative month carries backwards.
// Day numbers and sums of them are 64-bit: whatever a script adds, the range check sees the true result.
#pragma once

#include <cstdint>
#include <optional>

namespace xol::date {

inline constexpr std::int32_t min_year = -16384;
inline constexpr std::int32_t max_year = 16383;
inline constexpr std::uint32_t time_flag = 0x10000;
inline constexpr std::uint32_t zone_mask = 0x7F;
inline constexpr std::uint32_t zone_sign = 0x40;
inline constexpr std::int32_t largest_zone_minutes = 15 * 60 + 45;
inline constexpr double seconds_per_day = 86400.0;

// ---- The packed date ----------------------------------------------------------------------------------

inline std::int32_t year_of(std::uint32_t packed)
{
    return static_cast<std::int32_t>(packed) >> 17;
}
inline std::int32_t month_of(std::uint32_t packed)
{
    return static_cast<std::int32_t>((packed >> 12) & 0xF);
}
inline std::int32_t day_of(std::uint32_t packed)
{
    return static_cast<std::int32_t>((packed >> 7) & 0x1F);
}
inline bool has_time(std::uint32_t packed)
{
    return (packed & time_flag) != 0;
}
inline std::uint32_t zone_of(std::uint32_t packed)
{
    return packed & zone_mask;
}

// The packed word of a date whose year lies in the packable range (checked by the callers).
std::uint32_t pack(std::int32_t year, std::int32_t month, std::int32_t day, std::uint32_t zone, bool time);

// The zone bits of an offset east of UTC, in minutes: truncated to quarter hours; nullopt beyond ±15:45.
std::optional<std::uint32_t> zone_from_minutes(std::int32_t offset_minutes);
// The offset of zone bits, east of UTC, in seconds (negative west of UTC).
std::int32_t zone_seconds(std::uint32_t zone);

// ---- Day numbers --------------------------------------------------------------------------------------

bool leap_year_q(std::int64_t year);
// The day number of a date; the month lies in 1-12, a day outside the month counts on from its first day.
std::int64_t to_days(std::int64_t year, std::int32_t month, std::int32_t day);
std::int64_t to_days(std::uint32_t packed);

struct CivilDate {
    std::int64_t year;
    std::int32_t month; // 1-12
    std::int32_t day; // 1-31
};
CivilDate civil_from_days(std::int64_t days);
// The packed date of a day number, with the zone and the time flag given; nullopt when its year lies outside
// the packable range.
std::optional<std::uint32_t> from_days(std::int64_t days, std::uint32_t zone, bool time);

// The day number of 1 January of a year.
std::int64_t first_of_year(std::int64_t year);
// 0 for Monday to 6 for Sunday.
std::int32_t weekday_of(std::int64_t days);
// The day of the year from 1.
std::int32_t yearday_of(std::int64_t days);
// The Monday that starts ISO week 1 of a year: the week that holds the year's first Thursday.
std::int64_t iso_week_one(std::int64_t year);
// The ISO 8601 week (1-53), which may belong to the year before or after.
std::int32_t isoweek_of(std::int64_t days);
// The week counted from Sunday: week 1 holds 1 January, each later week starts on a Sunday.
std::int32_t week_of(std::int64_t days);

// ---- Setters: the day number of the date with one calendar field replaced -------------------------------

// A month beyond 1-12 carries into the years (0 is December of the year before), and a day beyond the new
// month's length into the next month.
std::int64_t with_month(std::int64_t year, std::int32_t month, std::int32_t day);
// The same weekday in ISO week `week` of the year that owns the date's ISO week, so that the week it reads
// sets it back (week 1 starts on the Monday of iso_week_one).
std::int64_t with_isoweek(std::int64_t days, std::int32_t week);
// The weekday 1 (Monday) to 7 (Sunday) of the date's Monday-based week; others carry into the weeks around.
std::int64_t with_weekday(std::int64_t days, std::int32_t weekday);
// The day `yearday` of the date's year, counted from 1 January as day 1.
std::int64_t with_yearday(std::int64_t days, std::int32_t yearday);
// The first day of Sunday-based week `week` of the date's year; week 1 and below give 1 January.
std::int64_t with_week(std::int64_t days, std::int32_t week);
// The day of ISO week `week` (the Monday of week 1 counts as week 1) of a year, weekday 1 Monday to 7.
std::int64_t iso_week_date(std::int64_t year, std::int32_t week, std::int32_t weekday);

// ---- Time of day --------------------------------------------------------------------------------------

// Carries whole days out of the seconds, so that the local time of day, seconds + the zone's offset, lies
// in 0 to 86,400 (86,400 excluded); the carried days go into `days`. False, with nothing changed, when the
// seconds are not finite or carry beyond any packable date.
bool normalize(std::int64_t& days, double& seconds, std::uint32_t zone);

}
