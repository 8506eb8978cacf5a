// The values of literals whose datatypes have their modules elsewhere, made in the cell layouts those
// datatypes define.

#include "interpreter/lexer/literal_makers.h"

#include <cstring>

#include "datatypes/binary.h"
#include "datatypes/date.h"
#include "datatypes/map.h"
#include "datatypes/money.h"
#include "datatypes/pair.h"
#include "datatypes/percent.h"
#include "datatypes/point2d.h"
#include "datatypes/point3d.h"
#include "datatypes/registry.h"
#include "datatypes/time.h"
#include "datatypes/tuple.h"
#include "interpreter/lexer/lexer_state.h"
#include "runtime/errors.h"
#include "runtime/memory.h"

namespace xol::lexer::makers {

void require(TypeId type)
{
    if (!datatype::is_registered(type)) not_done(type);
}

Cell percent(double fraction)
{
    require(type_ids::percent);
    return percent::make(fraction);
}

Cell time(double seconds)
{
    require(type_ids::time);
    return xol::time::make(seconds);
}

Cell pair(std::int32_t x, std::int32_t y)
{
    require(type_ids::pair);
    return pair::make(x, y);
}

Cell tuple(std::uint8_t const* bytes, std::uint32_t count)
{
    require(type_ids::tuple);
    return tuple::make(bytes, count);
}

Cell point2d(float x, float y)
{
    require(type_ids::point2d);
    return point2d::make(x, y);
}

Cell point3d(float x, float y, float z)
{
    require(type_ids::point3d);
    return point3d::make(x, y, z);
}

Cell binary(std::vector<std::uint8_t> const& bytes)
{
    require(type_ids::binary);
    return xol::binary::load(bytes);
}

// A week date or a day of the year becomes the calendar date it names first.
Cell date(DateParts const& parts)
{
    require(type_ids::date);
    std::int64_t year = parts.year;
    std::int32_t month = parts.month;
    std::int32_t day = parts.day;
    if (parts.week != 0 || parts.year_day != 0) {
        std::int64_t const days = parts.week != 0 ? date::iso_week_date(parts.year, parts.week, parts.weekday)
                                                  : date::first_of_year(parts.year) + parts.year_day - 1;
        date::CivilDate const civil = date::civil_from_days(days);
        year = civil.year;
        month = civil.month;
        day = civil.day;
    }
    std::int32_t const zone_minutes = parts.zone_hours * 60 + parts.zone_minutes;
    Cell value = cell::make(type_ids::date);
    date::make_at(value, static_cast<std::int32_t>(year), month, day, parts.seconds,
        parts.zone_negative ? -zone_minutes : zone_minutes, parts.has_time);
    return value;
}

Cell money(MoneyText const& parts, bool& known_currency)
{
    require(type_ids::money);
    Cell value = cell::make(type_ids::money);
    known_currency = money::make_from_parts(value, parts.negative, parts.currency, parts.integral, parts.fraction);
    return value;
}

Cell map(Cell const* cells, std::uint32_t count)
{
    require(type_ids::map);
    return map::make_from_cells(cells, count);
}

}
