// The parse engine's collecting: collect opens a frame that keep puts values into, a block of its own or a
// series named by collect into and collect after; a finished block goes to the enclosing collect, to a
// word, or becomes the run's result.

#include <algorithm>
#include <cstring>

#include "datatypes/block.h"
#include "datatypes/integer.h"
#include "datatypes/none.h"
#include "datatypes/registry.h"
#include "datatypes/series.h"
#include "datatypes/word.h"
#include "interpreter/parse/engine.h"
#include "runtime/errors.h"
#include "runtime/type_families.h"

namespace xol::parse {

void Engine::check_target(Cell const& target) const
{
    TypeId const type = cell::type_of(target);
    if (type_ids::is_series(type) && is_any_input(target.word2)) fire_error(err::script::parse_into_bad);
    TypeId const input = cell::type_of(*m_input);
    bool const series = type_ids::is_series(type) && type != type_ids::vector && type != type_ids::image;
    bool const refused
        = type != input && (type == type_ids::binary || (type_ids::is_text(type) && m_kind == InputKind::Cells));
    if (!series || refused) fire_error(err::script::parse_into_type);
}

void Engine::open_collect(CollectKind kind, Cell const& word, Cell const& target)
{
    Rooted block(none_value);
    if (kind == CollectKind::Block || kind == CollectKind::Set) block::make_at(*block, 8);
    stacks.collects.push_back(CollectFrame { kind, *block, kind == CollectKind::Set ? word : target });
}

void Engine::complete_collect()
{
    --m_collect_depth;
    CollectFrame const frame = stacks.collects.back();
    Rooted block(frame.block);
    Rooted target(frame.target);
    stacks.collects.pop_back();
    switch (frame.kind) {
    case CollectKind::Set:
        word::set(*target, *block);
        break;
    case CollectKind::Into:
    case CollectKind::After:
        break; // the values are in the series already
    case CollectKind::Block:
        if (stacks.collects.size() > m_collects_head) {
            keep_value(stacks.collects.size() - 1, *block);
        } else if (m_collected) {
            // A later outermost collect adds its block to the first one's, which stays the result.
            block::rs_append(*m_result, *block);
        } else {
            *m_result = *block;
            m_collected = true;
        }
        break;
    }
}

void Engine::complete_keep(Entry const& entry)
{
    if (!m_match) return;
    std::size_t const frame = stacks.collects.size() - 1;
    if (stacks.collects[frame].kind == CollectKind::Into || stacks.collects[frame].kind == CollectKind::After) {
        // The input may be another series than at the collect (into).
        Rooted target(stacks.collects[frame].target);
        check_target(*target);
    }
    if (entry.command == Command::KeepParen) {
        Rooted value(*m_paren_value);
        if (!entry.pick || cell::type_of(*value) != type_ids::block) {
            keep_value(frame, *value);
            return;
        }
        for (std::uint32_t i = series::index_of(*value); i < series::rs_total_length(*value); ++i) {
            Rooted item(series::buffer_of(*value)->head_cell()[i]);
            keep_value(frame, *item);
        }
        return;
    }
    if (entry.finished == Command::Copy) {
        Rooted value(value_of(entry.cell));
        keep_value(frame, *value);
        return;
    }
    std::uint32_t const from = std::min(entry.input_index, total());
    std::uint32_t const to = index();
    if (to <= from) return;
    if (to - from == 1 || entry.pick) {
        for (std::uint32_t place = from; place < to && place < total(); ++place) {
            Rooted item(element_at(place));
            keep_value(frame, *item);
        }
        return;
    }
    charge(to - from);
    if (copy_units_into(frame, from, to)) return;
    Rooted stretch(copy_part(input_at(from), to - from));
    keep_value(frame, *stretch);
}

// One value into the frame: appended to its block, or put into its series with the series' own insert
// (at the index for into, which then moves past it; at the tail for after). May allocate.
void Engine::keep_value(std::size_t frame, Cell const& given)
{
    if (stacks.collects[frame].kind == CollectKind::Block || stacks.collects[frame].kind == CollectKind::Set) {
        // The frame's block is marked through the stacks, and the append roots the value before it grows
        // the block.
        block::rs_append(stacks.collects[frame].block, given);
        return;
    }
    Rooted value(given);
    CollectFrame const kept = stacks.collects[frame];
    Rooted target(kept.target);
    TypeId const type = cell::type_of(*target);
    auto const insert = datatype::is_registered(type) ? datatype::actions(type).insert : nullptr;
    if (!insert) fire_error(err::internal::not_done);
    Cell const after = insert(*target, *value, -1, true, 1, kept.kind == CollectKind::After);
    if (kept.kind == CollectKind::Into) stacks.collects[frame].target.word1 = series::index_of(after);
}

// A stretch of text (or bytes) kept into a text (or binary!) series of the same unit goes in as raw units,
// without a value made in between. Answers false when the frame or the units do not allow it. May allocate.
bool Engine::copy_units_into(std::size_t frame, std::uint32_t from, std::uint32_t to)
{
    if (stacks.collects[frame].kind != CollectKind::Into && stacks.collects[frame].kind != CollectKind::After)
        return false;
    CollectFrame const kept = stacks.collects[frame];
    TypeId const type = cell::type_of(kept.target);
    bool const text = type_ids::is_text(type) && m_kind == InputKind::Text;
    bool const bytes = type == type_ids::binary && m_kind == InputKind::Binary;
    if (!text && !bytes) return false;
    if (series::buffer_of(kept.target)->unit() != series::buffer_of(*m_input)->unit()) return false;

    Rooted target(kept.target);
    std::uint32_t const count = to - from;
    std::uint32_t length = series::rs_total_length(*target);
    std::uint32_t place = kept.kind == CollectKind::After || length == 0 ? length : std::min(target->word1, length);
    series::tell_owner(*target, "insert", nullptr, static_cast<std::int32_t>(place), 0);
    // The owner's handler may have changed either series.
    SeriesBuffer* source = series::buffer_of(*m_input);
    if (source->unit() != series::buffer_of(*target)->unit() || to > source->length()) {
        series::tell_owner(*target, "inserted", nullptr, static_cast<std::int32_t>(place), 0);
        return false;
    }
    length = series::rs_total_length(*target);
    place = std::min(place, length);
    SeriesBuffer* buffer = series::buffer_of(*target);
    std::uint32_t const shift = buffer->unit_shift();
    std::uint64_t const bytes_needed = std::uint64_t { count } << shift;
    if (buffer->tail + bytes_needed > buffer->capacity) {
        std::uint64_t const used = buffer->tail - buffer->head;
        if (used + bytes_needed > memory::max_capacity) fire_error(err::internal::no_memory);
        series::expand(
            target->word2, std::min<std::uint64_t>(std::max(used * 2, used + bytes_needed + 16), memory::max_capacity));
        buffer = series::buffer_of(*target);
    }
    source = series::buffer_of(*m_input);
    std::byte* at = buffer->head_address() + (std::size_t { place } << shift);
    std::memmove(at + bytes_needed, at, std::size_t { length - place } << shift);
    std::memcpy(at, source->head_address() + (std::size_t { from } << shift), static_cast<std::size_t>(bytes_needed));
    buffer->tail += static_cast<std::uint32_t>(bytes_needed);
    series::tell_owner(
        *target, "inserted", nullptr, static_cast<std::int32_t>(place), static_cast<std::int32_t>(count));
    if (kept.kind == CollectKind::Into) stacks.collects[frame].target.word1 = place + count;
    return true;
}

}
