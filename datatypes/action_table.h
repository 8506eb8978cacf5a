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

#include "runtime/cell.h"
#include "runtime/operations.h"

namespace xol {

using SymbolId = std::uint32_t;
using Refinement = Cell const*; // the refinement's first argument cell; nullptr when it is not used

// One step of a path: `value/element`, reading or (with `new_value`) setting.
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

// The members in action order; `Slot` is ActionSlot in a module's record and a bare function pointer in
// the resolved table.
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

inline constexpr int action_count = 62;

// Calls visit(declared slot, parent's entry, resolved entry) for every action, in action order: the one
// list of the actions' members, for the code that treats them all alike.
template <typename Visit>
void for_each_action(ActionTable const& declared, TypeActions const& parent, TypeActions& resolved, Visit&& visit)
{
    visit(declared.make, parent.make, resolved.make);
    visit(declared.random, parent.random, resolved.random);
    visit(declared.reflect, parent.reflect, resolved.reflect);
    visit(declared.to, parent.to, resolved.to);
    visit(declared.form, parent.form, resolved.form);
    visit(declared.mold, parent.mold, resolved.mold);
    visit(declared.eval_path, parent.eval_path, resolved.eval_path);
    visit(declared.set_path, parent.set_path, resolved.set_path);
    visit(declared.compare, parent.compare, resolved.compare);
    visit(declared.absolute, parent.absolute, resolved.absolute);
    visit(declared.add, parent.add, resolved.add);
    visit(declared.divide, parent.divide, resolved.divide);
    visit(declared.multiply, parent.multiply, resolved.multiply);
    visit(declared.negate, parent.negate, resolved.negate);
    visit(declared.power, parent.power, resolved.power);
    visit(declared.remainder, parent.remainder, resolved.remainder);
    visit(declared.round, parent.round, resolved.round);
    visit(declared.subtract, parent.subtract, resolved.subtract);
    visit(declared.even_q, parent.even_q, resolved.even_q);
    visit(declared.odd_q, parent.odd_q, resolved.odd_q);
    visit(declared.and_, parent.and_, resolved.and_);
    visit(declared.complement, parent.complement, resolved.complement);
    visit(declared.or_, parent.or_, resolved.or_);
    visit(declared.xor_, parent.xor_, resolved.xor_);
    visit(declared.append, parent.append, resolved.append);
    visit(declared.at, parent.at, resolved.at);
    visit(declared.back, parent.back, resolved.back);
    visit(declared.change, parent.change, resolved.change);
    visit(declared.clear, parent.clear, resolved.clear);
    visit(declared.copy, parent.copy, resolved.copy);
    visit(declared.find, parent.find, resolved.find);
    visit(declared.head, parent.head, resolved.head);
    visit(declared.head_q, parent.head_q, resolved.head_q);
    visit(declared.index_q, parent.index_q, resolved.index_q);
    visit(declared.insert, parent.insert, resolved.insert);
    visit(declared.length_q, parent.length_q, resolved.length_q);
    visit(declared.move, parent.move, resolved.move);
    visit(declared.next, parent.next, resolved.next);
    visit(declared.pick, parent.pick, resolved.pick);
    visit(declared.poke, parent.poke, resolved.poke);
    visit(declared.put, parent.put, resolved.put);
    visit(declared.remove, parent.remove, resolved.remove);
    visit(declared.reverse, parent.reverse, resolved.reverse);
    visit(declared.select, parent.select, resolved.select);
    visit(declared.sort, parent.sort, resolved.sort);
    visit(declared.skip, parent.skip, resolved.skip);
    visit(declared.swap, parent.swap, resolved.swap);
    visit(declared.tail, parent.tail, resolved.tail);
    visit(declared.tail_q, parent.tail_q, resolved.tail_q);
    visit(declared.take, parent.take, resolved.take);
    visit(declared.trim, parent.trim, resolved.trim);
    visit(declared.create, parent.create, resolved.create);
    visit(declared.close, parent.close, resolved.close);
    visit(declared.delete_, parent.delete_, resolved.delete_);
    visit(declared.modify, parent.modify, resolved.modify);
    visit(declared.open, parent.open, resolved.open);
    visit(declared.open_q, parent.open_q, resolved.open_q);
    visit(declared.query, parent.query, resolved.query);
    visit(declared.read, parent.read, resolved.read);
    visit(declared.rename, parent.rename, resolved.rename);
    visit(declared.update, parent.update, resolved.update);
    visit(declared.write, parent.write, resolved.write);
}

inline constexpr TypeId no_parent = 0;

// Calls visit(slot) for every slot of a declared table, in action order.
template <typename Visit> constexpr void for_each_slot(ActionTable& table, Visit&& visit)
{
    visit(table.make);
    visit(table.random);
    visit(table.reflect);
    visit(table.to);
    visit(table.form);
    visit(table.mold);
    visit(table.eval_path);
    visit(table.set_path);
    visit(table.compare);
    visit(table.absolute);
    visit(table.add);
    visit(table.divide);
    visit(table.multiply);
    visit(table.negate);
    visit(table.power);
    visit(table.remainder);
    visit(table.round);
    visit(table.subtract);
    visit(table.even_q);
    visit(table.odd_q);
    visit(table.and_);
    visit(table.complement);
    visit(table.or_);
    visit(table.xor_);
    visit(table.append);
    visit(table.at);
    visit(table.back);
    visit(table.change);
    visit(table.clear);
    visit(table.copy);
    visit(table.find);
    visit(table.head);
    visit(table.head_q);
    visit(table.index_q);
    visit(table.insert);
    visit(table.length_q);
    visit(table.move);
    visit(table.next);
    visit(table.pick);
    visit(table.poke);
    visit(table.put);
    visit(table.remove);
    visit(table.reverse);
    visit(table.select);
    visit(table.sort);
    visit(table.skip);
    visit(table.swap);
    visit(table.tail);
    visit(table.tail_q);
    visit(table.take);
    visit(table.trim);
    visit(table.create);
    visit(table.close);
    visit(table.delete_);
    visit(table.modify);
    visit(table.open);
    visit(table.open_q);
    visit(table.query);
    visit(table.read);
    visit(table.rename);
    visit(table.update);
    visit(table.write);
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
