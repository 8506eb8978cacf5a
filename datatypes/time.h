// time!: a signed duration or time of day as seconds, a 64-bit float in words 2 and 3 where float! keeps
// its double. float!'s arithmetic, comparison and rounding do the numeric work; time! adds its making, its
// text, its fields and the rules that keep results times.
//
// Fields: the hour is the seconds divided by 3600, truncated; the minute the whole minutes of the
// magnitude within its hour (0 to 59); the second the seconds within the minute, signed like the time.
// A time whose hour does not fit an integer!, or that is not finite, has no fields: reading or setting
// one raises math overflow.
#pragma once

#include <cstdint>

#include "datatypes/action_table.h"
#include "runtime/cell.h"

namespace xol::time {

inline constexpr TypeId type_id = type_ids::time;

inline double get(Cell const& value)
{
    return cell::float_payload(value);
}
inline Cell make(double seconds)
{
    Cell value { type_id, 0, 0, 0 };
    cell::set_float_payload(value, seconds);
    return value;
}
void make_at(Cell& cell, double seconds); // keeps the cell's header flags
Cell* make_in(Cell const& block, double seconds); // appended at the block's tail. May allocate.
Cell* push(double seconds); // a new time! on the value stack

// The fields; each raises math overflow for a time without fields.
std::int32_t get_hours(double seconds);
std::int32_t get_minutes(double seconds);
double get_seconds(double seconds);

// The seconds with one field replaced and the others read as before: setting a field to the value it
// reads gives the same time. A new hour takes the time's sign (0 keeps it); a minute or second beyond its
// range carries into the fields above. Each raises math overflow for a time without fields.
double set_hours(double seconds, std::int32_t hours);
double set_minutes(double seconds, std::int32_t minutes);
double set_seconds(double seconds, double second);

extern DatatypeRecord const record; // registered after float!

}
