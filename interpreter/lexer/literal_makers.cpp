// The values of literals whose datatypes have their modules elsewhere, made in the cell layouts those
// datatypes define.

#include "interpreter/lexer/literal_makers.h"

#include <cstring>

#include "datatypes/pair.h"
#include "datatypes/percent.h"
#include "datatypes/registry.h"
#include "datatypes/time.h"
#include "interpreter/lexer/lexer_state.h"
#include "runtime/errors.h"
#include "runtime/memory.h"

namespace xol::lexer::makers {

namespace {

// A tuple's byte count sits in bits 19-22 of its header.
constexpr std::uint32_t tuple_count_shift = 19;

std::uint32_t float_bits(float value)
{
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

}

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

// TODO(tuple!): hand over to tuple!'s own maker.
Cell tuple(std::uint8_t const* bytes, std::uint32_t count)
{
    require(type_ids::tuple);
    std::uint8_t components[12] = {};
    std::memcpy(components, bytes, count);
    std::uint32_t const stored = count < 3 ? 3 : count;
    Cell value = cell::make(type_ids::tuple);
    value.header |= stored << tuple_count_shift;
    std::memcpy(&value.word1, components, sizeof components);
    return value;
}

// TODO(point2D!): hand over to point2D!'s own maker.
Cell point2d(float x, float y)
{
    require(type_ids::point2d);
    return cell::make(type_ids::point2d, float_bits(x), float_bits(y), 0);
}

// TODO(point3D!): hand over to point3D!'s own maker.
Cell point3d(float x, float y, float z)
{
    require(type_ids::point3d);
    return cell::make(type_ids::point3d, float_bits(x), float_bits(y), float_bits(z));
}

// TODO(binary!): hand over to binary!'s own maker.
Cell binary(std::vector<std::uint8_t> const& bytes)
{
    require(type_ids::binary);
    NodeId const node = series::alloc_bytes(bytes.size());
    SeriesBuffer* buffer = node::buffer(node);
    if (!bytes.empty()) std::memcpy(buffer->head_address(), bytes.data(), bytes.size());
    buffer->tail = buffer->head + static_cast<std::uint32_t>(bytes.size());
    return cell::make(type_ids::binary, 0, node, 0);
}

// TODO(date!): date/make-at and the week and day-of-the-year setters of the calendar arithmetic.
Cell date(DateParts const&)
{
    not_done(type_ids::date);
}

// TODO(money!): money/make-from-parts, which also knows the currencies.
Cell money(MoneyText const&, bool& known_currency)
{
    known_currency = true;
    not_done(type_ids::money);
}

// TODO(map!): map/make-at over a block of the cells.
Cell map(Cell const*, std::uint32_t)
{
    not_done(type_ids::map);
}

}
