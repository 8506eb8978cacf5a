// error!: the formed text users see ("*** Script Error: ...", Where, Near, Stack, Files) and the molded
// form. Forming reads the error and never changes it: an error whose type or id names nothing in the
// catalogue is shown, from a copy, as internal invalid-error naming the unknown word.

#include <initializer_list>
#include <string_view>

#include "datatypes/context.h"
#include "datatypes/error.h"
#include "datatypes/error_trace.h"
#include "datatypes/integer.h"
#include "datatypes/none.h"
#include "datatypes/object.h"
#include "datatypes/runtime_words.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/typed_actions.h"
#include "datatypes/unset.h"
#include "datatypes/word.h"
#include "runtime/roots.h"
#include "runtime/services.h"
#include "runtime/stack.h"

namespace xol::error {

namespace {

constexpr std::int32_t argument_width = 80;
constexpr std::int32_t near_width = 40;

NodeId errors_context()
{
    return object::context_of(state.errors);
}

// The value of a field of an object named by a word (case-blind), or nullptr.
Cell const* field_named(NodeId context, SymbolId name)
{
    std::int32_t const slot = context::find_word(context, name, true);
    return slot < 0 ? nullptr : context::values_at(context, static_cast<std::uint32_t>(slot));
}

enum class Text { Form, MoldFlat };

// Appends the value's text cut at `width` characters; answers the limit less what was appended. May allocate.
std::int32_t append_cut(
    Cell const& value, Cell& buffer, std::int32_t limit, std::int32_t width, Text text, bool only = false)
{
    Rooted kept(value);
    Rooted scratch(string::make(static_cast<std::uint32_t>(width) + 16));
    Cell const part = integer::make(width);
    if (text == Text::Form)
        actions::form_typed(*kept, *scratch, &part, width);
    else
        actions::mold_typed(*kept, *scratch, only, false, true, &part, width, 0);
    std::uint32_t const length = string::rs_length_q(*scratch);
    auto const count = static_cast<std::int32_t>(length < static_cast<std::uint32_t>(width) ? length : width);
    string::concatenate(buffer, *scratch, count, 0, false, string::SpliceMode::Append);
    return limit - count;
}

// A string as it is, a word (or any other value) formed.
std::int32_t append_formed(Cell const& value, Cell& buffer, std::int32_t limit)
{
    Rooted kept(value);
    return actions::form_typed(*kept, buffer, nullptr, limit);
}

std::int32_t stack_trace_depth()
{
    Cell const setting = services.stack_trace_setting();
    return cell::type_of(setting) == type_ids::integer ? integer::get(setting) : 0;
}

// What forming shows: the error itself, or a copy standing for an error the catalogue cannot describe.
struct Shown {
    Cell error;
    NodeId category = no_node;
    Cell template_ = cell::make(type_ids::none);
};

// Finds the category and template of the error; an unknown type or id gives a copy made internal
// invalid-error with the unknown word as its argument. May allocate.
Shown resolve(Cell const& given)
{
    Rooted error(given);
    Cell const type = *field(*error, Field::type);
    Cell const* category_value
        = word::is_any_word(cell::type_of(type)) ? field_named(errors_context(), type.word2) : nullptr;
    Cell unknown = type;
    if (category_value && cell::type_of(*category_value) == object::type_id) {
        NodeId const category = object::context_of(*category_value);
        Cell const id = *field(*error, Field::id);
        std::int32_t const slot
            = word::is_any_word(cell::type_of(id)) ? context::find_word(category, id.word2, true) : -1;
        if (slot >= 2)
            return Shown { *error, category, *context::values_at(category, static_cast<std::uint32_t>(slot)) };
        unknown = id;
    }
    Rooted kept_unknown(unknown);
    Rooted copy(unset_value);
    object::copy_into(*error, *copy, false, nullptr, false);
    Cell const internal = create(err::internal::invalid_error);
    for (Field which : { Field::code, Field::type, Field::id }) *field(*copy, which) = *field(internal, which);
    *field(*copy, Field::arg1) = *kept_unknown;
    NodeId const category = category_context(err::internal::invalid_error.category());
    return Shown { *copy, category,
        *context::values_at(category, static_cast<std::uint32_t>(err::internal::invalid_error.position())) };
}

}

std::int32_t form_message(Cell const& given_template, Cell const& given_error, Cell& buffer, std::int32_t limit)
{
    Rooted template_(given_template);
    Rooted error(given_error);
    bool const syntax = symbol::resolve(get_type(*error)) == symbol::resolve(words::word_of(words::Word::syntax).word2);
    std::uint32_t const total = node::buffer(template_->word2)->length();
    for (std::uint32_t i = template_->word1; i < total; ++i) {
        Rooted item(node::buffer(template_->word2)->head_cell()[i]);
        TypeId const type = cell::type_of(*item);
        if (type == type_ids::string) {
            limit = string::form(*item, buffer, nullptr, limit);
        } else if (type == type_ids::word || type == type_ids::get_word) {
            Cell const* value = field_named(object::context_of(*error), item->word2);
            Rooted argument(value ? *value : none_value);
            // The frame goes, and the stack top comes back to where it was: the buffer may be a cell on
            // the stack, which must stay below the top to stay alive.
            Cell* const saved_top = stack::state.top;
            stack::push_native_frame(words::word_of(words::Word::body));
            limit = append_cut(*argument, buffer, limit, argument_width, syntax ? Text::Form : Text::MoldFlat);
            stack::pop_frame_empty();
            stack::cut_to(saved_top);
        }
        if (i + 1 < total) limit = string::append_ascii(buffer, " ", limit);
    }
    return limit;
}

std::int32_t form(Cell const& value, Cell& buffer, Refinement, std::int32_t limit)
{
    Rooted given(value);
    limit = string::append_ascii(buffer, "*** ", limit);
    Shown const found = resolve(*given);
    Rooted error(found.error);
    Rooted template_(found.template_);
    RootedNode category(found.category);

    // A word template stands for the field it names.
    if (cell::type_of(*template_) == type_ids::word) {
        Cell const* named = field_named(object::context_of(*error), template_->word2);
        *template_ = named ? *named : none_value;
    }
    if (Cell const* title = field_named(*category, words::word_of(words::Word::type).word2))
        limit = append_formed(*title, buffer, limit);
    limit = string::append_ascii(buffer, ": ", limit);
    if (cell::type_of(*template_) == type_ids::string)
        limit = string::form(*template_, buffer, nullptr, limit);
    else if (cell::type_of(*template_) == type_ids::block)
        limit = form_message(*template_, *error, buffer, limit);

    limit = string::append_ascii(buffer, "\n*** Where: ", limit);
    Rooted where(*field(*error, Field::where));
    TypeId const where_type = cell::type_of(*where);
    if (where_type == type_ids::word || where_type == type_ids::string)
        limit = append_formed(*where, buffer, limit);
    else
        limit = string::append_ascii(buffer, "???", limit);

    limit = string::append_ascii(buffer, "\n*** Near : ", limit);
    Rooted near(*field(*error, Field::near));
    limit = append_cut(*near, buffer, limit, near_width, Text::MoldFlat, true);

    std::int32_t const depth = stack_trace_depth();
    if (depth > 0) {
        Rooted trace(*field(*error, Field::stack));
        if (cell::type_of(*trace) == type_ids::integer) {
            limit = string::append_ascii(buffer, "\n*** Stack: ", limit);
            limit = stack::trace_text(depth, static_cast<std::uint32_t>(integer::get(*trace)), buffer, limit);
        } else if (cell::type_of(*trace) == type_ids::string) {
            // Taken as the report would show it, while the calls still stood.
            limit = string::append_ascii(buffer, "\n*** Stack: ", limit);
            limit = append_formed(*trace, buffer, limit);
        } else if (cell::type_of(*trace) == type_ids::block) {
            limit = string::append_ascii(buffer, "\n*** Stack: ", limit);
            limit = append_formed(*trace, buffer, limit);
        }
    }
    Rooted files(*field(*error, Field::files));
    if (cell::type_of(*files) == type_ids::block) {
        limit = string::append_ascii(buffer, "\n*** Files: ", limit);
        limit = append_cut(*files, buffer, limit, near_width, Text::MoldFlat, true);
    }
    return limit;
}

std::int32_t mold(Cell const& value, Cell& buffer, bool only, bool all, bool flat, Refinement part, std::int32_t limit,
    std::int32_t indent)
{
    Rooted kept(value);
    if (!only) limit = string::append_ascii(buffer, "make error! [", limit);
    limit = object::serialize(*kept, buffer, only, all, flat, part, limit, true, indent + 1, true);
    if (indent > 0) {
        for (std::int32_t level = 0; level < indent; ++level) limit = string::append_ascii(buffer, "    ", limit);
    }
    if (!only) limit = string::append_ascii(buffer, "]", limit);
    return limit;
}

}
