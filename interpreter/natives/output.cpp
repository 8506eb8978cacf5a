// print and prin: a value's text handed to the output layer's value printers. The natives never write to
// the console themselves, so whoever registers a printer (the console, a GUI) sees every printed line.

#include "runtime/output.h"
#include "datatypes/block.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/typed_actions.h"
#include "datatypes/unset.h"
#include "interpreter/natives/entries.h"
#include "interpreter/natives/natives.h"

namespace xol::natives {

namespace {

// The stretch of the print buffer one print of a block reduces into: from the buffer's tail at entry. The
// buffer is shared by nested prints (a function called from a printed block may print), so each claims
// the part after the values of the prints around it, and gives it back however it ends: an error, break
// or throw out of the printed block leaves the buffer as the call found it.
class BufferClaim {
public:
    BufferClaim()
        : m_index(series::index_of(state.print_buffer))
        , m_start(series::rs_total_length(state.print_buffer))
    {
        series::set_index(state.print_buffer, m_start);
    }
    ~BufferClaim()
    {
        block::rs_set_tail_at(state.print_buffer, m_start);
        series::set_index(state.print_buffer, m_index);
    }
    BufferClaim(BufferClaim const&) = delete;
    BufferClaim& operator=(BufferClaim const&) = delete;

private:
    std::uint32_t m_index;
    std::uint32_t m_start;
};

// Hands the text of `value` to the value printers. A string! is printed as it is (its index clamped to its
// tail); anything else is formed first into a new string kept in a value-stack cell, which the printers
// may not outlive. May allocate.
void print_text(Cell* value, bool newline)
{
    if (cell::type_of(*value) == type_ids::string) {
        series::set_index(*value, string::clamped_index(*value));
        output_hooks::run_value_printers(*value, newline);
        return;
    }
    Cell* const text = stack::push(unset_value);
    string::make_at(*text, 16);
    actions::form_typed(*value, *text, nullptr, 0);
    output_hooks::run_value_printers(*text, newline);
}

// The shared body of print and prin, on the value in the first argument cell. A block is reduced into the
// print buffer first and its values are formed together. May allocate.
void print_value(bool newline)
{
    Cell* const base = stack::state.base;
    if (cell::type_of(base[0]) == type_ids::block) {
        BufferClaim const claim;
        stack::keep_first();
        stack::push(state.print_buffer); // reduce's /into target: the buffer at this call's start
        std::int32_t const into[] = { 1 };
        reduce(into);
        base[0] = state.print_buffer; // its index still marks this call's start: nested prints restored it
        stack::keep_first();
        print_text(base, newline);
    } else {
        print_text(base, newline);
    }
    state.last_line_ended = newline;
    stack::set_only_result(unset_value);
}

}

void print(std::int32_t const*)
{
    print_value(true);
}

void prin(std::int32_t const*)
{
    print_value(false);
}

}
