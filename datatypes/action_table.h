// The 62 actions every datatype may implement, one typed slot each, in the one order all datatypes share.
// A datatype module fills the slots it has, marks with `inherit` those it takes from its parent, and
// leaves the rest empty (the action then raises "does not allow" for that type). Registration resolves
// `inherit` once, so dispatch is one indexed load.
//
// Argument conventions: a refinement with arguments arrives as the address of its first argument cell,
// nullptr when the refinement is not used; a refinement without arguments as a bool. Slots answer their
// result as a cell, which the action's entry stores in the call's result cell; the "frame" slots (the
// arithmetic and the index moves) read their arguments from the call frame and write the result there.
#pragma once

#include <cstdint>
#include <tuple>
#include <utility>

#include "runtime/cell.h"
#include "runtime/operations.h"

namespace xol {

using SymbolId = std::uint32_t;
using Refinement = Cell const*; // the refinement's first argument cell; nullptr when it is not used

// One step of a path: `value/element`, reading or (with `new_value`) setting. A value held in its cell (a
// scalar!) cannot change where it is kept: its set step answers the whole changed value, and the evaluator
// stores that back into the value's holder.
struct PathStep {
    Cell const& value;
    Cell const& element;
    Cell const* new_value; // nullptr when reading
    Cell const* path; // the whole path, for error messages; nullptr when none
    Cell const* parent; // the value the current one was taken from
    Cell const* previous_element;
    std::int32_t position; // the element's position in the path; -1 when unknown
    bool case_sensitive;
    bool get; // a get-path: functions are not called
    bool last_element; // the final step
    bool signal_owner; // the container's owner hears of the change
};

struct RoundOptions {
    Refinement to;
    bool even, down, half_down, floor, ceiling, half_ceiling;
};

struct FindOptions {
    Refinement part;
    bool only, case_sensitive, same, any;
    Refinement with, skip;
    bool last, reverse, tail, match;
};

struct SortOptions {
    bool case_sensitive;
    Refinement skip, compare, part;
    bool all, reverse, stable;
};

struct TrimOptions {
    bool head, tail, auto_, lines, all;
    Refinement with;
};

struct OpenOptions {
    bool new_, read, write, seek;
    Refinement allow;
};

struct ReadOptions {
    Refinement part, seek;
    bool binary, lines, info;
    Refinement as;
};

struct WriteOptions {
    bool binary, lines, info, append;
    Refinement part, seek, allow, as;
};

namespace action_types {

using Make = Cell (*)(Cell const& prototype, Cell const& spec, TypeId type); // make and to
using Random = Cell (*)(Cell const& value, bool seed, bool secure, bool only);
using Reflect = Cell (*)(Cell const& value, SymbolId field);
// Appends the text to the string! `buffer`; answers `limit` less the characters appended.
using Form = std::int32_t (*)(Cell const& value, Cell& buffer, Refinement part, std::int32_t limit);
using Mold = std::int32_t (*)(Cell const& value, Cell& buffer, bool only, bool all, bool flat, Refinement part,
    std::int32_t limit, std::int32_t indent);
using EvalPath = Cell (*)(PathStep const& step);
// 0 for equal (equality codes) or the order -1/0/1 (ordering codes); 1 for unequal; compare_incomparable.
using Compare = std::int32_t (*)(Cell const& value1, Cell const& value2, CompareOp);
using FromFrame = void (*)(); // reads the call frame, writes the result cell
using Predicate = bool (*)(Cell const& value);
using Unary = Cell (*)(Cell const& value);
using Round = Cell (*)(Cell const& value, RoundOptions const&);
// append and insert: `part` is a count (-1 for all), `dup` a count (1 without /dup); `append` true for append.
using Insert
    = Cell (*)(Cell const& series, Cell const& value, std::int32_t part, bool only, std::int32_t dup, bool append);
using Change = Cell (*)(Cell const& series, Cell const& value, std::int32_t part, bool only, std::int32_t dup);
using Copy = Cell (*)(Cell const& value, Refinement part, bool deep, Refinement types);
using Find = Cell (*)(Cell const& series, Cell const& value, FindOptions const&); // find and select
using Length = std::int32_t (*)(Cell const& value); // -1 answers none
using Move = Cell (*)(Cell const& origin, Cell const& target, Refinement part);
// pick and poke: `index` as the entry reads it (integer, char code, true 1, false 2, other types 0).
using Pick = Cell (*)(Cell const& series, std::int32_t index, Cell const& index_value);
using Poke = Cell (*)(Cell const& series, std::int32_t index, Cell const& index_value, Cell const& value);
using Put = Cell (*)(Cell const& series, Cell const& key, Cell const& value, bool case_sensitive);
using Remove = Cell (*)(Cell const& series, Refinement part, Refinement key);
using Reverse = Cell (*)(Cell const& series, Refinement part, Refinement skip);
using Sort = Cell (*)(Cell const& series, SortOptions const&);
using Binary = Cell (*)(Cell const& value1, Cell const& value2); // swap, rename
using Take = Cell (*)(Cell const& series, Refinement part, bool deep, bool last);
using Trim = Cell (*)(Cell const& series, TrimOptions const&);
using Modify = Cell (*)(Cell const& target, Cell const& field, Cell const& value, bool case_sensitive);
using Open = Cell (*)(Cell const& port, OpenOptions const&);
using Read = Cell (*)(Cell const& source, ReadOptions const&);
using Write = Cell (*)(Cell const& destination, Cell const& data, WriteOptions const&);
using Reserved = void (*)(); // the set-path slot: no type fills it

}

struct InheritTag { };
inline constexpr InheritTag inherit {};

// A slot as a module declares it: a function, `inherit`, or empty.
template <typename Function> struct ActionSlot {
    Function function = nullptr;
    bool inherits = false;

    constexpr ActionSlot() = default;
    constexpr ActionSlot(Function given)
        : function(given)
    {
    }
    constexpr ActionSlot(InheritTag)
        : inherits(true)
    {
    }
};

// The one declaration of the actions: their C++ names, their slots' types and their order, which is the
// action table's index order (make is action 1). `Slot` is ActionSlot in a module's record and a bare
// function pointer in the resolved table.
template <template <typename> class Slot> struct ActionsOf {
    Slot<action_types::Make> make;
    Slot<action_types::Random> random;
    Slot<action_types::Reflect> reflect;
    Slot<action_types::Make> to;
    Slot<action_types::Form> form;
    Slot<action_types::Mold> mold;
    Slot<action_types::EvalPath> eval_path;
    Slot<action_types::Reserved> set_path;
    Slot<action_types::Compare> compare;
    Slot<action_types::FromFrame> absolute;
    Slot<action_types::FromFrame> add;
    Slot<action_types::FromFrame> divide;
    Slot<action_types::FromFrame> multiply;
    Slot<action_types::Unary> negate;
    Slot<action_types::FromFrame> power;
    Slot<action_types::FromFrame> remainder;
    Slot<action_types::Round> round;
    Slot<action_types::FromFrame> subtract;
    Slot<action_types::Predicate> even_q;
    Slot<action_types::Predicate> odd_q;
    Slot<action_types::FromFrame> and_;
    Slot<action_types::Unary> complement;
    Slot<action_types::FromFrame> or_;
    Slot<action_types::FromFrame> xor_;
    Slot<action_types::Insert> append;
    Slot<action_types::FromFrame> at;
    Slot<action_types::FromFrame> back;
    Slot<action_types::Change> change;
    Slot<action_types::Unary> clear;
    Slot<action_types::Copy> copy;
    Slot<action_types::Find> find;
    Slot<action_types::FromFrame> head;
    Slot<action_types::FromFrame> head_q;
    Slot<action_types::FromFrame> index_q;
    Slot<action_types::Insert> insert;
    Slot<action_types::Length> length_q;
    Slot<action_types::Move> move;
    Slot<action_types::FromFrame> next;
    Slot<action_types::Pick> pick;
    Slot<action_types::Poke> poke;
    Slot<action_types::Put> put;
    Slot<action_types::Remove> remove;
    Slot<action_types::Reverse> reverse;
    Slot<action_types::Find> select;
    Slot<action_types::Sort> sort;
    Slot<action_types::FromFrame> skip;
    Slot<action_types::Binary> swap;
    Slot<action_types::FromFrame> tail;
    Slot<action_types::FromFrame> tail_q;
    Slot<action_types::Take> take;
    Slot<action_types::Trim> trim;
    Slot<action_types::Unary> create;
    Slot<action_types::Unary> close;
    Slot<action_types::Unary> delete_;
    Slot<action_types::Modify> modify;
    Slot<action_types::Open> open;
    Slot<action_types::Unary> open_q;
    Slot<action_types::Unary> query;
    Slot<action_types::Read> read;
    Slot<action_types::Binary> rename;
    Slot<action_types::Unary> update;
    Slot<action_types::Write> write;
};

template <typename Function> using ResolvedSlot = Function;

using ActionTable = ActionsOf<ActionSlot>; // as a module declares it
using TypeActions = ActionsOf<ResolvedSlot>; // as dispatch reads it, parents resolved

// The members of an action table as a tuple of references, in action order: the one way code walks every
// action without naming each. The binding takes one placeholder per member, so a member added to
// ActionsOf or taken from it stops the build here until the count agrees; ActionsOf alone names them.
template <typename Table> constexpr auto members_of(Table& table)
{
    auto& [a01, a02, a03, a04, a05, a06, a07, a08, a09, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19, a20, a21, a22,
        a23, a24, a25, a26, a27, a28, a29, a30, a31, a32, a33, a34, a35, a36, a37, a38, a39, a40, a41, a42, a43, a44,
        a45, a46, a47, a48, a49, a50, a51, a52, a53, a54, a55, a56, a57, a58, a59, a60, a61, a62]
        = table;
    return std::tie(a01, a02, a03, a04, a05, a06, a07, a08, a09, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19, a20,
        a21, a22, a23, a24, a25, a26, a27, a28, a29, a30, a31, a32, a33, a34, a35, a36, a37, a38, a39, a40, a41, a42,
        a43, a44, a45, a46, a47, a48, a49, a50, a51, a52, a53, a54, a55, a56, a57, a58, a59, a60, a61, a62);
}

inline constexpr int action_count
    = static_cast<int>(std::tuple_size_v<decltype(members_of(std::declval<TypeActions&>()))>);

// Calls visit(declared slot, parent's entry, resolved entry) for every action, in action order, for the
// code that treats them all alike.
template <typename Visit>
void for_each_action(ActionTable const& declared, TypeActions const& parent, TypeActions& resolved, Visit&& visit)
{
    auto const declared_members = members_of(declared);
    auto const parent_members = members_of(parent);
    auto const resolved_members = members_of(resolved);
    [&]<std::size_t... Index>(std::index_sequence<Index...>)
    {
        (visit(std::get<Index>(declared_members), std::get<Index>(parent_members), std::get<Index>(resolved_members)),
            ...);
    }
    (std::make_index_sequence<action_count> {});
}

inline constexpr TypeId no_parent = 0;

// Calls visit(slot) for every slot of a declared table, in action order.
template <typename Visit> constexpr void for_each_slot(ActionTable& table, Visit&& visit)
{
    std::apply([&](auto&... slot) { (visit(slot), ...); }, members_of(table));
}

// The 1-based index of the action whose slot `member` is, read from the members' order: code that is made
// for one slot checks at compile time that it stands at that slot's index.
template <typename Function> consteval std::int32_t action_index_of(Function TypeActions::*member)
{
    TypeActions table {};
    void const* const wanted = &(table.*member);
    std::int32_t index = 0;
    std::int32_t found = 0;
    auto const look = [&](void const* slot) {
        ++index;
        if (slot == wanted) found = index;
    };
    std::apply([&](auto const&... slot) { (look(&slot), ...); }, members_of(table));
    return found;
}

// Every slot taken from the parent: a child then names only the actions it does its own way.
// (A slot the parent leaves empty stays empty in the child.)
constexpr ActionTable all_inherited()
{
    ActionTable table;
    for_each_slot(table, [](auto& slot) { slot = inherit; });
    return table;
}

struct DatatypeRecord {
    TypeId id;
    TypeId parent;
    char const* name; // with its "!"
    ActionTable actions;
};

}
