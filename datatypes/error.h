// error!: the value every raised error carries, an object of ten fixed fields made from the error
// catalogue (runtime/error_catalog.h), and its formed text, which is what users see when something fails:
//   *** Script Error: foo has no value
//   *** Where: bar
//   *** Near : [foo + 1]
//   *** Stack: bar
//
// Cell: an object! cell with type 34, class id 1 and no event record. Fields, in this order: code (integer!,
// category x 100 + id position - 2), type (the category word, bound to the catalogue's `errors` object), id
// (the id word, bound to its category object), arg1, arg2, arg3, near, where (the word of the function in
// which the error happened, set once when it is raised), stack (while the error travels, an integer! frame
// position; once captured, a block! of the call trace), files (a block! of the source files when captured).
//
// The catalogue is objects: `errors` has one field per category; each category has `code` (its code base),
// `type` (its title) and one field per id holding the id's message template. Start-up builds them from the
// program's tables, then takes the ones library/errors.xol makes from the same source.
#pragma once

#include <cstdint>

#include "datatypes/action_table.h"
#include "runtime/errors.h"

namespace xol::error {

inline constexpr TypeId type_id = type_ids::error;
inline constexpr std::uint32_t class_id = 1;

enum class Field : std::uint32_t { code, type, id, arg1, arg2, arg3, near, where, stack, files, count_ };
inline constexpr std::uint32_t field_count = static_cast<std::uint32_t>(Field::count_);

struct ErrorState {
    Cell errors = cell::make(type_ids::none); // the catalogue's `errors` object
    Cell prototype = cell::make(type_ids::none); // the standard error object, all fields none
};
extern ErrorState state;

// Builds the catalogue objects and the standard error object, so that every raise from then on can carry
// an error! value. Start-up calls it once, after the object! module is initialised. May allocate.
void init();

// Makes `errors`, the catalogue the library's source builds (system/catalog/errors), the one raises and
// forming read from then on, when it has the categories and ids of the program's tables in their order;
// answers whether it did. Allocates nothing.
bool adopt_catalogue(Cell const& errors);

// The field's cell: valid until the next call that may allocate.
Cell* field(Cell const& error, Field);
// The context of a category, or no_node past the last one.
NodeId category_context(std::uint32_t category);

// A new error of the category and id (catalogue positions) with up to three arguments (nullptr for none).
// A position the catalogue lacks gives internal invalid-error with the code. May allocate.
Cell create(ErrorId, Cell const* arg1 = nullptr, Cell const* arg2 = nullptr, Cell const* arg3 = nullptr);

// A new error of a catalogue code (category x 100 + id position - 2), every argument none!; none! when the
// catalogue has no such code. May allocate.
Cell from_code(std::int32_t code);
// Stores the word into `where` unless it is set already.
void set_where(Cell const& error, Cell const& word);
SymbolId get_type(Cell const& error);
SymbolId get_id(Cell const& error);
inline constexpr std::uint32_t stack_field_index()
{
    return static_cast<std::uint32_t>(Field::stack);
}
// The word naming the n-th argument (0-based) of the function the nearest call frame that is not internal
// names, or the word <anon> when that frame names no function or it has no such argument.
Cell function_arg_word(std::uint32_t n);
// After catching an error: an integer! `stack` becomes the block of the call trace to the frame where the
// error was raised, and `files` a copy of the source files. May allocate.
void capture_stack(Cell const& value);
// While the frames still stand: an integer! `stack` becomes the string! of the call trace to it, exactly as
// the report of an error nothing catches shows it. May allocate.
void capture_stack_text(Cell const& value);

// Appends the message of a block template: strings as they are, argument words as the error's fields
// (molded flat, formed for syntax errors; each cut at 80 characters), one space between items. Answers
// the limit left. May allocate.
std::int32_t form_message(Cell const& template_, Cell const& error, Cell& buffer, std::int32_t limit);

// ---- What a raise needs of error! (entries of the services record) ----

// The error! value of a raise, its "near" field taken from the code being evaluated. The catalogue must
// exist: a raise before error::init is a start-up fault. May allocate.
Cell make_raised(RaisedError const&);
bool has_where(Cell const& error);
bool has_stack_block(Cell const& error);
// `stack` holds the position of the raising frame until a catch turns it into the call trace.
void set_stack_position(Cell& error, std::uint32_t frame_position);
// Nothing caught the error: its formed text ends the run. May allocate.
void print_uncaught(Cell const& error);

// Actions. form writes the lines users see; forming never changes the error.
Cell make(Cell const& prototype, Cell const& spec, TypeId type);
std::int32_t form(Cell const& value, Cell& buffer, Refinement part, std::int32_t limit);
std::int32_t mold(Cell const& value, Cell& buffer, bool only, bool all, bool flat, Refinement part, std::int32_t limit,
    std::int32_t indent);
Cell eval_path(PathStep const& step);
std::int32_t compare(Cell const& value1, Cell const& value2, CompareOp op);

extern DatatypeRecord const record; // parent object!

}
