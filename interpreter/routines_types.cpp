// The routines that answer questions about values and the collector: one predicate per datatype, one per
// typeset word, and the collector's figures under system/state/GC.

#include "interpreter/routines_entries.h"

#include "datatypes/context.h"
#include "datatypes/datatype.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/typeset.h"
#include "datatypes/word.h"
#include "interpreter/natives/natives.h"
#include "runtime/collector.h"
#include "runtime/errors.h"
#include "runtime/stack.h"

namespace xol::routines {

namespace {

// The word's current value, read at each call, so that a script redefining a typeset word is followed.
// A value that is not a typeset has no bits to test: it is refused by its datatype.
Cell typeset_named(std::string_view name, GlobalSlot& found)
{
    NodeId const global = context::global();
    Cell value;
    if (found.known && found.slot < context::word_count(global)
        && word::symbol_of(*context::word_at(global, found.slot)) == found.symbol) {
        value = *context::value_cell(global, found.slot);
    } else {
        Cell const word = word::make_global(name);
        value = *word::get_value(word);
        found.known = true;
        found.slot = word.word3;
        found.symbol = word::symbol_of(*context::word_at(global, found.slot));
    }
    if (cell::type_of(value) != type_ids::typeset) {
        Cell type = cell::make(type_ids::datatype);
        datatype::make_at(type, cell::type_of(value));
        fire_error(err::script::invalid_type, &type);
    }
    return value;
}

}

void is_in_typeset(std::string_view typeset_word, GlobalSlot& found)
{
    Cell const typeset = typeset_named(typeset_word, found);
    TypeId const type = cell::type_of(*natives::argument(0));
    stack::set_last(logic::make(typeset::has(typeset, type)));
}

void gc_active_q()
{
    stack::set_last(logic::make(gc::state.enabled));
}

// One collection takes in both the nodes and the series buffers, so both figures count collections.
void gc_series_cycles()
{
    stack::set_last(integer::make(static_cast<std::int32_t>(gc::state.collections)));
}

void gc_nodes_cycles()
{
    stack::set_last(integer::make(static_cast<std::int32_t>(gc::state.collections)));
}

}
