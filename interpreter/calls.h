// Calls of function values: natives, actions, functions and routines, with their arguments fetched from the
// code that follows (evaluated, literal or quoted), checked against the typesets of their spec, and their
// refinements taken from a path or from apply's values.
#pragma once

#include <cstdint>

#include "datatypes/function.h"
#include "interpreter/evaluator.h"
#include "runtime/cell.h"

namespace xol::interp {

// How the values after a function are read as its arguments.
enum CallMode : std::uint32_t {
    call_evaluate = 0, // the following expressions; refinements come from a path
    call_apply_all = 1, // apply/all: every argument and refinement in spec order
    call_apply_named = 2, // apply: mandatory arguments, then named refinements
    call_safer = 4, // with apply's modes: each argument from exactly one cell
};

// One call as the evaluator hands it over.
struct CallSite {
    Code const& code; // where the arguments are read
    std::uint32_t position; // the first argument's position
    Cell const* path; // the path the function was reached through (its refinements); nullptr when none
    std::uint32_t path_rest; // in `path`, the index of the first refinement element
    Cell const* name; // the word that named the function; nullptr for a literal function value
    Cell const* object; // the object! a path reached the function through; nullptr when none
    std::uint32_t mode; // CallMode bits
    bool infix; // the first argument is already on the stack
    bool pushed; // the result is pushed, else stored in the caller's arguments base
};

// Calls any function value; answers the position after its arguments. May allocate.
std::uint32_t call_by_type(Cell const& function, CallSite const& site);

// Calls a native or action whose arguments are already the top cells of the value stack (an operator whose
// right operand was evaluated ahead); checks their types, and leaves the result in place of the first.
// May allocate.
void call_pushed(Cell const& function, Cell const& name);

// Runs a function! whose arguments (and locals) the caller pushed after pushing a function call frame
// (stack::push_call_frame) for it; slots the caller did not push are filled (false for refinements, none!
// otherwise) before the body runs. The result is left in the frame's base cell. `event_mask` limits
// tracing during the call (0: no limit). May allocate.
void call_function(Cell const& function, NodeId object_context, Cell const& name, std::uint32_t event_mask);

// The argument descriptor block of a function value, built from its spec on first use and cached in its
// record. May allocate.
Cell descriptors(Cell const& function);

// The shape of a call from code without a refinement path (built with the descriptors): known once built;
// simple when the entries before the first refinement or locals count are all evaluated arguments (or the
// result's type); whether any entry follows them; the number of those leading entries. Sets
// `descriptor_node` to the descriptors' node. May allocate (the first time).
inline constexpr std::uint32_t call_shape_known = 0x80000000;
inline constexpr std::uint32_t call_shape_simple = 0x40000000;
inline constexpr std::uint32_t call_shape_trailing = 0x20000000; // refinements or locals follow
inline constexpr std::uint32_t call_shape_leading_mask = 0xFFFF;
std::uint32_t build_call_shape(Cell const& function, NodeId& descriptor_node);
// Inline for the known shape, read at every call.
inline std::uint32_t call_shape(Cell const& function, NodeId& descriptor_node)
{
    Cell const& cached = function::record_cell(function, 1);
    if (cell::type_of(cached) == type_ids::block && cached.word3 != 0) {
        descriptor_node = cached.word2;
        return cached.word3;
    }
    return build_call_shape(function, descriptor_node);
}

// native! and action!: the built-in callables, whose refinements arrive as positions.
inline bool is_native_like(TypeId type)
{
    return type == type_ids::native || type == type_ids::action;
}
// The most refinements a built-in callable may have (the built-ins have at most 11).
inline constexpr std::int32_t max_native_refinements = 16;

// Descriptor entries: typesets whose header bits 20-21 hold the argument kind.
enum class ArgumentKind : std::uint32_t { Evaluated = 0, Literal = 1, Quoted = 2, NotFetched = 3 };
inline constexpr std::uint32_t argument_kind_shift = 20;
inline ArgumentKind argument_kind(Cell const& entry)
{
    return static_cast<ArgumentKind>((entry.header >> argument_kind_shift) & 3);
}

}
