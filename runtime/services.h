// The services record: everything the lower layers (runtime/, datatypes/, the lexer) call in the layers built
// on them (the datatypes, the lexer, the evaluator, the tracer, the GUI's terminal back end). Calls go down;
// these are the only calls that go up, and they go through this one record.
//
// Invariant: after start-up's filling function (app/services.cpp) every entry is set, so call sites call
// without looking; a service whose provider does not exist yet gets a real do-nothing entry there, never a
// null. Every member is a pointer and the record has no padding, so its completeness can be checked word
// by word. Unit tests that run a lower layer alone set their own stand-ins in the same record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "runtime/cell.h"
#include "runtime/operations.h"

namespace xol {

using SymbolId = std::uint32_t;
struct RaisedError;

struct Services {
    // ---- error! (datatypes/error.cpp): the value a raise makes, its place fields, its report.
    // The error! value of a raise, with its "near" field from the code being evaluated. May allocate.
    Cell (*make_error)(RaisedError const&);
    bool (*error_has_where)(Cell const& error);
    void (*set_error_where)(Cell const& error, Cell const& word);
    bool (*error_has_stack_block)(Cell const& error);
    void (*set_error_stack_position)(Cell& error, std::uint32_t frame_position);
    // Turns the error's stack position into the text of the calls standing now, as its report shows them.
    // May allocate.
    void (*keep_error_stack)(Cell const& error);
    // Prints the formed error, as when nothing catches it. May allocate.
    void (*print_error)(Cell const& error);

    // ---- The system object's state, read by error!: the stack-trace depth setting (integer! 1 until the
    // system object exists) and the block of source files (none! until then).
    Cell (*stack_trace_setting)();
    Cell (*source_files)();

    // ---- symbol! (datatypes/symbol.cpp): the hash tables' case-blind symbol keys.
    // The canonical (case-folded) id of a symbol: the id of its first spelling.
    SymbolId (*canonical_symbol)(SymbolId);

    // ---- The compare actions (datatypes/compare.cpp): the hash tables' keys.
    // The compare action of the first value's type for two keys of one type: 0 when they are equal under the
    // code, non-zero for a type without a compare action. May allocate.
    std::int32_t (*compare_keys)(Cell const& stored, Cell const& probe, CompareOp);

    // ---- object! (datatypes/object_events.cpp): change events.
    // Calls the owner object's on-change* handler with (word, old, new); contexts call it when a field of an
    // object with handlers is set. May allocate, may raise.
    void (*fire_on_change)(Cell const& owner, Cell const& word, Cell const& old_value, Cell const& new_value);
    // Calls the owner's on-deep-change* handler with (owner, word, series, the action's word, new value or
    // none, index, part); the ownership table calls it when an owned series changes. May allocate, may raise.
    void (*tell_owner)(Cell const& owner, Cell const& word, Cell const& series, SymbolId action, Cell const* new_value,
        std::int32_t index, std::int32_t part);

    // ---- The lexer (interpreter/lexer/lexer.cpp): text into values, for the datatypes' make and to.
    // The values of a text (from its index) as a block. May allocate, may raise.
    Cell (*load_all)(Cell const& text);
    // The datatype id the UTF-8 text would load as, scanned as one value.
    TypeId (*scan_type)(std::string_view utf8);
    // The value a text loads as (from its index): the one value alone, or a block! of the values when the
    // text holds none or several. May allocate, may raise.
    Cell (*load_single)(Cell const& text);
    // The number scanners of to and make for text into integer! and float!: `count` characters of `unit`
    // bytes each; `error` is 0, or negative for text that is no such number (an overflow included).
    std::int32_t (*scan_integer)(
        std::byte const* characters, std::uint32_t count, std::uint32_t unit, std::int32_t& error);
    double (*scan_float)(std::byte const* characters, std::uint32_t count, std::uint32_t unit, std::int32_t& error);
    // The money! a text (from its index) reads as by the money text scanner, or none! when it is no money
    // text or names a currency the list lacks. May allocate.
    Cell (*scan_money)(Cell const& text);

    // ---- The evaluator (interpreter/evaluator.cpp).
    // Evaluates every expression of the block in a block-evaluation frame, leaving nothing on the stack;
    // errors propagate. Making an object from a spec block and an error from a set-word spec run it.
    void (*eval_block)(Cell const& block);
    // Runs a function! whose arguments the caller pushed after pushing its function call frame; the result is
    // left in the frame's result cell. `callback_bit` names the kind of callback for tracing (8 for
    // on-change*, 16 for on-deep-change*).
    void (*call_function)(Cell const& function, NodeId context, Cell const& word, std::uint32_t callback_bit);
    // Calls a lexer callback (a function! or routine!) as the word <lexer-callback> with the `count`
    // argument cells at `arguments` (on the value stack) and answers its result; the arguments are left as
    // the callback left them (it may move the input's index). May allocate, may raise.
    Cell (*call_lexer_callback)(Cell const& callback, Cell* arguments, std::uint32_t count);
    // The callback's body block, whose leading block of event words selects the events it hears; none!
    // when it has none.
    Cell (*callback_body)(Cell const& callback);
    // Whether a catch with these names (a word or a block, as given to catch/name) takes a throw of that
    // name (unset! for an unnamed throw). Names that are not valid take it, so that the catch reports them.
    bool (*catch_takes)(Cell const& names, Cell const& thrown_name);
    // The block being evaluated, at the expression about to run: an error's "near" field. Rooted there.
    Cell const* current_position;

    // ---- The tracer (interpreter/trace.cpp).
    // Hears of every error raised, once its error! value is made and before the unwinding starts. It may run
    // code, but leaves the error in flight as it found it.
    void (*error_raised)(Cell const& error);

    // ---- The GUI's terminal back end (view/): clears the drawn interface before ordinary text is printed
    // and draws it again after.
    void (*pause_for_print)();
    void (*resume_after_print)();
};

extern Services services;

// Whether every entry of the record is set.
bool is_complete(Services const&);

}
