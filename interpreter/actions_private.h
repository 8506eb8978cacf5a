// The action entries' shared helpers: the slot look-up with its error, and the reading of refinement
// positions from the current call frame.
#pragma once

#include <cstdint>

#include "datatypes/logic.h"
#include "datatypes/registry.h"
#include "runtime/stack.h"

namespace xol::actions::detail {

// Raises script expect-arg: the calling word, the datatype, and the word of the caller's first argument.
[[noreturn]] void fire_not_allowed(TypeId type);

// The slot of `type` for one action; an empty slot raises expect-arg for that type.
template <typename Function> Function lookup(TypeId type, Function TypeActions::*slot)
{
    // An unregistered type reads an all-empty row, as does an id past the table.
    Function const found = datatype::is_registered(type) ? datatype::actions(type).*slot : nullptr;
    if (!found) fire_not_allowed(type);
    return found;
}

template <typename Function> Function lookup_of(Cell const& value, Function TypeActions::*slot)
{
    return lookup(cell::type_of(value), slot);
}

// Argument cells of the running call. They sit on the value stack, which never moves and is marked at
// every collection, so slots may take them by reference.
inline Cell& argument(std::uint32_t index)
{
    return stack::state.base[index];
}

inline bool used(std::int32_t position)
{
    return position >= 0;
}

// A refinement with arguments: its first argument cell, nullptr when unused. Its arguments can never
// begin at the base (the first mandatory argument lives there), so a position of 0 counts as unused too.
inline Refinement refinement_argument(std::int32_t position)
{
    return position > 0 ? stack::state.base + position : nullptr;
}

inline void set_result(Cell const& result)
{
    stack::set_last(result);
}

// The entries made for one slot, by the slot's type. The action table checks at compile time that each
// stands at its slot's own index.

// The arithmetic and the index moves: the slot reads the frame and writes the result itself.
template <action_types::FromFrame TypeActions::*Slot> void from_frame(std::int32_t const*)
{
    lookup_of(argument(0), Slot)();
}

// One argument, and the slot's answer is the result.
template <action_types::Unary TypeActions::*Slot> void unary(std::int32_t const*)
{
    Cell const& value = argument(0);
    set_result(lookup_of(value, Slot)(value));
}

// One argument, and the slot's answer as a logic! is the result.
template <action_types::Predicate TypeActions::*Slot> void predicate(std::int32_t const*)
{
    Cell const& value = argument(0);
    set_result(logic::make(lookup_of(value, Slot)(value)));
}

// The other entries; each reads the frame and writes the base cell.
void make(std::int32_t const*);
void random(std::int32_t const*);
void reflect(std::int32_t const*);
void to(std::int32_t const*);
void form(std::int32_t const*);
void mold(std::int32_t const*);
void eval_path(std::int32_t const*);
void compare(std::int32_t const*);
void round(std::int32_t const*);
void append(std::int32_t const*);
void change(std::int32_t const*);
void copy(std::int32_t const*);
void find(std::int32_t const*);
void insert(std::int32_t const*);
void length_q(std::int32_t const*);
void move(std::int32_t const*);
void pick(std::int32_t const*);
void poke(std::int32_t const*);
void put(std::int32_t const*);
void remove(std::int32_t const*);
void reverse(std::int32_t const*);
void select(std::int32_t const*);
void sort(std::int32_t const*);
void swap(std::int32_t const*);
void take(std::int32_t const*);
void trim(std::int32_t const*);
void modify(std::int32_t const*);
void open(std::int32_t const*);
void read(std::int32_t const*);
void rename(std::int32_t const*);
void write(std::int32_t const*);

}
