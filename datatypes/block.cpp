// block!: the runtime functions on cell series, the makers, make and to, compare and the path step.
// Everything that grows a buffer roots the cells it was given first, and takes cell addresses again after
// each allocation: a buffer may move at any allocation.

#include "datatypes/block.h"

#include <algorithm>
#include <cstring>

#include "datatypes/block_private.h"
#include "datatypes/compare.h"
#include "datatypes/datatype.h"
#include "datatypes/hash.h"
#include "datatypes/integer.h"
#include "datatypes/map.h"
#include "datatypes/none.h"
#include "datatypes/object.h"
#include "datatypes/registry.h"
#include "datatypes/runtime_words.h"
#include "datatypes/symbol.h"
#include "datatypes/typeset.h"
#include "datatypes/unset.h"
#include "datatypes/vector.h"
#include "runtime/cycles.h"
#include "runtime/errors.h"
#include "runtime/services.h"
#include "runtime/stack.h"
#include "runtime/type_families.h"

namespace xol::block {

namespace detail {

BlockState state;

void reserve(NodeId node, std::uint64_t extra, bool double_growth)
{
    SeriesBuffer* buffer = node::buffer(node);
    if (std::uint64_t { buffer->tail } + extra * sizeof(Cell) <= buffer->capacity) return;
    std::uint64_t const needed = std::uint64_t { buffer->tail - buffer->head } + extra * sizeof(Cell);
    if (needed > memory::max_capacity) fire_error(err::internal::no_memory);
    std::uint64_t const doubled = needed * 2;
    series::expand(node, double_growth && doubled <= memory::max_capacity ? doubled : needed);
}

void open_gap(NodeId node, std::uint32_t place, std::uint32_t count, bool double_growth)
{
    RootedNode kept(node); // the growth may move the node itself
    reserve(node, count, double_growth);
    SeriesBuffer* buffer = node::buffer(*kept);
    std::byte* at = buffer->head_address() + std::size_t { place } * sizeof(Cell);
    std::memmove(at + std::size_t { count } * sizeof(Cell), at, static_cast<std::size_t>(buffer->tail_address() - at));
    buffer->tail += count * static_cast<std::uint32_t>(sizeof(Cell));
}

void close_gap(NodeId node, std::uint32_t place, std::uint32_t count)
{
    SeriesBuffer* buffer = node::buffer(node);
    std::byte* at = buffer->head_address() + std::size_t { place } * sizeof(Cell);
    std::size_t const bytes = std::size_t { count } * sizeof(Cell);
    std::memmove(at, at + bytes, static_cast<std::size_t>(buffer->tail_address() - at) - bytes);
    buffer->tail -= static_cast<std::uint32_t>(bytes);
}

bool search_equal(Cell const& cell, Cell const& value, CompareOp op)
{
    return actions::compare_typed(cell, value, op) == 0;
}

bool typeset_has(Cell const& typeset, TypeId type)
{
    unsigned char bytes[12];
    std::memcpy(bytes, &typeset.word1, sizeof bytes);
    return (bytes[type >> 3] & (0x80u >> (type & 7))) != 0;
}

bool is_copyable(TypeId type)
{
    return series::is_series_type(type) || type == type_ids::bitset || type == type_ids::object
        || type == type_ids::error || type == type_ids::map;
}

Cell copy_typed(Cell const& value, bool deep, Refinement types)
{
    auto const copy_slot = datatype::actions(cell::type_of(value)).copy;
    if (!copy_slot) return value;
    return copy_slot(value, nullptr, deep, types);
}

}

using namespace detail;

namespace {

Cell make_value(TypeId type, NodeId node)
{
    return Cell { type, 0, node, 0 };
}

// Two blocks pushed on the cycle stack, dropped however the walk ends.
struct CyclePair {
    CyclePair(NodeId first, NodeId second)
    {
        cycles::push(first);
        cycles::push(second);
    }
    ~CyclePair() { cycles::drop(2); }
    CyclePair(CyclePair const&) = delete;
    CyclePair& operator=(CyclePair const&) = delete;
};

std::int32_t compare_each(Cell const& value1, Cell const& value2, CompareOp op)
{
    bool const same = value1.word2 == value2.word2 && value1.word1 == value2.word1;
    // Not the same answers 1, as every equality code does.
    if (op == CompareOp::Same) return same ? 0 : 1;
    if (same) return 0;
    if (cycles::find(value1.word2)) return cycles::find(value2.word2) ? 0 : -1;
    std::uint32_t const length1 = rs_length_q(value1);
    std::uint32_t const length2 = rs_length_q(value2);
    if (length1 != length2 && actions::is_equality(op)) return 1; // same? answered above

    CyclePair const guard(value1.word2, value2.word2);
    std::uint32_t const start1 = position_of(value1);
    std::uint32_t const start2 = position_of(value2);
    std::int32_t answer = 0;
    for (std::uint32_t i = 0; i < std::min(length1, length2) && answer == 0; ++i) {
        Cell const cell1 = cell_at(value1, start1 + i);
        Cell const cell2 = cell_at(value2, start2 + i);
        TypeId const type1 = cell::type_of(cell1);
        TypeId const type2 = cell::type_of(cell2);
        if (type1 == type2 || (type_ids::is_all_word(type1) && type_ids::is_all_word(type2))
            || (type_ids::is_number(type1) && type_ids::is_number(type2)))
            answer = actions::compare_typed(cell1, cell2, op);
        else
            return type1 < type2 ? -1 : 1;
    }
    if (answer != 0) return answer;
    return length1 < length2 ? -1 : length1 > length2 ? 1 : 0;
}

// A shallow copy of a cell series from its position, of `type`. May allocate.
Cell shallow_copy(Cell const& source, TypeId type)
{
    Cell* cloned = clone(source, false, false);
    Cell result = make_value(type, cloned->word2);
    stack::pop(1);
    return result;
}

}

// ---- Runtime functions on cell series ------------------------------------------------------------------

bool rs_next(Cell& value)
{
    std::uint32_t const total = total_of(value);
    if (value.word1 + 1 <= total) ++value.word1;
    return value.word1 == total;
}

void clear_at_index(Cell const& value)
{
    SeriesBuffer* buffer = buffer_of(value);
    if (value.word1 < buffer->length())
        buffer->tail = buffer->head + value.word1 * static_cast<std::uint32_t>(sizeof(Cell));
}

void rs_set_tail_at(Cell const& value, std::uint32_t n)
{
    SeriesBuffer* buffer = buffer_of(value);
    XOL_ASSERT(buffer->head + std::uint64_t { n } * sizeof(Cell) <= buffer->capacity, "block tail past the capacity");
    buffer->tail = buffer->head + n * static_cast<std::uint32_t>(sizeof(Cell));
}

Cell* rs_append(Cell const& block, Cell const& value)
{
    Rooted kept(value);
    Cell* cell = series::append_cell_raw(block.word2);
    *cell = *kept;
    return cell;
}

void remove_last(Cell& block)
{
    SeriesBuffer* buffer = buffer_of(block);
    if (buffer->tail == buffer->head) return;
    buffer->tail -= static_cast<std::uint32_t>(sizeof(Cell));
    if (block.word1 > buffer->length()) block.word1 = buffer->length();
}

void append_cells(Cell const& target, Cell const& source)
{
    Rooted kept_target(target);
    Rooted kept_source(source);
    std::uint32_t const count = rs_length_q(source);
    reserve(kept_target->word2, count, true);
    // Taken after the growth: appending a block to itself reads the cells from the new buffer.
    SeriesBuffer* into = buffer_of(*kept_target);
    std::memcpy(into->tail_cell(), rs_head(*kept_source), std::size_t { count } * sizeof(Cell));
    into->tail += count * static_cast<std::uint32_t>(sizeof(Cell));
}

void append_run(Cell const& target, Cell const* cells, std::uint32_t count)
{
    Rooted kept_target(target);
    reserve(kept_target->word2, count, true);
    SeriesBuffer* into = buffer_of(*kept_target);
    if (count > 0) std::memcpy(into->tail_cell(), cells, std::size_t { count } * sizeof(Cell));
    into->tail += count * static_cast<std::uint32_t>(sizeof(Cell));
}

Cell select_value(Cell const& block, Cell const& value)
{
    std::uint32_t const total = total_of(block);
    for (std::uint32_t i = position_of(block); i < total; ++i) {
        if (search_equal(cell_at(block, i), value, CompareOp::FindEqual))
            return i + 1 < total ? cell_at(block, i + 1) : none_value;
    }
    return none_value;
}

Cell select_word(Cell const& block, Cell const& word, bool case_sensitive)
{
    // Case variants of a spelling share its canonical symbol.
    auto const key = [case_sensitive](SymbolId symbol) { return case_sensitive ? symbol : symbol::resolve(symbol); };
    SymbolId const wanted = key(word.word2);
    std::uint32_t const total = total_of(block);
    for (std::uint32_t i = position_of(block); i < total; ++i) {
        Cell const& cell = cell_at(block, i);
        TypeId const type = cell::type_of(cell);
        if (type_ids::is_plain_word(type) && key(cell.word2) == wanted)
            return i + 1 < total ? cell_at(block, i + 1) : none_value;
    }
    return none_value;
}

bool remove_value(Cell const& block, Cell const& value, bool from_head)
{
    std::uint32_t const total = total_of(block);
    for (std::uint32_t i = from_head ? 0 : position_of(block); i < total; ++i) {
        if (search_equal(cell_at(block, i), value, CompareOp::FindEqual)) {
            close_gap(block.word2, i, 1);
            return i <= block.word1;
        }
    }
    return false;
}

void insert_value(Cell& block, Cell const& value, bool advance, bool at_head)
{
    Rooted kept_value(value);
    Rooted kept_block(block);
    std::uint32_t const place = at_head ? 0 : position_of(block);
    std::uint32_t const before = total_of(*kept_block);
    open_gap(kept_block->word2, place, 1, true);
    cell_at(*kept_block, place) = *kept_value;
    hash_::replaced(*kept_block, place, 0, 1, before);
    if (advance) block.word1 = (at_head ? block.word1 : place) + 1;
}

void insert_cells(Cell& block, Cell const& source)
{
    Rooted kept_source(source);
    Rooted kept_block(block);
    std::uint32_t const count = rs_length_q(source);
    if (count == 0) return;
    std::uint32_t const place = position_of(block);
    // A block inserted into itself is read from a copy: the gap would split it.
    bool const itself = source.word2 == block.word2;
    RootedNode from(itself ? series::copy_part(source.word2, position_of(source), count) : source.word2);
    std::uint32_t const from_index = itself ? 0 : position_of(*kept_source);
    open_gap(kept_block->word2, place, count, true);
    std::memcpy(&cell_at(*kept_block, place), node::buffer(*from)->head_cell() + from_index,
        std::size_t { count } * sizeof(Cell));
    block.word1 = place + count;
}

void insert_result()
{
    Cell* result = stack::state.base;
    insert_value(result[-1], result[0], true, false);
}

void append_second_arg()
{
    std::uint32_t const before = total_of(stack::state.base[0]);
    rs_append(stack::state.base[0], stack::state.base[1]);
    hash_::replaced(stack::state.base[0], before, 0, 1, before);
}

void append_result()
{
    rs_append(stack::state.base[-1], stack::state.base[0]);
}

Cell* clone(Cell const& value, bool deep, bool any_block)
{
    Rooted source(value);
    std::uint32_t const count = rs_length_q(value);
    Cell* result = push_new(static_cast<std::int32_t>(count));
    cell::set_type(*result, cell::type_of(*source));
    SeriesBuffer* into = buffer_of(*result);
    into->flags |= buffer_of(*source)->flags & series_flags::library & ~series::dropped_flags(series_flags::library);
    std::memcpy(into->head_cell(), rs_head(*source), std::size_t { count } * sizeof(Cell));
    into->tail = into->head + count * static_cast<std::uint32_t>(sizeof(Cell));
    if (!deep) return result;

    CycleEntry const guard(source->word2);
    for (std::uint32_t i = 0; i < count; ++i) {
        Cell const nested = cell_at(*result, i);
        TypeId const type = cell::type_of(nested);
        if (type != type_ids::block && !(any_block && is_any_block(type) && type != type_ids::hash)) continue;
        Cell* copied = clone(nested, true, any_block);
        // The nested clone keeps the nested cell's header: its type and its new-line marker.
        cell_at(*result, i) = Cell { nested.header, 0, copied->word2, 0 };
        stack::pop(1);
    }
    return result;
}

void find_type(
    Cell const& block, std::uint32_t first, std::uint32_t end, std::uint32_t step, bool deep, Cell const& types)
{
    Rooted kept(block);
    Rooted kept_types(types);
    bool const is_datatype = cell::type_of(types) == type_ids::datatype;
    for (std::uint32_t i = first; i < end && i < total_of(*kept); i += step) {
        Cell const cell = cell_at(*kept, i);
        TypeId const type = cell::type_of(cell);
        bool const matches = is_datatype ? type == datatype::get(*kept_types) : typeset_has(*kept_types, type);
        if (!matches || !is_copyable(type)) continue;
        Cell const copied = copy_typed(cell, deep, &*kept_types);
        cell_at(*kept, i) = copied;
    }
}

void clear_cells_bit30(NodeId node)
{
    SeriesBuffer* buffer = node::buffer(node);
    for (Cell* cell = buffer->head_cell(); cell < buffer->tail_cell(); ++cell) cell::clear_new_line(*cell);
}

// ---- Value makers --------------------------------------------------------------------------------------

void make_at(Cell& cell, std::int32_t n)
{
    cell = unset_value; // a collection during the allocation sees no half-made value
    NodeId const node = series::alloc_cells(static_cast<std::uint64_t>(std::max(n, 1)));
    cell = make_value(type_id, node);
}

void make_at_sized(Cell& cell, std::int32_t n, bool on_heap)
{
    cell = unset_value;
    std::uint64_t const count = static_cast<std::uint64_t>(std::max(n, 1));
    NodeId const node = on_heap ? series::alloc_on_heap(count, sizeof(Cell)) : series::alloc_cells_unset(count);
    cell = make_value(type_id, node);
}

Cell* make_in(Cell const* parent, std::int32_t n)
{
    if (!parent) {
        make_at_sized(state.scratch, n, true);
        return &state.scratch;
    }
    Rooted kept_parent(*parent);
    Rooted made(unset_value);
    make_at_sized(*made, n, true);
    return rs_append(*kept_parent, *made);
}

Cell* make_at_from(Cell const& container, std::int32_t n)
{
    TypeId const type = cell::type_of(container);
    if (!is_any_block(type) && type != type_ids::map) {
        make_at(state.scratch, n);
        return &state.scratch;
    }
    Rooted kept_container(container);
    Rooted made(unset_value);
    make_at(*made, n);
    return rs_append(*kept_container, *made);
}

void make_from_run(Cell& target, Cell const* cells, std::uint32_t count, TypeId type)
{
    target = unset_value;
    NodeId const node = series::alloc_cells(std::max<std::uint32_t>(count, 1));
    SeriesBuffer* buffer = node::buffer(node);
    if (count > 0) std::memcpy(buffer->head_cell(), cells, std::size_t { count } * sizeof(Cell));
    buffer->tail = buffer->head + count * static_cast<std::uint32_t>(sizeof(Cell));
    target = make_value(type, node);
}

Cell* push(Cell const& block)
{
    return stack::push(block);
}

Cell* push_as(Cell& cell, TypeId type)
{
    cell::set_type(cell, type);
    return stack::push(cell);
}

void make_at_as(Cell& cell, std::int32_t n, TypeId type)
{
    make_at(cell, n);
    cell::set_type(cell, type);
}

Cell* push_new(std::int32_t n)
{
    Cell* pushed = stack::push(unset_value);
    make_at(*pushed, n);
    return pushed;
}

// ---- Actions -------------------------------------------------------------------------------------------

namespace {

// An object's body (set-words and values, as reflect answers it) as a value of `type`. May allocate.
Cell object_body(Cell const& object, TypeId type)
{
    Cell body = object::reflect(object, words::symbol_of(words::Symbol::body));
    cell::set_type(body, type);
    return body;
}

}

Cell make(Cell const&, Cell const& spec, TypeId type)
{
    TypeId const spec_type = cell::type_of(spec);
    if (is_any_block(spec_type)) return shallow_copy(spec, type);
    if (spec_type == type_ids::integer || spec_type == type_ids::float_) {
        Cell made;
        make_at(made, number::to_int_checked(spec));
        cell::set_type(made, type);
        return made;
    }
    if (spec_type == type_ids::object) return object_body(spec, type);
    if (spec_type == type_ids::vector) {
        Cell made = vector::to_block(spec);
        cell::set_type(made, type);
        return made;
    }
    if (spec_type == type_ids::map) {
        Cell made = map::body_of(spec);
        cell::set_type(made, type);
        return made;
    }
    Cell const made_type = datatype::make(type);
    fire_error(err::script::bad_make_arg, &made_type, &spec);
}

Cell to(Cell const&, Cell const& spec, TypeId type)
{
    TypeId const spec_type = cell::type_of(spec);
    if (is_any_block(spec_type)) return shallow_copy(spec, type);
    if (spec_type == type_ids::string) {
        Rooted loaded(services.load_all(spec));
        cell::set_type(*loaded, type);
        return *loaded;
    }
    if (spec_type == type_ids::object) return object_body(spec, type);
    if (spec_type == type_ids::typeset) {
        Rooted names(unset_value);
        typeset::to_block(spec, *names);
        cell::set_type(*names, type);
        return *names;
    }
    if (spec_type == type_ids::vector) {
        Cell made = vector::to_block(spec);
        cell::set_type(made, type);
        return made;
    }
    if (spec_type == type_ids::map) {
        Cell made = map::body_of(spec);
        cell::set_type(made, type);
        return made;
    }
    Rooted value(spec);
    Cell made;
    make_at(made, 1);
    Rooted result(made);
    rs_append(*result, *value);
    cell::set_type(*result, type);
    return *result;
}

std::int32_t compare(Cell const& value1, Cell const& value2, CompareOp op)
{
    TypeId const type1 = cell::type_of(value1);
    TypeId const type2 = cell::type_of(value2);
    if (type1 != type2) {
        bool const path_pair = (type1 == type_ids::path && type2 == type_ids::lit_path)
            || (type1 == type_ids::lit_path && type2 == type_ids::path);
        bool const path_codes = op == CompareOp::FindPathEqual || op == CompareOp::FindStrictPathEqual;
        if (!path_pair || !path_codes) return compare_incomparable;
    }
    return compare_each(value1, value2, op);
}

Cell eval_path(PathStep const& step)
{
    TypeActions const& slots = datatype::actions(cell::type_of(step.value));
    if (cell::type_of(step.element) == type_ids::integer) {
        std::int32_t const index = integer::get(step.element);
        if (!step.new_value) return slots.pick(step.value, index, step.element);
        return slots.poke(step.value, index, step.element, *step.new_value);
    }
    FindOptions options {};
    options.case_sensitive = step.case_sensitive;
    if (!step.new_value) {
        if (cell::type_of(step.element) == type_ids::word && cell::type_of(step.value) != type_ids::hash)
            return select_word(step.value, step.element, step.case_sensitive);
        options.only = true;
        return slots.select(step.value, step.element, options);
    }
    Rooted value(step.value);
    Rooted element(step.element);
    Rooted new_value(*step.new_value);
    Cell const found = slots.find(*value, *element, options);
    if (cell::type_of(found) == type_ids::none)
        fire_error(err::script::bad_path_set, step.path ? step.path : &*value, &*element);
    Cell const second = integer::make(2);
    return datatype::actions(cell::type_of(found)).poke(found, 2, second, *new_value);
}

std::int32_t mold_nesting()
{
    return state.mold_nesting;
}

constexpr DatatypeRecord record {
    .id = type_id,
    .parent = series::type_id,
    .name = "block!",
    .actions = {
        .make = make,
        .random = inherit,
        .reflect = inherit,
        .to = to,
        .form = form,
        .mold = mold,
        .eval_path = eval_path,
        .compare = compare,
        .append = insert,
        .at = inherit,
        .back = inherit,
        .change = change,
        .clear = inherit,
        .copy = copy,
        .find = find,
        .head = inherit,
        .head_q = inherit,
        .index_q = inherit,
        .insert = insert,
        .length_q = inherit,
        .move = inherit,
        .next = inherit,
        .pick = inherit,
        .poke = inherit,
        .put = put,
        .remove = inherit,
        .reverse = inherit,
        .select = select,
        .sort = sort,
        .skip = inherit,
        .swap = swap,
        .tail = inherit,
        .tail_q = inherit,
        .take = take,
        .trim = trim,
        .modify = inherit,
    },
};

}
