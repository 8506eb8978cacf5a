// logic!: true and false (word 1 holds 1 or 0), and the truth tests every condition goes through: every
// value is true except none! and false; an unset! where a condition is required is an error.
#pragma once

#include "datatypes/action_table.h"

namespace xol {

// The shared logic! cells: code that needs the value in a cell copies them.
inline constexpr Cell true_value { type_ids::logic, 1, 0, 0 };
inline constexpr Cell false_value { type_ids::logic, 0, 0, 0 };

namespace logic {

inline constexpr TypeId type_id = type_ids::logic;

inline bool get(Cell const& value)
{
    return value.word1 != 0;
}
inline Cell make(bool flag)
{
    return flag ? true_value : false_value;
}
void make_at(Cell& cell, bool flag); // keeps the cell's header flags
Cell* push(bool flag);
Cell* make_in(Cell const& block, bool flag); // appended at the block's tail. May allocate.
Cell* set_result(bool flag); // into the current call's result cell; answers it

// The condition rule without the unset! check: false for none! and false, true for everything else.
inline bool true_q(Cell const& value)
{
    TypeId const type = cell::type_of(value);
    return type != type_ids::none && (type != type_ids::logic || value.word1 != 0);
}

// Compiled code's test after a condition: none! or false in the result cell. An unset! counts as true.
bool result_false_q();
// The same test, but an unset! result raises script no-return.
bool result_true_q();
// The truth of `value`; when `checked`, an unset! raises script no-value with `subject` (the caller's name
// for what was evaluated).
bool check_arg(Cell const& value, bool checked, Cell const& subject);
// The test on the top cell of the value stack.
bool top_false_q();
bool top_true_q();

extern DatatypeRecord const record; // no parent

}

}
