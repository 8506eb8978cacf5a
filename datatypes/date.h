// date!: a calendar date with an optional time of day and time zone. Word 1 is the packed date (see
// calendar.h: the local year, month and day, the time flag and the zone); words 2 and 3 hold the seconds as
// a 64-bit float: the local time of day less the zone's offset, so that the instant is day x 86,400 +
// seconds. After every operation the local time of day, seconds + offset, lies in 0 to 86,400. A date
// without the time flag has seconds and zone 0.
//
// A result whose year falls outside -16384 to 16383 raises script type-limit with date!, and the value
// stays as it was.
#pragma once

#include <cstdint>

#include "datatypes/action_table.h"
#include "datatypes/calendar.h"
#include "runtime/cell.h"

namespace xol::date {

inline constexpr TypeId type_id = type_ids::date;

inline std::uint32_t packed(Cell const& value)
{
    return value.word1;
}
inline double seconds(Cell const& value)
{
    return cell::float_payload(value);
}
inline Cell make(std::uint32_t packed, double seconds)
{
    Cell value { type_id, packed, 0, 0 };
    cell::set_float_payload(value, seconds);
    return value;
}

// ---- Makers -------------------------------------------------------------------------------------------

// A date from the local calendar date, the local seconds of the day and the zone's offset east of UTC in
// minutes (truncated to quarter hours); without `time_given` the seconds and the zone are dropped. The
// lexer and `now` make dates with it. A zone beyond ±15:45 or a year outside the packable range raises
// script type-limit with date!. Keeps the cell's header flags.
void make_at(Cell& cell, std::int32_t year, std::int32_t month, std::int32_t day, double local_seconds,
    std::int32_t zone_minutes, bool time_given);
// A UTC date and time, zone 0, the time flag set: file times. Raises as make_at.
void make_from_parts(Cell& cell, std::int32_t year, std::int32_t month, std::int32_t day, std::int32_t hours,
    std::int32_t minutes, std::int32_t seconds, std::int32_t nanoseconds);
Cell* make_in(Cell const& block, std::uint32_t packed, double seconds); // appended at the tail. May allocate.
Cell* push(std::uint32_t packed, double seconds); // a new date! on the value stack

// ---- The calendar of a date value ----------------------------------------------------------------------

// The instant's seconds since 1 January 1970 UTC, rounded half up: the `to integer!` of a date.
std::int64_t to_epoch_seconds(Cell const& date);
// The time between two dates, a - b, as a time!.
Cell difference(Cell const& a, Cell const& b);
// The add and subtract body: the date in the call's result cell, a number of days (integer!), a time!, or
// (subtracting) a date! after it. Date - date answers the integer! of whole days between them.
void do_math(MathOp);

extern DatatypeRecord const record; // no parent

}
