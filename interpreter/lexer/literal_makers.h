// The values of literals whose datatypes have their modules elsewhere. Each maker answers the value cell
// once the datatype is registered; before that a literal of the type raises internal not-done, so that
// no value of an unregistered type leaves the lexer. Each maker hands over to its module's maker as the
// module arrives; a note tagged with the datatype's name marks each.
#pragma once

#include <cstdint>
#include <vector>

#include "interpreter/lexer/numbers.h"
#include "runtime/cell.h"

namespace xol::lexer::makers {

// Raises internal not-done unless the datatype is registered.
void require(TypeId type);

Cell percent(double fraction);
Cell time(double seconds);
Cell pair(std::int32_t x, std::int32_t y);
// 3 to 12 bytes (fewer are padded with zeros to 3).
Cell tuple(std::uint8_t const* bytes, std::uint32_t count);
Cell point2d(float x, float y);
Cell point3d(float x, float y, float z);
// A binary! holding the bytes. May allocate.
Cell binary(std::vector<std::uint8_t> const& bytes);

// A validated date: year, month, day, seconds of the day, zone hours and minutes, and what was given.
struct DateParts {
    std::int32_t year = 0;
    std::int32_t month = 0;
    std::int32_t day = 0;
    double seconds = 0;
    std::int32_t zone_hours = 0; // the magnitude
    std::int32_t zone_minutes = 0;
    bool zone_negative = false; // west of UTC: kept apart, so that -00:30 keeps its sign
    bool has_time = false;
    bool has_zone = false;
    std::int32_t week = 0; // an ISO week date when not 0
    std::int32_t weekday = 0; // 1 to 7 in a week date
    std::int32_t year_day = 0; // a day-of-the-year date when not 0
};
Cell date(DateParts const&);
// `known_currency` false: the currency is not one money! knows (the value is then no money!).
Cell money(MoneyText const&, bool& known_currency);
// A map! over `count` key/value cells that lie outside series buffers. May allocate.
Cell map(Cell const* cells, std::uint32_t count);

}
