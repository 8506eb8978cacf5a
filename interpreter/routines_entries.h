// The entries of the routines table, by topic; routines.cpp lists them in its rows.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "datatypes/logic.h"
#include "interpreter/natives/natives.h"
#include "runtime/cell.h"
#include "runtime/stack.h"

namespace xol::routines {

// A name given as a template argument, so that one body serves each typeset predicate.
template <std::size_t size> struct FixedName {
    char text[size] {};
    constexpr FixedName(char const (&given)[size]) { std::copy_n(given, size, text); }
    constexpr std::string_view view() const { return { text, size - 1 }; }
};

// Type predicates: whether the argument's datatype is `type`, or is in the typeset the word holds now.
template <TypeId type> void is_type()
{
    stack::set_last(logic::make(cell::type_of(*natives::argument(0)) == type));
}
// Where a typeset word was last found in the global context: its slot and the symbol the word list holds
// there, checked before each use, so the name is looked up only the first time.
struct GlobalSlot {
    bool known = false;
    std::uint32_t slot = 0;
    SymbolId symbol = 0;
};
void is_in_typeset(std::string_view typeset_word, GlobalSlot& found); // May allocate.
template <FixedName typeset_word> void typeset_predicate()
{
    static GlobalSlot found;
    is_in_typeset(typeset_word.view(), found);
}

// The collector's figures.
void gc_active_q();
void gc_series_cycles();
void gc_nodes_cycles();

// System routines.
void set_quiet(); // May allocate.
void set_slot_quiet();
void as_color(); // May allocate.
void as_ipv4(); // May allocate.
void count_chars();
void stack_size_q();
void pick_stack();
void frame_index_q();
void collect_calls(); // May allocate.
void tracing_q();
void trace_delivery();
void last_lf_q();
void interpreted_q();
void set_float_pretty();
void download_page(); // May allocate.

// Codec helpers.
void json_unescape(); // May allocate.
void json_decode(); // May allocate.
void json_encode(); // May allocate.
void csv_rows(); // May allocate.

// The text utilities' (split, replace, rejoin).
void split_text(); // May allocate.
void replace_text(); // May allocate.
void join_text(); // May allocate.

// The console's.
void console_do(); // May allocate.
void console_warn(); // writes its string! argument and a line end to standard error, once in a run
void stdin_terminal_q();

}
