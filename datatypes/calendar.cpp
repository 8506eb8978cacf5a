// Day numbers, weeks, zones and the carrying of times of day, all with floored divisions.

#include "datatypes/calendar.h"

#include <cmath>

namespace xol::date {

namespace {

constexpr std::int64_t floor_div(std::int64_t a, std::int64_t b)
{
    std::int64_t const quotient = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? quotient - 1 : quotient;
}

constexpr std::int64_t floor_mod(std::int64_t a, std::int64_t b)
{
    return a - floor_div(a, b) * b;
}

// The days before 1 March of year y, counted from 1 March of the year 0.
constexpr std::int64_t days_before_march(std::int64_t y)
{
    return 365 * y + floor_div(y, 4) - floor_div(y, 100) + floor_div(y, 400);
}

// The day numbers of the packable range: 1 January of the first year to 31 December of the last.
constexpr std::int64_t first_packable_day = days_before_march(min_year - 1) + 306;
constexpr std::int64_t last_packable_day = days_before_march(max_year) + 305;

}

std::uint32_t pack(std::int32_t year, std::int32_t month, std::int32_t day, std::uint32_t zone, bool time)
{
    return static_cast<std::uint32_t>(year) << 17 | static_cast<std::uint32_t>(month) << 12
        | static_cast<std::uint32_t>(day) << 7 | (time ? time_flag : 0) | (zone & zone_mask);
}

std::optional<std::uint32_t> zone_from_minutes(std::int32_t offset_minutes)
{
    std::int32_t const magnitude = offset_minutes < 0 ? -offset_minutes : offset_minutes;
    std::int32_t const hours = magnitude / 60;
    std::int32_t const quarters = magnitude % 60 / 15;
    if (hours > 15) return std::nullopt;
    auto zone = static_cast<std::uint32_t>(hours << 2 | quarters);
    if (offset_minutes < 0 && zone != 0) zone |= zone_sign;
    return zone;
}

std::int32_t zone_seconds(std::uint32_t zone)
{
    auto const magnitude = static_cast<std::int32_t>(((zone >> 2) & 0xF) * 3600 + (zone & 3) * 900);
    return (zone & zone_sign) != 0 ? -magnitude : magnitude;
}

// ---- Day numbers --------------------------------------------------------------------------------------

bool leap_year_q(std::int64_t year)
{
    return (floor_mod(year, 4) == 0 && floor_mod(year, 100) != 0) || floor_mod(year, 400) == 0;
}

std::int64_t to_days(std::int64_t year, std::int32_t month, std::int32_t day)
{
    std::int64_t const march_based = floor_mod(month + 9, 12); // March is 0, February 11
    std::int64_t const y = year - march_based / 10;
    return days_before_march(y) + (march_based * 306 + 5) / 10 + (day - 1);
}

std::int64_t to_days(std::uint32_t packed)
{
    return to_days(year_of(packed), month_of(packed), day_of(packed));
}

CivilDate civil_from_days(std::int64_t days)
{
    // The estimate is exact or one year high; 400 years are exactly 146,097 days, so what holds for one
    // such period holds for every one.
    auto y = static_cast<std::int64_t>(std::floor((10000.0 * static_cast<double>(days) + 14780.0) / 3652425.0));
    std::int64_t rest = days - days_before_march(y);
    if (rest < 0) {
        --y;
        rest = days - days_before_march(y);
    }
    std::int64_t const month_index = (100 * rest + 52) / 3060; // 0 for March
    return CivilDate {
        .year = y + (month_index + 2) / 12,
        .month = static_cast<std::int32_t>((month_index + 2) % 12 + 1),
        .day = static_cast<std::int32_t>(rest - (month_index * 306 + 5) / 10 + 1),
    };
}

std::optional<std::uint32_t> from_days(std::int64_t days, std::uint32_t zone, bool time)
{
    if (days < first_packable_day || days > last_packable_day) return std::nullopt;
    CivilDate const civil = civil_from_days(days);
    return pack(static_cast<std::int32_t>(civil.year), civil.month, civil.day, zone, time);
}

std::int64_t first_of_year(std::int64_t year)
{
    return to_days(year, 1, 1);
}

std::int32_t weekday_of(std::int64_t days)
{
    return static_cast<std::int32_t>(floor_mod(days + 2, 7));
}

std::int32_t yearday_of(std::int64_t days)
{
    return static_cast<std::int32_t>(days - first_of_year(civil_from_days(days).year) + 1);
}

std::int64_t iso_week_one(std::int64_t year)
{
    std::int64_t const january_first = first_of_year(year);
    std::int32_t const weekday = weekday_of(january_first);
    // A year that starts on Friday, Saturday or Sunday leaves those days to the last week of the year before.
    return january_first - weekday + (weekday >= 4 ? 7 : 0);
}

std::int32_t isoweek_of(std::int64_t days)
{
    std::int64_t const year = civil_from_days(days).year;
    std::int64_t const start = iso_week_one(year);
    if (days < start) {
        // The last week of the year before: 53 when that year began on a Thursday, or was a leap year that
        // began on a Wednesday (this year then begins on a Friday or a Saturday).
        std::int32_t const weekday = weekday_of(first_of_year(year));
        return weekday == 4 || (weekday == 5 && leap_year_q(year - 1)) ? 53 : 52;
    }
    if (days >= iso_week_one(year + 1)) return 1;
    return static_cast<std::int32_t>((days - start) / 7 + 1);
}

std::int32_t week_of(std::int64_t days)
{
    std::int64_t const january_first = first_of_year(civil_from_days(days).year);
    std::int64_t const since_sunday = floor_mod(january_first + 3, 7); // 1 January's place in its week
    return static_cast<std::int32_t>((days - january_first + since_sunday) / 7 + 1);
}

// ---- Setters ------------------------------------------------------------------------------------------

std::int64_t with_month(std::int64_t year, std::int32_t month, std::int32_t day)
{
    std::int64_t const months = std::int64_t { month } - 1;
    return to_days(year + floor_div(months, 12), static_cast<std::int32_t>(floor_mod(months, 12) + 1), day);
}

std::int64_t with_isoweek(std::int64_t days, std::int32_t week)
{
    // The weeks are counted in the year that owns the date's week, which may be the year before or after.
    std::int64_t year = civil_from_days(days).year;
    if (days < iso_week_one(year))
        --year;
    else if (days >= iso_week_one(year + 1))
        ++year;
    return iso_week_date(year, week, weekday_of(days) + 1);
}

std::int64_t with_weekday(std::int64_t days, std::int32_t weekday)
{
    return days - weekday_of(days) + (std::int64_t { weekday } - 1);
}

std::int64_t with_yearday(std::int64_t days, std::int32_t yearday)
{
    return first_of_year(civil_from_days(days).year) + (std::int64_t { yearday } - 1);
}

std::int64_t with_week(std::int64_t days, std::int32_t week)
{
    std::int64_t const january_first = first_of_year(civil_from_days(days).year);
    if (week <= 1) return january_first;
    std::int64_t const since_sunday = floor_mod(january_first + 3, 7);
    return january_first + 7 * std::int64_t { week } - since_sunday - 7;
}

std::int64_t iso_week_date(std::int64_t year, std::int32_t week, std::int32_t weekday)
{
    return iso_week_one(year) + 7 * (std::int64_t { week } - 1) + (std::int64_t { weekday } - 1);
}

// ---- Time of day --------------------------------------------------------------------------------------

bool normalize(std::int64_t& days, double& seconds, std::uint32_t zone)
{
    double const offset = zone_seconds(zone);
    double const carried = std::floor((seconds + offset) / seconds_per_day);
    // Beyond this many days no date can be packed: the callers' range check refuses the result.
    if (!std::isfinite(carried) || std::fabs(carried) > 1e9) return false;
    double rest = seconds - carried * seconds_per_day;
    std::int64_t day = days + static_cast<std::int64_t>(carried);
    // The division may round across a day's edge: the local time of day settles on the right side of it.
    if (rest + offset < 0) {
        rest += seconds_per_day;
        --day;
    } else if (rest + offset >= seconds_per_day) {
        rest -= seconds_per_day;
        ++day;
    }
    days = day;
    seconds = rest;
    return true;
}

}
