// transcode: the source's length and position settled, the lexer run over it, and the result shaped by
// the refinements.

#include "interpreter/lexer/transcode.h"

#include <algorithm>
#include <exception>

#include "datatypes/block.h"
#include "datatypes/datatype.h"
#include "datatypes/none.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/unset.h"
#include "interpreter/lexer/lexer.h"
#include "runtime/assert.h"
#include "runtime/errors.h"
#include "runtime/stack.h"

namespace xol::lexer {

namespace {

// Cells pushed for the length of a call: the value stack is marked by every collection and never moves.
// An error unwinding through the call has already cut the stack back below them.
class StackCells {
public:
    StackCells()
        : m_count_before(stack::index_of(stack::state.top))
        , m_unwinding_before(std::uncaught_exceptions())
    {
    }
    ~StackCells()
    {
        std::uint32_t const count_now = stack::index_of(stack::state.top);
        if (std::uncaught_exceptions() == m_unwinding_before && count_now > m_count_before)
            stack::pop(count_now - m_count_before);
    }
    StackCells(StackCells const&) = delete;
    StackCells& operator=(StackCells const&) = delete;

    Cell* push(Cell const& value) { return stack::push(value); }

private:
    std::uint32_t m_count_before;
    int m_unwinding_before;
};

bool same_kind(TypeId source, TypeId position)
{
    if (source == type_ids::binary) return position == type_ids::binary;
    return string::is_text_type(position);
}

// The units to scan from the source's index: all of them, a /part length, or up to a /part position,
// always within what the source holds.
std::uint32_t length_to_scan(Cell const& source, Cell const* part)
{
    std::uint32_t const available = series::rs_total_length(source) - source.word1;
    if (!part) return available;
    if (cell::type_of(*part) == type_ids::integer) {
        std::int32_t const length = cell::integer_payload(*part);
        return length <= 0 ? 0 : std::min(static_cast<std::uint32_t>(length), available);
    }
    if (!same_kind(cell::type_of(source), cell::type_of(*part))) fire_error(err::script::not_same_type);
    std::uint32_t const end = std::min(part->word1, series::rs_total_length(*part));
    return end <= source.word1 ? 0 : std::min(end - source.word1, available);
}

bool starts_with_byte_order_mark(Cell const& binary, std::uint32_t length)
{
    if (length <= 2) return false;
    std::byte const* bytes = series::buffer_of(binary)->head_address() + binary.word1;
    return bytes[0] == std::byte { 0xEF } && bytes[1] == std::byte { 0xBB } && bytes[2] == std::byte { 0xBF };
}

}

Cell transcode(Cell const& source, TranscodeOptions const& options)
{
    TypeId const source_type = cell::type_of(source);
    XOL_ASSERT(source_type == type_ids::binary || string::is_text_type(source_type), "transcode of a non-text");
    bool const binary = source_type == type_ids::binary;
    StackCells cells;
    Cell* result = cells.push(unset_value);
    Cell* scanned = cells.push(none_value);
    Cell* input = cells.push(source);
    Cell* into = options.into ? cells.push(*options.into) : nullptr;
    Cell const* trace = cells.push(options.trace ? *options.trace : none_value);

    input->word1 = std::min(input->word1, series::rs_total_length(*input));
    std::uint32_t length = length_to_scan(*input, options.part);
    if (binary && starts_with_byte_order_mark(*input, length)) {
        input->word1 += 3;
        length -= 3;
    }
    bool const type_only = options.prescan || options.scan;
    bool const two_cells = options.next && !(options.one && !options.scan);
    if (type_only && length == 0) return none_value;

    ScanOptions const scan_options {
        .one_value = options.next || options.one || options.scan,
        .load = !options.prescan,
        .make_result = !type_only,
    };
    std::uint32_t consumed = 0;
    std::int32_t const type = binary
        ? scan_bytes(*scanned, *input, length, scan_options, &consumed, *trace, into)
        : load_string(*scanned, *input, static_cast<std::int32_t>(length), scan_options, &consumed, *trace, into);
    if (type_only)
        *scanned = type > 0 ? datatype::make(static_cast<TypeId>(type))
            : type == 0     ? none_value
                            : datatype::make(type_ids::error);
    if (two_cells) {
        Cell* value = cells.push(*scanned);
        Cell* rest = cells.push(*input);
        rest->word1 += consumed;
        block::make_from_run(*result, value, 2, type_ids::block);
    } else {
        *result = *scanned;
    }
    return into ? *into : *result;
}

}
