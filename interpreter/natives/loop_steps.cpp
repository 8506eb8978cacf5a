// The step routines of the loop natives and the positional word setter (see loops.h for the work cells).
//
// Word setting may run an object's on-change* handler, which may run any code: nothing here keeps an
// address into a series across a set, and the work cells live on the value stack, which never moves.

#include "interpreter/natives/loops.h"

#include <cmath>

#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/float.h"
#include "datatypes/image.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/map.h"
#include "datatypes/none.h"
#include "datatypes/registry.h"
#include "datatypes/series.h"
#include "datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/roots.h"
#include "runtime/stack.h"
#include "runtime/type_families.h"

namespace xol::natives {

namespace {

Cell* work_cell(std::uint32_t below)
{
    return stack::state.base - below;
}
Cell* loop_word()
{
    return work_cell(1);
}
Cell* cursor()
{
    return work_cell(2);
}
Cell* word_count()
{
    return work_cell(3);
}

// The series whose elements foreach reads one by one through pick.
bool is_picked_series(TypeId type)
{
    return type_ids::is_text(type) || type == type_ids::binary || type == type_ids::vector;
}

bool is_block_source(TypeId type)
{
    return series::is_cell_series(type) || type == type_ids::map;
}

// Word i (0-based) of the words block from its index, which must be a word the loops can set. A copy: the
// set writes its cached slot into it, and the block may change while a handler runs.
Cell settable_word(Cell const& words, std::uint32_t i)
{
    Cell const word = i < block::rs_length_q(words) ? block::rs_head(words)[i] : none_value;
    if (!type_ids::is_plain_word(cell::type_of(word))) fire_error(err::script::invalid_arg, &word);
    return word;
}

// Value i (0-based) of a block-like source from its index; none! past its tail.
Cell source_element(Cell const& source, std::uint32_t i)
{
    if (cell::type_of(source) == type_ids::map) {
        std::uint32_t const position = source.word1 + i;
        SeriesBuffer* pairs = node::buffer(map::block_of(source));
        return position < pairs->length() ? pairs->head_cell()[position] : none_value;
    }
    return i < block::rs_length_q(source) ? block::rs_head(source)[i] : none_value;
}

// The pick action of the series' type at a 1-based position.
Cell pick_at(Cell const& series, std::int32_t position)
{
    TypeId const type = cell::type_of(series);
    auto const pick = datatype::is_registered(type) ? datatype::actions(type).pick : nullptr;
    if (!pick) fire_error(err::internal::not_done);
    return pick(series, position, integer::make(position));
}

}

bool series_more_q(Cell const& series)
{
    TypeId const type = cell::type_of(series);
    if (type == type_ids::map) return map::more_q(series);
    if (type == type_ids::image) return series.word1 < image::pixel_count(series);
    if (!series::is_series_type(type)) fire_error(err::script::invalid_arg, &series);
    return !series::rs_tail_q(series);
}

bool foreach_next()
{
    if (!series_more_q(*cursor())) return false;
    TypeId const type = cell::type_of(*cursor());
    Cell const value = series::is_cell_series(type) ? *block::rs_head(*cursor()) : pick_at(*cursor(), 1);
    word::set(*loop_word(), value);
    ++cursor()->word1;
    return true;
}

bool foreach_next_block(std::int32_t count)
{
    if (count <= 0 || !series_more_q(*cursor())) return false;
    TypeId const type = cell::type_of(*cursor());
    if (is_picked_series(type)) {
        foreach_set_picked(*loop_word(), *cursor(), count);
    } else if (type == type_ids::map) {
        if (count != 2) fire_error(err::script::invalid_arg, loop_word());
        // The map's cursor moves past the pairs it read and the removed ones it skipped.
        map::set_words(*loop_word(), *cursor(), static_cast<std::uint32_t>(count));
        return true;
    } else if (type == type_ids::image) {
        image::foreach_set_words(*cursor(), *loop_word(), count);
    } else {
        set_many(*loop_word(), *cursor(), count, true, false, false);
    }
    cursor()->word1 += static_cast<std::uint32_t>(count);
    return true;
}

void set_many(Cell const& words, Cell const& source, std::int32_t count, bool any, bool only, bool some)
{
    Rooted kept_words(words);
    Rooted kept_source(source);
    auto const total = static_cast<std::uint32_t>(count > 0 ? count : 0);
    bool const by_position = is_block_source(cell::type_of(source)) && !only;
    // Every word and value is tested before the first set, so that a refused value sets nothing.
    if (by_position) {
        for (std::uint32_t i = 0; i < total; ++i) {
            Cell const word = settable_word(*kept_words, i);
            if (!any && cell::type_of(source_element(*kept_source, i)) == type_ids::unset)
                fire_error(err::script::need_value, &word);
        }
    }
    for (std::uint32_t i = 0; i < total; ++i) {
        Cell const value = by_position ? source_element(*kept_source, i) : *kept_source;
        if (some && cell::type_of(value) == type_ids::none) continue;
        // Tested again: a handler run by an earlier set may have changed the words block.
        Cell word = settable_word(*kept_words, i);
        word::set(word, value);
    }
}

void foreach_set_picked(Cell const& words, Cell const& source, std::int32_t count)
{
    Rooted kept_words(words);
    Rooted kept_source(source);
    for (std::int32_t i = 0; i < count; ++i) {
        // The words are tested as set tests them: a non-word's cell would be read as a binding.
        Cell word = settable_word(*kept_words, static_cast<std::uint32_t>(i));
        Cell const value = pick_at(*kept_source, i + 1);
        word::set(word, value);
    }
}

void remove_each_step(std::int32_t count)
{
    if (!logic::true_q(*stack::state.base)) return;
    Cell* const items = cursor();
    auto const visited = static_cast<std::uint32_t>(count);
    items->word1 = items->word1 > visited ? items->word1 - visited : 0;
    TypeId const type = cell::type_of(*items);
    auto const remove = datatype::is_registered(type) ? datatype::actions(type).remove : nullptr;
    if (!remove) fire_error(err::internal::not_done);
    Cell const rest = remove(*items, count == 1 ? nullptr : word_count(), nullptr);
    if (cell::type_of(rest) == type) items->word1 = rest.word1;
}

bool forall_tail_q(bool step)
{
    Cell* const value = word::get_value(*loop_word());
    if (step) {
        Cell const& saved = *cursor();
        if (cell::type_of(*value) != cell::type_of(saved) || value->word2 != saved.word2)
            fire_error(err::script::bad_loop_series, value);
        ++value->word1;
    }
    return !series_more_q(*value);
}

void forall_end()
{
    word::set(*loop_word(), *cursor());
}

void loop_count()
{
    count_to_integer(*stack::state.base);
}

void count_to_integer(Cell& cell)
{
    if (cell::type_of(cell) != type_ids::float_) return;
    double const whole = std::trunc(float_::get(cell));
    if (integer::check_float_range(whole)) fire_error(err::script::out_of_range, &cell);
    integer::make_at(cell, static_cast<std::int32_t>(whole));
}

void repeat_next(Cell& word)
{
    Cell* const value = word::get_value(word);
    if (cell::type_of(*value) != type_ids::integer) return;
    ++value->word2;
    NodeId const context = word::context_of(word);
    if (context != no_node && context::kind_of(context) == context::Kind::Object) {
        Cell const counter = *value;
        word::set(word, counter);
    }
}

}
