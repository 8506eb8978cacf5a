// port!: making ports from specs and schemes, their text, and the actions forwarded to the scheme's actor.

#include "datatypes/port.h"

#include <algorithm>
#include <initializer_list>
#include <string_view>

#include "datatypes/block.h"
#include "datatypes/compare.h"
#include "datatypes/context.h"
#include "datatypes/function.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/none.h"
#include "datatypes/object.h"
#include "datatypes/registry.h"
#include "datatypes/runtime_words.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/unset.h"
#include "datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/roots.h"
#include "runtime/services.h"
#include "runtime/stack.h"

namespace xol::port {

namespace {

// ---- The system object ----------------------------------------------------------------------------------

// The object's field of that name; none! when the value is no object or lacks the field.
Cell field_named(Cell const& object, std::string_view name)
{
    if (cell::type_of(object) != type_ids::object) return none_value;
    SymbolId const symbol = symbol::make(name);
    std::int32_t const slot = context::find_word(object::context_of(object), symbol, true);
    return slot < 0 ? none_value : *object::value_at(object, static_cast<std::uint32_t>(slot));
}

// The value at a path of field names below the global `system`; none! when a step is missing.
Cell system_at(std::initializer_list<std::string_view> names)
{
    Cell const global { type_ids::object, context::global(), 0, no_node };
    std::int32_t const slot = context::find_word(context::global(), words::symbol_of(words::Symbol::system), true);
    Rooted current(slot < 0 ? none_value : *object::value_at(global, static_cast<std::uint32_t>(slot)));
    for (std::string_view name : names) *current = field_named(*current, name);
    return *current;
}

// The value of the object's field at `slot`; none! past its words.
Cell field_at(Cell const& object, std::uint32_t slot)
{
    return slot < object::word_count(object) ? *object::value_at(object, slot) : none_value;
}

// ---- Making ---------------------------------------------------------------------------------------------

// The cell after the scheme's name in system/schemes; none! when the name is missing or is the last cell.
Cell find_scheme(Cell const& scheme_word)
{
    Cell const schemes = system_at({ "schemes" });
    if (!block::is_any_block(cell::type_of(schemes))) return none_value;
    // Comparing never allocates, so the cells may be read in place.
    Cell const* const tail = block::rs_tail(schemes);
    for (Cell const* each = block::rs_head(schemes); each < tail; ++each) {
        if (!actions::compare(*each, scheme_word, CompareOp::FindEqual)) continue;
        return each + 1 < tail ? each[1] : none_value;
    }
    return none_value;
}

}

Cell make(Cell const&, Cell const& given_spec, TypeId)
{
    Rooted spec(given_spec);
    Rooted spec_object(*spec);
    if (cell::type_of(*spec) != type_ids::object) {
        // The spec's fields go over the standard URL parts; the new object belongs to no class of theirs
        // and hears none of their change handlers.
        Rooted parts(system_at({ "standard", "url-parts" }));
        if (cell::type_of(*parts) != type_ids::object) fire_error(err::access::no_scheme, &*spec);
        parts->word2 = 0;
        parts->word3 = no_node;
        *spec_object = object::make(*parts, *spec, type_ids::object);
    }
    Rooted scheme_word(field_at(*spec_object, 0));
    if (cell::type_of(*scheme_word) != type_ids::word) fire_error(err::access::no_scheme, &*spec);

    Rooted result(unset_value);
    Rooted standard(system_at({ "standard", "port" }));
    if (cell::type_of(*standard) != type_ids::object) fire_error(err::access::invalid_port);
    object::copy_into(*standard, *result, false, nullptr, true);
    cell::set_type(*result, type_id);
    result->word2 = class_id;
    context::owner_of(object::context_of(*result)) = *result;
    if (object::word_count(*result) <= actor_field) fire_error(err::access::invalid_port);
    *object::value_at(*result, spec_field) = *spec_object;
    *object::value_at(*result, scheme_field) = *scheme_word;

    Cell const scheme = find_scheme(*scheme_word);
    if (cell::type_of(scheme) != type_ids::object) fire_error(err::access::unknown_scheme, &*spec);
    Cell const actor = field_at(scheme, 3);
    // No native code registers a table of typed actor entries, so a handle! cannot name one.
    if (cell::type_of(actor) != type_ids::object) fire_error(err::access::invalid_actor, &*spec);
    *object::value_at(*result, actor_field) = actor;
    return *result;
}

namespace {

// ---- Text -----------------------------------------------------------------------------------------------

std::int32_t mold(Cell const& value, Cell& buffer, bool only, bool all, bool flat, Refinement part, std::int32_t limit,
    std::int32_t indent)
{
    if (string::append_cycle_marker(value, buffer, limit, true)) return limit;
    Rooted kept(value);
    limit = string::append_ascii(buffer, "make port! [", limit);
    limit = object::serialize(*kept, buffer, only, all, flat, part, limit, true, indent + 1, true);
    if (!flat && indent > 0 && object::word_count(*kept) > 0)
        for (std::int32_t i = 0; i < indent; ++i) limit = string::append_ascii(buffer, "    ", limit);
    return string::append_ascii(buffer, "]", limit);
}

std::int32_t form(Cell const& value, Cell& buffer, Refinement part, std::int32_t limit)
{
    return mold(value, buffer, false, false, false, part, limit, 0);
}

// Ports compare as the objects they are; a port is never equal to a plain object.
std::int32_t compare(Cell const& value1, Cell const& value2, CompareOp op)
{
    if (cell::type_of(value2) != type_id) return compare_incomparable;
    Cell object1 = value1;
    Cell object2 = value2;
    cell::set_type(object1, object::type_id);
    cell::set_type(object2, object::type_id);
    return object::compare(object1, object2, op);
}

// ---- Forwarding -----------------------------------------------------------------------------------------

// One call of an actor function: the constructor finds the function (every allocation happens there),
// pushes a call frame named by the action's word and a copy of the port; the caller pushes the action's
// cells with `add`, which never allocates, so cells read from the action's own frame stay valid; `call`
// runs the function and answers its result.
class ActorCall {
public:
    ActorCall(Cell const& port, std::string_view action)
        : m_word(word::make(symbol::make(action)))
        , m_actor(field_at(port, actor_field))
        , m_function(none_value)
    {
        if (cell::type_of(port) != type_id || cell::type_of(*m_actor) != type_ids::object)
            fire_error(err::access::invalid_port);
        std::int32_t const slot = context::find_word(object::context_of(*m_actor), m_word->word2, true);
        if (slot >= 0) *m_function = *object::value_at(*m_actor, static_cast<std::uint32_t>(slot));
        if (cell::type_of(*m_function) != type_ids::function) fire_error(err::access::no_port_action, &*m_word);
        Cell const copy = port;
        stack::push_call_frame(*m_word, function::context_of(*m_function));
        stack::push(copy);
    }

    ActorCall& add(Cell const& value)
    {
        stack::push(value);
        return *this;
    }
    ActorCall& flag(bool on) { return add(logic::make(on)); }
    // A refinement with one argument: its flag, then the argument or none!.
    ActorCall& refinement(Refinement argument)
    {
        return flag(argument != nullptr).add(argument ? *argument : none_value);
    }
    // A count where -1 means "not given": the flag, then the count as integer! or none!.
    ActorCall& count(bool given, std::int32_t value)
    {
        return flag(given).add(given ? integer::make(value) : none_value);
    }

    // The function gets all its cells: its /local part (the refinement and each word after it) as an unused
    // refinement's false and none!s.
    Cell call()
    {
        std::int32_t const locals = function::count_locals(function::spec_node(*m_function), 0, false);
        if (locals > 0) function::push_unused_refinement(locals);
        services.call_function(*m_function, object::context_of(*m_actor), *m_word, 0);
        stack::pop_frame_keep_restore();
        Cell const result = *stack::top();
        stack::pop(1);
        return result;
    }

private:
    Rooted m_word;
    Rooted m_actor;
    Rooted m_function;
};

// The action's own frame: the port, then its arguments. The value stack never moves.
Cell& frame_argument(std::uint32_t index)
{
    return stack::state.base[index];
}

Cell insert_like(
    Cell const& port, Cell const& value, std::int32_t part, bool only, std::int32_t dup, std::string_view action)
{
    return ActorCall(port, action).add(value).count(part >= 0, part).flag(only).count(dup > 1, dup).call();
}

Cell append(Cell const& port, Cell const& value, std::int32_t part, bool only, std::int32_t dup, bool)
{
    return insert_like(port, value, part, only, dup, "append");
}

Cell insert(Cell const& port, Cell const& value, std::int32_t part, bool only, std::int32_t dup, bool)
{
    return insert_like(port, value, part, only, dup, "insert");
}

Cell change(Cell const& port, Cell const& value, std::int32_t part, bool only, std::int32_t dup)
{
    return insert_like(port, value, part, only, dup, "change");
}

// The index moves and tests: the port alone, or with its index or offset.
// The action's frame cells are taken before the actor's frame is pushed over them.
template <std::uint32_t ArgumentCount> void frame_action(std::string_view action)
{
    Cell* const result = &frame_argument(0);
    Cell const* const argument = &frame_argument(1);
    ActorCall forward(*result, action);
    if constexpr (ArgumentCount > 0) forward.add(*argument);
    *result = forward.call();
}

void at()
{
    frame_action<1>("at");
}
void back()
{
    frame_action<0>("back");
}
void head()
{
    frame_action<0>("head");
}
void head_q()
{
    frame_action<0>("head?");
}
void index_q()
{
    frame_action<0>("index?");
}
void next()
{
    frame_action<0>("next");
}
void skip()
{
    frame_action<1>("skip");
}
void tail()
{
    frame_action<0>("tail");
}
void tail_q()
{
    frame_action<0>("tail?");
}

Cell clear(Cell const& port)
{
    return ActorCall(port, "clear").call();
}
Cell create(Cell const& port)
{
    return ActorCall(port, "create").call();
}
Cell close(Cell const& port)
{
    return ActorCall(port, "close").call();
}
Cell delete_(Cell const& port)
{
    return ActorCall(port, "delete").call();
}
Cell query(Cell const& port)
{
    return ActorCall(port, "query").call();
}
Cell update(Cell const& port)
{
    return ActorCall(port, "update").call();
}

Cell copy(Cell const& port, Refinement part, bool deep, Refinement types)
{
    return ActorCall(port, "copy").refinement(part).flag(deep).refinement(types).call();
}

Cell find_like(Cell const& port, Cell const& value, FindOptions const& options, bool find)
{
    ActorCall forward(port, find ? "find" : "select");
    forward.add(value).refinement(options.part);
    forward.flag(options.only).flag(options.case_sensitive).flag(options.same).flag(options.any);
    forward.refinement(options.with).refinement(options.skip).flag(options.last).flag(options.reverse);
    if (find) forward.flag(options.tail).flag(options.match);
    return forward.call();
}

Cell find(Cell const& port, Cell const& value, FindOptions const& options)
{
    return find_like(port, value, options, true);
}

Cell select(Cell const& port, Cell const& value, FindOptions const& options)
{
    return find_like(port, value, options, false);
}

// The actor's answer as the length slot reads it: none! and negative counts alike answer -1.
std::int32_t length_q(Cell const& port)
{
    Cell const answer = length_answer(port);
    return cell::type_of(answer) == type_ids::none ? -1 : std::max(integer::get(answer), -1);
}

Cell move(Cell const& port, Cell const& target, Refinement part)
{
    return ActorCall(port, "move").add(target).refinement(part).call();
}

Cell pick(Cell const& port, std::int32_t, Cell const& index)
{
    return ActorCall(port, "pick").add(index).call();
}

Cell poke(Cell const& port, std::int32_t, Cell const& index, Cell const& value)
{
    return ActorCall(port, "poke").add(index).add(value).call();
}

Cell put(Cell const& port, Cell const& key, Cell const& value, bool case_sensitive)
{
    return ActorCall(port, "put").add(key).add(value).flag(case_sensitive).call();
}

// /key is not forwarded: a port has no keys of its own to remove by.
Cell remove(Cell const& port, Refinement part, Refinement)
{
    return ActorCall(port, "remove").refinement(part).call();
}

// /skip is not forwarded.
Cell reverse(Cell const& port, Refinement part, Refinement)
{
    return ActorCall(port, "reverse").refinement(part).call();
}

Cell sort(Cell const& port, SortOptions const& options)
{
    ActorCall forward(port, "sort");
    forward.flag(options.case_sensitive).refinement(options.skip).refinement(options.compare);
    forward.refinement(options.part).flag(options.all).flag(options.reverse).flag(options.stable);
    return forward.call();
}

Cell swap(Cell const& port, Cell const& other)
{
    return ActorCall(port, "swap").add(other).call();
}

Cell take(Cell const& port, Refinement part, bool deep, bool last)
{
    return ActorCall(port, "take").refinement(part).flag(deep).flag(last).call();
}

Cell trim(Cell const& port, TrimOptions const& options)
{
    ActorCall forward(port, "trim");
    forward.flag(options.head).flag(options.tail).flag(options.auto_).flag(options.lines).flag(options.all);
    return forward.refinement(options.with).call();
}

Cell modify(Cell const& port, Cell const& field, Cell const& value, bool case_sensitive)
{
    return ActorCall(port, "modify").add(field).add(value).flag(case_sensitive).call();
}

Cell rename(Cell const& port, Cell const& name)
{
    return ActorCall(port, "rename").add(name).call();
}

}

Cell length_answer(Cell const& port)
{
    Cell const answer = ActorCall(port, "length?").call();
    TypeId const type = cell::type_of(answer);
    if (type != type_ids::none && type != type_ids::integer) {
        Cell const type_value = datatype::make(type);
        fire_error(err::script::invalid_type, &type_value);
    }
    return answer;
}

// The access block of /allow is one cell, without a flag.
Cell open(Cell const& port, OpenOptions const& options)
{
    ActorCall forward(port, "open");
    forward.flag(options.new_).flag(options.read).flag(options.write).flag(options.seek);
    return forward.add(options.allow ? *options.allow : none_value).call();
}

// read and write run as open, the transfer, copy and close, each applied to the port itself (every
// forwarded call answers in its own frame, never in the port's cell).
Cell read(Cell const& given, ReadOptions const& options)
{
    Rooted port(given);
    Rooted result(none_value);
    ActorCall(*port, "open").flag(false).flag(false).flag(false).flag(options.seek != nullptr).add(none_value).call();
    *result = ActorCall(*port, "copy").refinement(options.part).flag(false).refinement(nullptr).call();
    ActorCall(*port, "close").call();
    return *result;
}

Cell write(Cell const& given, Cell const& data, WriteOptions const& options)
{
    Rooted port(given);
    Rooted kept_data(data);
    Rooted part(options.part ? *options.part : none_value);
    bool const has_part = options.part != nullptr;
    std::int32_t const length = has_part && cell::type_of(*part) == type_ids::integer ? integer::get(*part) : -1;
    Rooted result(none_value);
    ActorCall(*port, "open").flag(false).flag(false).flag(true).flag(options.seek != nullptr).add(none_value).call();
    ActorCall(*port, "insert").add(*kept_data).count(length != -1, length).flag(false).count(false, 1).call();
    *result = ActorCall(*port, "copy").refinement(has_part ? &*part : nullptr).flag(false).refinement(nullptr).call();
    ActorCall(*port, "close").call();
    return *result;
}

constexpr DatatypeRecord record {
    .id = type_id,
    .parent = object::type_id,
    .name = "port!",
    .actions = {
        .make = make,
        .reflect = inherit,
        .form = form,
        .mold = mold,
        .eval_path = inherit,
        .compare = compare,
        .append = append,
        .at = at,
        .back = back,
        .change = change,
        .clear = clear,
        .copy = copy,
        .find = find,
        .head = head,
        .head_q = head_q,
        .index_q = index_q,
        .insert = insert,
        .length_q = length_q,
        .move = move,
        .next = next,
        .pick = pick,
        .poke = poke,
        .put = put,
        .remove = remove,
        .reverse = reverse,
        .select = select,
        .sort = sort,
        .skip = skip,
        .swap = swap,
        .tail = tail,
        .tail_q = tail_q,
        .take = take,
        .trim = trim,
        .create = create,
        .close = close,
        .delete_ = delete_,
        .modify = modify,
        .open = open,
        .query = query,
        .read = read,
        .rename = rename,
        .update = update,
        .write = write,
    },
};

}
