// The action table: one row per action, in action order (row i is action i + 1), each the action's language
// name and its entry. The order is that of ActionsOf (datatypes/action_table.h); start-up refuses a spec of
// library/boot.xol whose name is not its row's, and the compiler refuses an entry made for one slot that
// stands at another slot's index.
#pragma once

#include <cstdint>
#include <iterator>
#include <string_view>
#include <type_traits>

#include "interpreter/actions.h"
#include "interpreter/actions_private.h"

namespace xol::actions {

// How an action is reached: through the word its spec in library/boot.xol names, or only by C++ code
// with machine arguments (eval-path, compare), or not at all (set-path).
enum class Reach { Word, CodeOnly };

struct Row {
    std::string_view name; // the language name, as the action's spec names it
    Entry entry; // nullptr for set-path
    Reach reach = Reach::Word;
    std::int32_t slot = 0; // for an entry made for one slot: that slot's action index; 0 for the others
};

namespace detail {

// The row of an entry made for one slot: from_frame, unary or predicate, by the slot's type.
template <auto Slot> consteval Row slot_row(std::string_view name)
{
    using SlotType = decltype(Slot);
    Entry entry = nullptr;
    if constexpr (std::is_same_v<SlotType, action_types::FromFrame TypeActions::*>) {
        entry = from_frame<Slot>;
    } else if constexpr (std::is_same_v<SlotType, action_types::Unary TypeActions::*>) {
        entry = unary<Slot>;
    } else {
        static_assert(
            std::is_same_v<SlotType, action_types::Predicate TypeActions::*>, "no entry is made for this slot");
        entry = predicate<Slot>;
    }
    return { .name = name, .entry = entry, .reach = Reach::Word, .slot = action_index_of(Slot) };
}

inline constexpr Row rows[] = {
    { "make", make },
    { "random", random },
    { "reflect", reflect },
    { "to", to },
    { "form", form },
    { "mold", mold },
    { "eval-path", eval_path, Reach::CodeOnly },
    { "set-path", nullptr, Reach::CodeOnly }, // paths are set through eval-path
    { "compare", compare, Reach::CodeOnly },
    slot_row<&TypeActions::absolute>("absolute"),
    slot_row<&TypeActions::add>("add"),
    slot_row<&TypeActions::divide>("divide"),
    slot_row<&TypeActions::multiply>("multiply"),
    slot_row<&TypeActions::negate>("negate"),
    slot_row<&TypeActions::power>("power"),
    slot_row<&TypeActions::remainder>("remainder"),
    { "round", round },
    slot_row<&TypeActions::subtract>("subtract"),
    slot_row<&TypeActions::even_q>("even?"),
    slot_row<&TypeActions::odd_q>("odd?"),
    slot_row<&TypeActions::and_>("and~"),
    slot_row<&TypeActions::complement>("complement"),
    slot_row<&TypeActions::or_>("or~"),
    slot_row<&TypeActions::xor_>("xor~"),
    { "append", append },
    slot_row<&TypeActions::at>("at"),
    slot_row<&TypeActions::back>("back"),
    { "change", change },
    slot_row<&TypeActions::clear>("clear"),
    { "copy", copy },
    { "find", find },
    slot_row<&TypeActions::head>("head"),
    slot_row<&TypeActions::head_q>("head?"),
    slot_row<&TypeActions::index_q>("index?"),
    { "insert", insert },
    { "length?", length_q },
    { "move", move },
    slot_row<&TypeActions::next>("next"),
    { "pick", pick },
    { "poke", poke },
    { "put", put },
    { "remove", remove },
    { "reverse", reverse },
    { "select", select },
    { "sort", sort },
    slot_row<&TypeActions::skip>("skip"),
    { "swap", swap },
    slot_row<&TypeActions::tail>("tail"),
    slot_row<&TypeActions::tail_q>("tail?"),
    { "take", take },
    { "trim", trim },
    slot_row<&TypeActions::create>("create"),
    slot_row<&TypeActions::close>("close"),
    slot_row<&TypeActions::delete_>("delete"),
    { "modify", modify },
    { "open", open },
    slot_row<&TypeActions::open_q>("open?"),
    slot_row<&TypeActions::query>("query"),
    { "read", read },
    { "rename", rename },
    slot_row<&TypeActions::update>("update"),
    { "write", write },
};

}

using detail::rows;

static_assert(std::size(rows) == count, "one row per member of ActionsOf");

// The index of the action named `name`, at compile time: a name without a row stops the build.
consteval std::int32_t index_of(std::string_view name)
{
    for (std::size_t i = 0; i < std::size(rows); ++i)
        if (rows[i].name == name) return static_cast<std::int32_t>(i + 1);
    throw "no action has that name";
}

consteval bool rows_are_sound()
{
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        if (rows[i].slot != 0 && rows[i].slot != static_cast<std::int32_t>(i + 1)) return false; // out of place
        for (std::size_t j = 0; j < i; ++j)
            if (rows[j].name == rows[i].name) return false; // one name, two rows
    }
    return true;
}
static_assert(rows_are_sound(), "each row stands at its slot's index and has a name of its own");

// The number of actions library/boot.xol describes: those a word reaches.
consteval std::int32_t count_word_rows()
{
    std::int32_t words = 0;
    for (Row const& row : rows)
        if (row.reach == Reach::Word) ++words;
    return words;
}
inline constexpr std::int32_t word_count = count_word_rows();

}
