// The system routines: quiet assignment, tuple builders, stack inspection, UTF-8 counting and the state of
// output and tracing.

#include <cstdint>

#include "datatypes/datatype.h"
#include "datatypes/error.h"
#include "datatypes/error_trace.h"
#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/none.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/tuple.h"
#include "datatypes/unset.h"
#include "datatypes/word.h"
#include "interpreter/build_settings.h"
#include "interpreter/natives/natives.h"
#include "interpreter/routines_entries.h"
#include "interpreter/trace.h"
#include "runtime/errors.h"
#include "runtime/roots.h"
#include "runtime/series.h"
#include "runtime/stack.h"
#include "runtime/type_families.h"

namespace xol::routines {

namespace {

// Script expect-arg naming the routine, the value's datatype and argument `index`'s word.
[[noreturn]] void fire_expect_arg(Cell const& value, std::uint32_t index)
{
    Cell const caller = stack::caller_word();
    Cell const type = datatype::make(cell::type_of(value));
    Cell const argument_word = error::function_arg_word(index);
    fire_error(err::script::expect_arg, &caller, &type, &argument_word);
}

// The first of `count` integer arguments that is negative raises script invalid-arg with it.
void refuse_negative(std::uint32_t count)
{
    for (std::uint32_t i = 0; i < count; ++i) {
        Cell const component = *natives::argument(i);
        if (integer::get(component) < 0) fire_error(err::script::invalid_arg, &component);
    }
}

std::uint32_t unsigned_argument(std::uint32_t index)
{
    return static_cast<std::uint32_t>(integer::get(*natives::argument(index)));
}

}

// Stored as set stores, without the owner hearing of it: a word without a slot (unbound, or of a function
// that is not running) is refused as set refuses it.
void set_quiet()
{
    Cell word = *natives::argument(0);
    if (!type_ids::is_all_word(cell::type_of(word))) fire_expect_arg(word, 0);
    word::set_notify(word, *natives::argument(1), word.word1, false);
    stack::set_last(*natives::argument(1));
}

// Nothing is written at or past the tail: the slot there belongs to no value of the series.
void set_slot_quiet()
{
    Cell const series = *natives::argument(0);
    if (!type_ids::is_any_block(cell::type_of(series))) {
        Cell const caller = stack::caller_word();
        Cell const type = datatype::make(type_ids::block);
        Cell const argument_word = error::function_arg_word(0);
        fire_error(err::script::expect_arg, &caller, &type, &argument_word);
    }
    if (!series::rs_tail_q(series)) {
        SeriesBuffer* buffer = series::buffer_of(series);
        buffer->head_cell()[series::index_of(series)] = *natives::argument(1);
    }
    stack::set_last(*natives::argument(1));
}

// Components above 255 are not cut: each carries into the next byte up, as the four make one 32-bit number.
void as_ipv4()
{
    refuse_negative(4);
    std::uint32_t const packed = (unsigned_argument(3) << 24) | (unsigned_argument(2) << 16)
        | (unsigned_argument(1) << 8) | unsigned_argument(0);
    std::uint8_t const bytes[] = { static_cast<std::uint8_t>(packed), static_cast<std::uint8_t>(packed >> 8),
        static_cast<std::uint8_t>(packed >> 16), static_cast<std::uint8_t>(packed >> 24) };
    stack::set_last(tuple::make(bytes, 4));
}

void as_color()
{
    refuse_negative(3);
    std::uint8_t const bytes[] = { static_cast<std::uint8_t>(unsigned_argument(0) & 0xFF),
        static_cast<std::uint8_t>(unsigned_argument(1) & 0xFF),
        static_cast<std::uint8_t>(unsigned_argument(2) & 0xFF) };
    stack::set_last(tuple::make(bytes, 3));
}

// Both positions must lie in one buffer; a position before the start counts nothing. A character is one
// lead byte, so a sequence cut at either end still counts once.
void count_chars()
{
    Cell const start = *natives::argument(0);
    Cell const position = *natives::argument(1);
    if (series::node_of(start) != series::node_of(position)) fire_error(err::script::invalid_arg, &position);
    std::uint32_t const total = series::rs_total_length(start);
    std::uint32_t const from = std::min(series::index_of(start), total);
    std::uint32_t const to = std::min(series::index_of(position), total);
    std::int32_t count = 0;
    auto const* bytes = reinterpret_cast<std::uint8_t const*>(series::buffer_of(start)->head_address());
    for (std::uint32_t i = from; i < to; ++i)
        if ((bytes[i] & 0xC0) != 0x80) ++count;
    stack::set_last(integer::make(count));
}

void stack_size_q()
{
    stack::set_last(integer::make(static_cast<std::int32_t>(stack::index_of(stack::state.top))));
}

// Positions count from 1 at the bottom; the top itself and beyond give none.
void pick_stack()
{
    std::int32_t const index = integer::get(*natives::argument(0));
    std::int32_t const size = static_cast<std::int32_t>(stack::index_of(stack::state.top));
    stack::set_last(index > 0 && index < size ? *stack::cell_at(static_cast<std::uint32_t>(index - 1)) : none_value);
}

// The arguments base of the code that called this routine.
void frame_index_q()
{
    stack::set_last(integer::make(static_cast<std::int32_t>(stack::top_frame()->saved_base)));
}

// The calls under way, innermost first, each followed by its arguments base.
void collect_calls()
{
    Rooted block(*natives::argument(0));
    stack::collect_calls(*block);
    stack::set_last(*block);
}

// A trace runs from its do/trace to its end, the library's own code and the tracer's calls included: a
// tool written in the library asks here whether it may start one.
void tracing_q()
{
    stack::set_last(logic::make(trace::state.requested));
}

// `trace true` and `trace false` inside traced code.
void trace_delivery()
{
    trace::set_delivery(cell::type_of(*natives::argument(0)) == type_ids::logic && logic::get(*natives::argument(0)));
    stack::set_last(unset_value);
}

void last_lf_q()
{
    stack::set_last(logic::make(natives::state.last_line_ended));
}

// Whether the call came from evaluated code: the evaluator marks the frames it pushes. The library's own
// code stands for compiled code, so a call from it is not interpreted.
void interpreted_q()
{
    stack::set_last(logic::make(stack::top_frame()->is_from_evaluator() && !series::library_state.running));
}

// Keeps float!'s pretty flag in step with system/options/float/pretty?.
void set_float_pretty()
{
    float_::state.pretty = logic::get(*natives::argument(0));
    stack::set_last(*natives::argument(0));
}

// The page that about/debug sends users of a build without a source-control record to.
void download_page()
{
    stack::set_last(string::from_utf8(build_settings::download_page));
}

}
