// The natives that reach the runtime's own services and the machine's clock: recycle, now and wait.

#include <optional>

#include "datatypes/calendar.h"
#include "datatypes/date.h"
#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/none.h"
#include "datatypes/time.h"
#include "datatypes/unset.h"
#include "interpreter/natives/entries.h"
#include "interpreter/natives/natives.h"
#include "runtime/collector.h"
#include "runtime/errors.h"
#include "runtime/platform/clock.h"
#include "runtime/stack.h"

namespace xol::natives {

// Refinements: /on, /off. Neither: one full collection, answering the memory in use as stats does. A
// collection asked for while code below holds buffer addresses (a hold is live) waits for the next one.
void recycle(std::int32_t const* refinements)
{
    bool const on = refinements[0] >= 0;
    bool const off = refinements[1] >= 0;
    if (on || off) {
        gc::state.enabled = on;
        stack::set_only_result(unset_value);
        return;
    }
    if (gc::state.holds == 0 && !gc::state.collecting) gc::collect();
    std::int32_t const plain[] = { -1, -1 };
    stats(plain);
}

namespace {

enum NowRefinement : int { Year, Month, Day, Time, Zone, Date, Weekday, Yearday, Precise, Utc };

}

// Refinements: /year /month /day /time /zone /date /weekday /yearday /precise /utc. One reading of the
// clock gives both the calendar date and the time of day, so the two always belong to the same instant,
// whichever side of midnight local time and UTC fall.
void now(std::int32_t const* refinements)
{
    auto const has = [refinements](NowRefinement which) { return refinements[which] >= 0; };
    int selectors = 0;
    for (int which = Year; which <= Precise; ++which) selectors += has(static_cast<NowRefinement>(which)) ? 1 : 0;
    // /precise sharpens /time; any other pair asks for two answers at once.
    if (selectors >= 2 && !(selectors == 2 && has(Time) && has(Precise))) fire_error(err::script::bad_refines);

    platform::WallTime const moment = platform::wall_clock();
    platform::CalendarTime const fields = platform::calendar(moment.seconds, has(Utc));
    double local_seconds = fields.hour * 3600.0 + fields.minute * 60.0 + fields.second;
    // The fraction is kept to 100 ns steps, the finest a caller is promised.
    if (has(Precise)) local_seconds += (moment.nanoseconds - moment.nanoseconds % 100) / 1e9;
    std::int32_t const offset = has(Utc) ? 0 : fields.offset_minutes;
    // A date holds its zone in quarter hours. An offset between them (a zone's local mean time, say) is cut
    // to the quarter hour, and the local time becomes the instant seen from that zone, so that the date
    // still names this moment.
    if (std::optional<std::uint32_t> const zone = date::zone_from_minutes(offset))
        local_seconds += date::zone_seconds(*zone) - offset * 60.0;

    Cell result = cell::make(type_ids::none);
    date::make_at(result, fields.year, fields.month, fields.day, local_seconds, offset, true);
    std::uint32_t const packed = date::packed(result);
    std::int32_t const year = date::year_of(packed);
    std::int32_t const month = date::month_of(packed);
    std::int32_t const day = date::day_of(packed);
    double const zone_seconds = date::zone_seconds(date::zone_of(packed));
    std::int64_t const days = date::to_days(year, month, day);
    if (has(Year))
        result = integer::make(year);
    else if (has(Month))
        result = integer::make(month);
    else if (has(Day))
        result = integer::make(day);
    else if (has(Time))
        result = time::make(date::seconds(result) + zone_seconds);
    else if (has(Zone))
        result = time::make(zone_seconds);
    else if (has(Weekday))
        result = integer::make(date::weekday_of(days) + 1); // Monday is 1
    else if (has(Yearday))
        result = integer::make(date::yearday_of(days));
    else if (has(Date))
        date::make_at(result, year, month, day, 0, 0, false);
    stack::set_only_result(result);
}

// Refinement: /all, which changes nothing. Numbers count seconds; a time! its own length.
void wait(std::int32_t const*)
{
    Cell const value = *argument(0);
    double seconds = 0;
    switch (cell::type_of(value)) {
    case type_ids::integer:
        seconds = integer::get(value);
        break;
    case type_ids::float_:
        seconds = float_::get(value);
        break;
    case type_ids::time:
        seconds = time::get(value);
        break;
    default:
        fire_error(err::script::invalid_arg, &value);
    }
    none::set_result();
    stack::keep_first();
    platform::sleep(seconds);
    // TODO(terminal back end): one non-blocking pass of the frame loop, so that timers and input keep up.
}

}
