// The frame-stack walks behind error traces and `collect-calls`.

#include "datatypes/error_trace.h"

#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/integer.h"
#include "datatypes/string.h"
#include "datatypes/word.h"
#include "runtime/roots.h"

namespace xol::stack {

namespace {

// A frame without a symbol (0) names nothing either.
bool is_internal(CallFrame const& frame)
{
    return frame.symbol == 0 || frame.symbol == state.body_symbol || frame.symbol == state.anonymous_symbol;
}

bool is_listed(CallFrame const& frame, std::int32_t level)
{
    if (is_internal(frame)) return false;
    if (level > 1) return true;
    Cell const* value = frame_word_value(frame);
    return value && cell::type_of(*value) == type_ids::function;
}

// A trace reaches no higher than the frames that are still active: the records above the top may name
// contexts the collector has since reclaimed.
std::uint32_t active_end(std::uint32_t end)
{
    auto const active = static_cast<std::uint32_t>(state.frame_top - state.frame_bottom);
    return end < active ? end : active;
}

// Where a trace starts: at the newest floor frame below `end` (the do of the user's code), else at the bottom.
std::uint32_t trace_start(std::uint32_t end)
{
    for (std::uint32_t i = end; i > 0; --i)
        if (state.frame_bottom[i - 1].header & CallFrame::trace_floor_flag) return i - 1;
    return 0;
}

Cell frame_word(CallFrame const& frame)
{
    Cell word = cell::make(type_ids::word, frame.word_context, frame.symbol, word::unresolved);
    if (frame.word_context != no_node) {
        std::int32_t const slot = context::find_word(frame.word_context, frame.symbol, true);
        if (slot >= 0) word.word3 = static_cast<std::uint32_t>(slot);
    }
    return word;
}

}

Cell const* frame_word_value(CallFrame const& frame)
{
    if (frame.symbol == 0) return nullptr;
    NodeId context = frame.word_context;
    if (context == no_node || context::is_on_stack(context) || !context::has_values(context))
        context = context::global();
    std::int32_t const slot = context::find_word(context, frame.symbol, true);
    if (slot < 0) return nullptr;
    return context::value_cell(context, static_cast<std::uint32_t>(slot));
}

void trace_words(std::int32_t level, Cell const& given_block, std::uint32_t end)
{
    Rooted block(given_block);
    for (std::uint32_t i = trace_start(active_end(end)); i < active_end(end); ++i) {
        CallFrame const& frame = state.frame_bottom[i];
        if (!is_listed(frame, level)) continue;
        Rooted word(frame_word(frame));
        block::rs_append(*block, *word);
    }
}

std::int32_t trace_text(std::int32_t level, std::uint32_t end, Cell& string, std::int32_t limit)
{
    for (std::uint32_t i = trace_start(active_end(end)); i < active_end(end); ++i) {
        CallFrame const& frame = state.frame_bottom[i];
        if (!is_listed(frame, level)) continue;
        Rooted word(frame_word(frame));
        limit = word::form(*word, string, nullptr, limit);
        limit = string::append_ascii(string, " ", limit);
    }
    return limit;
}

void collect_calls(Cell const& given_block)
{
    Rooted block(given_block);
    if (!has_frames()) return;
    for (std::uint32_t i = static_cast<std::uint32_t>(state.frame_top - state.frame_bottom) - 1; i >= 1; --i) {
        CallFrame const frame = state.frame_bottom[i];
        if (frame.header & CallFrame::trace_floor_flag) break;
        if (is_internal(frame)) continue;
        NodeId const context = frame.function_context != no_node ? frame.function_context : context::global();
        Rooted word(context::get_or_add(context, frame.symbol));
        block::rs_append(*block, *word);
        Rooted base(integer::make(static_cast<std::int32_t>(frame.saved_base)));
        block::rs_append(*block, *base);
    }
}

}
