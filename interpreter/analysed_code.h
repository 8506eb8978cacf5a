// Analysed code: a block walked as code again (a function body, a branch, a paren) is read once into a side
// form that says, per expression, what its cells are: a literal, a word read as a value, a word that calls a
// function with so many arguments, a paren, and the operators that follow. A walk with the form runs its
// expressions without finding that out again, and does exactly what the walk does.
//
// The form holds a copy of the cells it was read from and positions into them, never an address into a
// series nor a value the collector must see. It is used only while the block's cells are those of the copy:
// compared when a walk begins and again after anything that may have run code (a call, a paren, a part
// handed to the walk). Where they differ, or where a word no longer holds what the form expects (a variable
// now a function, a call's word now something else, an operator word no operator), the walk takes over from
// that point, with nothing of the expression there done yet. With tracing on the walk runs alone.
#pragma once

#include <cstdint>

#include "interpreter/evaluator.h"
#include "runtime/cell.h"

namespace xol::interp::analysed {

struct Form;

// The analysed form a walk of `series` may use (its cells from its index to `length`, the walk's end), held
// for the walk. Empty when there is none: tracing on, a block seen for the first time or too long, or
// nothing in it the form can hold.
class Use {
public:
    Use(Cell const& series, std::uint32_t length);
    ~Use();
    Use(Use const&) = delete;
    Use& operator=(Use const&) = delete;

    explicit operator bool() const { return m_form != nullptr; }

    // The statement at `position` (before the end), as expression(code, position, false, false, false)
    // evaluates it: its value stored in the arguments base. May allocate; may leave a transfer pending.
    std::uint32_t statement(Code const& code, std::uint32_t position);

private:
    Form* m_form = nullptr;
    bool m_valid = false; // the block's cells are still those of the form's copy
};

}
