// op!: make, form, mold and compare.

#include "datatypes/op.h"

#include "datatypes/block.h"
#include "datatypes/datatype.h"
#include "datatypes/function.h"
#include "datatypes/runtime_words.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "runtime/errors.h"
#include "runtime/roots.h"
#include "runtime/type_families.h"

namespace xol::op {

namespace {

// Every function but an op! itself.
bool is_wrappable(TypeId type)
{
    return type_ids::is_function(type) && type != type_ids::op;
}

bool is_refinement_named(Cell const& value, words::RefinementWord name)
{
    return symbol::resolve(value.word2) == symbol::resolve(words::refinement_of(name).word2);
}

}

bool valid_spec_q(Cell const& spec)
{
    SeriesBuffer* buffer = node::buffer(spec.word2);
    std::int32_t count = 0;
    bool word_seen = false;
    for (std::uint32_t i = spec.word1; i < buffer->length(); ++i) {
        Cell const& item = buffer->head_cell()[i];
        switch (cell::type_of(item)) {
        case type_ids::word:
            word_seen = true;
            ++count;
            break;
        case type_ids::lit_word:
        case type_ids::get_word:
            if (!word_seen) return false;
            ++count;
            break;
        case type_ids::set_word:
            return count == 2;
        case type_ids::refinement:
            if (is_refinement_named(item, words::RefinementWord::local)
                || is_refinement_named(item, words::RefinementWord::extern_))
                return count == 2;
            return false;
        default:
            break;
        }
    }
    return count == 2;
}

Cell make(Cell const&, Cell const& given, TypeId)
{
    TypeId const type = cell::type_of(given);
    if (!is_wrappable(type)) {
        Cell const type_value = datatype::make(type);
        fire_error(err::script::invalid_type, &type_value);
    }
    // Every wrappable value keeps its spec node in word 2; the spec starts at its buffer's head.
    if (!valid_spec_q(cell::make(type_ids::block, 0, given.word2, 0))) fire_error(err::script::bad_op_spec);
    if (type_ids::is_context_function(type)) function::record_cell(given, function::op_value_cell) = given;
    return Cell { (static_cast<std::uint32_t>(type) << 16) + type_id, given.word1, given.word2, given.word3 };
}

std::int32_t form(Cell const&, Cell& buffer, Refinement, std::int32_t limit)
{
    return string::append_ascii(buffer, "?op?", limit);
}

// An op of a function reads as the function's own text after "make op! "; any other closes a bracket
// around its spec.
std::int32_t mold(Cell const& value, Cell& buffer, bool only, bool all, bool flat, Refinement part, std::int32_t limit,
    std::int32_t indent)
{
    Rooted kept(value);
    bool const is_function = wrapped_type(*kept) == type_ids::function;
    limit = string::append_ascii(buffer, "make op! ", limit);
    limit = string::append_ascii(buffer, is_function ? "func " : "[", limit);
    limit = block::mold(function::spec_block(*kept), buffer, only, all, flat, part, limit, indent);
    if (!is_function) return string::append_ascii(buffer, "]", limit);
    Cell const body = function::record_cell(*kept, function::body_cell);
    if (cell::type_of(body) != type_ids::block) return limit;
    return block::mold(body, buffer, only, all, flat, part, limit, indent);
}

std::int32_t compare(Cell const& value1, Cell const& value2, CompareOp op)
{
    if (cell::type_of(value2) != type_id) return compare_incomparable;
    return function::compare_identities(value1.word1, value2.word1, op);
}

constexpr DatatypeRecord record {
    .id = type_id,
    .parent = type_ids::native,
    .name = "op!",
    .actions = {
        .make = make,
        .reflect = inherit,
        .form = form,
        .mold = mold,
        .compare = compare,
    },
};

}
