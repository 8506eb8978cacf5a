// percent!: float!'s arithmetic, comparison, rounding and conversions through inherited slots; only the text
// is its own.

#include "datatypes/percent.h"

#include "datatypes/float.h"
#include "datatypes/string.h"
#include "runtime/series.h"
#include "runtime/stack.h"

namespace xol::percent {

void make_at(Cell& cell, double fraction)
{
    cell = Cell { (cell.header & ~cell::type_mask) | type_id, 0, 0, 0 };
    cell::set_float_payload(cell, fraction);
}

void make_at(Cell& cell, std::uint32_t high, std::uint32_t low)
{
    cell = Cell { (cell.header & ~cell::type_mask) | type_id, 0, low, high };
}

Cell* make_in(Cell const& block, std::uint32_t high, std::uint32_t low)
{
    Cell* cell = series::append_cell(block);
    *cell = make(high, low);
    return cell;
}

Cell* push(double fraction)
{
    return stack::push(make(fraction));
}

Cell* push(std::uint32_t high, std::uint32_t low)
{
    return stack::push(make(high, low));
}

void set_result(double fraction)
{
    stack::set_last(make(fraction));
}

namespace {

// The fraction in hundredths, to 13 significant digits, then "%": mold writes the same text, which loads
// back as a percent!.
std::int32_t form(Cell const& value, Cell& buffer, Refinement, std::int32_t limit)
{
    return string::append_ascii(buffer, float_::form_number(get(value) * 100.0, 3), limit);
}

std::int32_t mold(Cell const& value, Cell& buffer, bool, bool, bool, Refinement part, std::int32_t limit, std::int32_t)
{
    return form(value, buffer, part, limit);
}

}

constexpr DatatypeRecord record {
    .id = type_id,
    .parent = float_::type_id,
    .name = "percent!",
    .actions = {
        .make = inherit,
        .random = inherit,
        .to = inherit,
        .form = form,
        .mold = mold,
        .compare = inherit,
        .absolute = inherit,
        .add = inherit,
        .divide = inherit,
        .multiply = inherit,
        .negate = inherit,
        .power = inherit,
        .remainder = inherit,
        .round = inherit,
        .subtract = inherit,
        .even_q = inherit,
        .odd_q = inherit,
    },
};

}
