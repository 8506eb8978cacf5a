// error!: the catalogue objects, the makers, what the raising machinery needs of error!, the path step and
// compare.

#include "datatypes/error.h"

#include <string_view>

#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/datatype.h"
#include "datatypes/error_trace.h"
#include "datatypes/function.h"
#include "datatypes/integer.h"
#include "datatypes/none.h"
#include "datatypes/object.h"
#include "datatypes/runtime_words.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/unset.h"
#include "datatypes/word.h"
#include "runtime/collector.h"
#include "runtime/error_catalog.h"
#include "runtime/output.h"
#include "runtime/roots.h"
#include "runtime/series.h"
#include "runtime/services.h"
#include "runtime/stack.h"

namespace xol::error {

ErrorState state;

namespace {

constexpr std::string_view field_names[field_count]
    = { "code", "type", "id", "arg1", "arg2", "arg3", "near", "where", "stack", "files" };

SymbolId canonical(SymbolId symbol)
{
    return symbol::resolve(symbol);
}

// ---- The catalogue's templates, read from their source text ---------------------------------------------

// Reads the values of a template: strings in double quotes, get-words, words and one level of brackets.
// The catalogue is ours, so its text is trusted: the build checks that every template is well formed.
class TemplateReader {
public:
    explicit TemplateReader(std::string_view text)
        : m_text(text)
    {
    }

    // The next value. May allocate.
    Cell read()
    {
        skip_spaces();
        if (at('"')) return read_string();
        if (at('[')) return read_block();
        return read_word();
    }

private:
    bool at(char expected) const { return m_position < m_text.size() && m_text[m_position] == expected; }
    void skip_spaces()
    {
        while (m_position < m_text.size() && m_text[m_position] == ' ') ++m_position;
    }

    Cell read_string()
    {
        std::size_t const end = m_text.find('"', m_position + 1);
        std::string_view const text = m_text.substr(m_position + 1, end - m_position - 1);
        m_position = end + 1;
        return string::from_utf8(text);
    }

    Cell read_block()
    {
        ++m_position;
        Rooted block(*block::push_new(4));
        stack::pop(1);
        for (skip_spaces(); !at(']'); skip_spaces()) {
            Rooted item(read());
            block::rs_append(*block, *item);
        }
        ++m_position;
        return *block;
    }

    Cell read_word()
    {
        TypeId type = type_ids::word;
        if (at(':')) {
            type = type_ids::get_word;
            ++m_position;
        }
        std::size_t const start = m_position;
        while (m_position < m_text.size() && m_text[m_position] != ' ' && m_text[m_position] != ']') ++m_position;
        SymbolId const symbol = symbol::make(m_text.substr(start, m_position - start));
        return cell::make(type, no_node, symbol, word::unresolved);
    }

    std::string_view m_text;
    std::size_t m_position = 0;
};

// Adds a field to an object made here; answers its slot. May allocate.
std::uint32_t add_field(Cell const& object, std::string_view name, Cell const& value)
{
    Rooted kept(object);
    Rooted kept_value(value);
    Cell const word = cell::make(type_ids::word, no_node, symbol::make(name), word::unresolved);
    std::uint32_t const slot = context::add_word(object::context_of(*kept), word);
    *context::values_at(object::context_of(*kept), slot) = *kept_value;
    return slot;
}

// The catalogue's objects take fixed class ids below the run-time range, as start-up's own objects do:
// the standard error object the class of every error, `errors` the next one, each category its own.
constexpr std::uint32_t errors_class_id = class_id + 1;
constexpr std::uint32_t first_category_class_id = class_id + 2;

// An object for the catalogue: a class of its own, no events. May allocate.
Cell make_catalogue_object(std::uint32_t capacity, std::uint32_t class_number)
{
    Rooted made(unset_value);
    object::make_empty(*made, capacity);
    made->word2 = class_number;
    context::owner_of(object::context_of(*made)) = *made;
    return *made;
}

void build_catalogue()
{
    Rooted errors(make_catalogue_object(error_catalog::category_count, errors_class_id));
    std::uint32_t position = 0;
    for (error_catalog::Category const& category : error_catalog::categories) {
        Rooted made(make_catalogue_object(
            static_cast<std::uint32_t>(category.ids.size()) + 2, first_category_class_id + position));
        add_field(*made, "code", integer::make(static_cast<std::int32_t>(position * 100)));
        Rooted title(string::from_utf8(category.title));
        add_field(*made, "type", *title);
        for (error_catalog::Entry const& entry : category.ids) {
            Rooted template_(TemplateReader(entry.template_).read());
            add_field(*made, entry.id, *template_);
        }
        add_field(*errors, category.name, *made);
        ++position;
    }
    state.errors = *errors;
}

void build_prototype()
{
    Rooted prototype(make_catalogue_object(field_count, class_id));
    for (std::string_view const name : field_names) add_field(*prototype, name, none_value);
    state.prototype = *prototype;
}

NodeId errors_context()
{
    return object::context_of(state.errors);
}

// The word-list entry of a catalogue context, as a plain word bound there.
Cell catalogue_word(NodeId context, std::uint32_t slot)
{
    Cell word = *context::word_at(context, slot);
    word.header = type_ids::word;
    return word;
}

// The slot of an id in its category (ids from 2), or -1.
std::int32_t id_slot(NodeId category, SymbolId name)
{
    std::int32_t const slot = context::find_word(category, name, true);
    return slot >= 2 ? slot : -1;
}

// A new error from the standard error object: every field none!. May allocate.
Cell new_error()
{
    Rooted made(unset_value);
    object::copy_into(state.prototype, *made, false, nullptr, false);
    *made = Cell { type_id, object::context_of(*made), class_id, no_node };
    context::owner_of(object::context_of(*made)) = *made;
    return *made;
}

void set_field(Cell const& error, Field which, Cell const& value)
{
    *context::values_at(object::context_of(error), static_cast<std::uint32_t>(which)) = value;
}

// code, type and id of a catalogue position.
void set_identity(Cell const& error, std::uint32_t category, std::uint32_t slot)
{
    set_field(error, Field::code, integer::make(static_cast<std::int32_t>(category * 100 + slot) - 2));
    set_field(error, Field::type, catalogue_word(errors_context(), category));
    set_field(error, Field::id, catalogue_word(category_context(category), slot));
}

[[noreturn]] void invalid_spec_field(words::Word which)
{
    Cell const word = words::word_of(which);
    fire_error(err::script::invalid_spec_field, &word);
}

// The category of a word, or -1.
std::int32_t category_of(Cell const& word)
{
    if (cell::type_of(word) != type_ids::word) return -1;
    return context::find_word(errors_context(), word.word2, true);
}

Cell make_from_integer(Cell const& error, Cell const& spec)
{
    std::int32_t const code = integer::get(spec);
    std::int32_t const category = code < 0 ? -1 : code / 100;
    if (category < 0 || category >= static_cast<std::int32_t>(error_catalog::category_count))
        fire_error(err::script::out_of_range, &spec);
    std::uint32_t const slot = static_cast<std::uint32_t>(code % 100) + 2;
    if (slot >= context::word_count(category_context(static_cast<std::uint32_t>(category))))
        fire_error(err::script::out_of_range, &spec);
    set_identity(error, static_cast<std::uint32_t>(category), slot);
    return error;
}

Cell make_from_words(Cell const& error, Cell const& spec)
{
    Cell const* values = block::rs_head(spec);
    std::uint32_t const length = block::rs_length_q(spec);
    std::int32_t const category = category_of(values[0]);
    if (category < 0) invalid_spec_field(words::Word::type);
    if (length < 2) invalid_spec_field(words::Word::id);
    Cell const id = values[1];
    if (cell::type_of(id) != type_ids::word) fire_error(err::script::invalid_arg, &id);
    std::int32_t const slot = id_slot(category_context(static_cast<std::uint32_t>(category)), id.word2);
    if (slot < 0) invalid_spec_field(words::Word::id);
    set_identity(error, static_cast<std::uint32_t>(category), static_cast<std::uint32_t>(slot));
    return error;
}

// The spec sets the fields itself; type and id must then name an entry of the catalogue.
Cell make_from_set_words(Cell const& given_error, Cell const& spec)
{
    Rooted error(given_error);
    context::bind_block(spec, object::context_of(*error), false);
    services.eval_block(spec);
    Cell const type = *field(*error, Field::type);
    std::int32_t const category = category_of(type);
    if (category < 0) invalid_spec_field(words::Word::type);
    Cell const id = *field(*error, Field::id);
    std::int32_t const slot = cell::type_of(id) == type_ids::word
        ? id_slot(category_context(static_cast<std::uint32_t>(category)), id.word2)
        : -1;
    if (slot < 0) invalid_spec_field(words::Word::id);
    set_identity(*error, static_cast<std::uint32_t>(category), static_cast<std::uint32_t>(slot));
    return *error;
}

}

Cell from_code(std::int32_t code)
{
    std::int32_t const category = code < 0 ? -1 : code / 100;
    if (category < 0 || category >= static_cast<std::int32_t>(error_catalog::category_count)) return none_value;
    NodeId const context = category_context(static_cast<std::uint32_t>(category));
    std::uint32_t const slot = static_cast<std::uint32_t>(code % 100) + 2;
    if (context == no_node || slot >= context::word_count(context)) return none_value;
    Rooted error(new_error());
    set_identity(*error, static_cast<std::uint32_t>(category), slot);
    return *error;
}

// ---- What a raise needs of error! ----------------------------------------------------------------------

Cell make_raised(RaisedError const& raised)
{
    Cell const* arguments[3] = { nullptr, nullptr, nullptr };
    for (std::uint32_t i = 0; i < raised.argument_count && i < 3; ++i) arguments[i] = &raised.arguments[i];
    Rooted error(create(raised.id, arguments[0], arguments[1], arguments[2]));
    // The code being evaluated when the error was raised, from the expression that raised it.
    Cell const* position = services.current_position;
    if (series::is_cell_series(cell::type_of(*position))) set_field(*error, Field::near, *position);
    return *error;
}

bool has_where(Cell const& error)
{
    return cell::type_of(*field(error, Field::where)) != type_ids::none;
}

bool has_stack_block(Cell const& error)
{
    return cell::type_of(*field(error, Field::stack)) == type_ids::block;
}

void set_stack_position(Cell& error, std::uint32_t frame_position)
{
    set_field(error, Field::stack, integer::make(static_cast<std::int32_t>(frame_position)));
}

void print_uncaught(Cell const& error)
{
    Rooted kept(error);
    Rooted text(string::make(256));
    form(*kept, *text, nullptr, 0x7FFFFFFF);
    output_hooks::run_value_printers(*text, true);
}

// ---- Set-up and fields ---------------------------------------------------------------------------------

void init()
{
    state = ErrorState {};
    gc::add_root(&state.errors);
    gc::add_root(&state.prototype);
    build_catalogue();
    build_prototype();
}

namespace {

bool has_word(NodeId context, std::uint32_t slot, std::string_view spelling)
{
    return symbol::spelling(word::symbol_of(*context::word_at(context, slot))) == spelling;
}

}

bool adopt_catalogue(Cell const& errors)
{
    if (cell::type_of(errors) != type_ids::object) return false;
    NodeId const list = object::context_of(errors);
    if (context::word_count(list) != error_catalog::category_count) return false;
    std::uint32_t position = 0;
    for (error_catalog::Category const& category : error_catalog::categories) {
        Cell const made = *context::values_at(list, position);
        if (!has_word(list, position, category.name) || cell::type_of(made) != type_ids::object) return false;
        NodeId const ids = object::context_of(made);
        if (context::word_count(ids) != category.ids.size() + 2 || !has_word(ids, 0, "code")
            || !has_word(ids, 1, "type"))
            return false;
        for (std::uint32_t i = 0; i < category.ids.size(); ++i)
            if (!has_word(ids, i + 2, category.ids[i].id)) return false;
        ++position;
    }
    state.errors = errors;
    return true;
}

Cell* field(Cell const& error, Field which)
{
    return context::values_at(object::context_of(error), static_cast<std::uint32_t>(which));
}

NodeId category_context(std::uint32_t category)
{
    if (category >= context::word_count(errors_context())) return no_node;
    return object::context_of(*context::values_at(errors_context(), category));
}

Cell create(ErrorId id, Cell const* arg1, Cell const* arg2, Cell const* arg3)
{
    Cell const* given[3] = { arg1, arg2, arg3 };
    Rooted arguments[3]
        = { Rooted(arg1 ? *arg1 : none_value), Rooted(arg2 ? *arg2 : none_value), Rooted(arg3 ? *arg3 : none_value) };
    bool const known = error_catalog::find(id) && category_context(id.category()) != no_node
        && id.position() < context::word_count(category_context(id.category()));
    Rooted error(new_error());
    if (!known) {
        set_identity(*error, err::internal::invalid_error.category(), err::internal::invalid_error.position());
        set_field(*error, Field::arg1, integer::make(id.code()));
        return *error;
    }
    set_identity(*error, id.category(), id.position());
    for (std::uint32_t i = 0; i < 3; ++i)
        if (given[i]) set_field(*error, static_cast<Field>(static_cast<std::uint32_t>(Field::arg1) + i), *arguments[i]);
    return *error;
}

void set_where(Cell const& error, Cell const& word)
{
    if (cell::type_of(*field(error, Field::where)) == type_ids::none) set_field(error, Field::where, word);
}

SymbolId get_type(Cell const& error)
{
    Cell const& type = *field(error, Field::type);
    return word::is_any_word(cell::type_of(type)) ? type.word2 : 0;
}

SymbolId get_id(Cell const& error)
{
    Cell const& id = *field(error, Field::id);
    return word::is_any_word(cell::type_of(id)) ? id.word2 : 0;
}

Cell function_arg_word(std::uint32_t n)
{
    Cell const anonymous = words::word_of(words::Word::anon);
    for (CallFrame* frame = stack::state.frame_top - 1; frame >= stack::state.frame_bottom; --frame) {
        if (frame->symbol == 0 || frame->symbol == stack::state.body_symbol
            || frame->symbol == stack::state.anonymous_symbol)
            continue;
        Cell const* value = stack::frame_word_value(*frame);
        if (!value) return anonymous;
        TypeId const type = cell::type_of(*value);
        if (type != type_ids::native && type != type_ids::action && type != type_ids::op && type != type_ids::function
            && type != type_ids::routine)
            return anonymous;
        Cell word;
        return function::spec_word(value->word2, n, word) ? word : anonymous;
    }
    return anonymous;
}

namespace {

// The stack field holds the position the error was raised at until the trace is taken; false when it was
// taken already (or the value is no error).
bool trace_pending(Cell const& value)
{
    return cell::type_of(value) == type_id && cell::type_of(*field(value, Field::stack)) == type_ids::integer;
}

// How many frames a trace names: the stack-trace setting when it is a positive integer, else 1.
std::int32_t trace_depth()
{
    Cell const setting = services.stack_trace_setting();
    return cell::type_of(setting) == type_ids::integer && integer::get(setting) > 0 ? integer::get(setting) : 1;
}

}

void capture_stack(Cell const& value)
{
    if (!trace_pending(value)) return;
    Rooted error(value);
    std::int32_t const depth = trace_depth();
    auto const position = static_cast<std::uint32_t>(integer::get(*field(*error, Field::stack)));
    Rooted trace(*block::push_new(20));
    stack::pop(1);
    stack::trace_words(depth, *trace, position);
    set_field(*error, Field::stack, *trace);
    Rooted files(services.source_files());
    if (cell::type_of(*files) == type_ids::block) {
        Cell const copied = block::copy(*files, nullptr, false, nullptr);
        set_field(*error, Field::files, copied);
    }
}

void capture_stack_text(Cell const& value)
{
    if (!trace_pending(value)) return;
    Rooted error(value);
    std::int32_t const depth = trace_depth();
    auto const position = static_cast<std::uint32_t>(integer::get(*field(*error, Field::stack)));
    Rooted text(string::make(64));
    stack::trace_text(depth, position, *text, 0x7FFFFFFF);
    set_field(*error, Field::stack, *text);
}

// ---- make ------------------------------------------------------------------------------------------------

Cell make(Cell const&, Cell const& given_spec, TypeId)
{
    Rooted spec(given_spec);
    TypeId const spec_type = cell::type_of(*spec);
    if (spec_type == type_ids::string) return create(err::user::message, &*spec);
    if (spec_type != type_ids::integer && spec_type != type_ids::block) {
        Cell const type_value = datatype::make(type_id);
        fire_error(err::script::bad_make_arg, &type_value, &*spec);
    }
    Rooted error(new_error());
    if (spec_type == type_ids::integer) return make_from_integer(*error, *spec);
    TypeId const first = block::rs_length_q(*spec) > 0 ? cell::type_of(block::rs_head(*spec)[0]) : TypeId { 0 };
    if (first == type_ids::word) return make_from_words(*error, *spec);
    if (first == type_ids::set_word) return make_from_set_words(*error, *spec);
    fire_error(err::internal::invalid_error);
}

// ---- The path step and compare ------------------------------------------------------------------------------

// The trace position is the raising machinery's: no path reads or writes it.
Cell eval_path(PathStep const& step)
{
    if (word::is_any_word(cell::type_of(step.element))
        && canonical(step.element.word2) == canonical(words::symbol_of(words::Symbol::stack))) {
        Cell const path = step.path ? *step.path : none_value;
        fire_error(err::script::invalid_path_set, &path);
    }
    return object::eval_path(step);
}

std::int32_t compare(Cell const& value1, Cell const& value2, CompareOp op)
{
    if (cell::type_of(value2) != type_id) return compare_incomparable;
    Cell first = value1;
    Cell second = value2;
    cell::set_type(first, object::type_id);
    cell::set_type(second, object::type_id);
    return object::compare(first, second, op);
}

constexpr DatatypeRecord record {
    .id = type_id,
    .parent = object::type_id,
    .name = "error!",
    .actions = {
        .make = make,
        .reflect = inherit,
        .form = form,
        .mold = mold,
        .eval_path = eval_path,
        .compare = compare,
        .copy = inherit,
        .find = inherit,
        .select = inherit,
    },
};

}
