// The runtime's own names: symbols, global words and refinements that runtime modules compare against or
// hand to the language (dialect keywords, field names of paths, series change events, frame names, error
// categories). Made once, early, in a fixed order; read by symbol id or as bound words, never by text.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "runtime/cell.h"
#include "runtime/hashtable.h"

namespace xol::words {

// Runtime symbols, in the order they are made. Spellings: "!" types drop the "!", "?" becomes _q, "|" is
// bar, "-" minus, the platform names take os_; C++ keywords get a trailing _.
// clang-format off
enum class Symbol : std::uint16_t {
    spec, body, words, class_, logic, integer, char_, float_, percent, any_type, exit, return_,
    os_windows, os_syllable, os_macos, os_linux, os_netbsd,
    repeat, foreach, map_each, remove_each,
    any, break_, copy, end, fail, into, opt, not_, quote, case_, reject, set, skip, some, thru, to, none, bar,
    minus, if_, remove, while_, insert, only, collect, keep, pick, ahead, after,
    x, y, z, self, values, owner, owned, events_q, true_, false_, yes, no, on, off,
    type, face, window, offset, key, flag, code, picked, flags, away_q, ctrl_q, shift_q, down_q, mid_down_q,
    alt_down_q, aux_down_q, orientation, get, put, post, head, size, rgb, alpha, argb,
    date, year, month, day, zone, isoweek, week, weekday, yearday, julian, time, hour, minute, second, timezone,
    amount, user, host, system, system_global, stack, trace, no_trace,
    locale, months, currencies, list, options, money_digits,
    count_
};
// clang-format on

// Runtime words, bound to the global context, in the order they are made. "<body>" is body, "on-change*"
// on_change_star; the first "throw" is the trace event's word, the second the throw native's frame name.
// clang-format off
enum class Word : std::uint16_t {
    // Made from runtime symbols, exactly as spelled.
    os_windows, os_syllable, os_macos, os_linux, os_netbsd,
    to, thru, not_, remove, while_, collect, keep, ahead, bar, any, some, copy, opt, into, insert, if_, quote,
    set, case_,
    // Made from text.
    at, back, find, head, head_q, index_q, length_q, next, pick, skip, select, tail, tail_q,
    change, changed, clear, cleared, set_path, append, appended, move, moved, poke, poked, put, put_ed,
    removed, random, randomized, reverse, reversed, sort, sorted, swap, swaped, take, taken, trim, trimmed,
    inserted, uppercase, lowercase, checksum, push, pop, fetch, match, iterate, paren, anon, body, not_found,
    end, // from the runtime symbol
    add, subtract, divide, on_parse_event, on_change_star, on_deep_change_star, type, id, try_, catch_, name,
    multiply, browse, open, create, close, delete_, modify, query, read, rename, update, write,
    prescan, scan, load, error, comment, init, exec, call, return_, enter, exit, prolog, epilog, throw_event,
    expr, interp_callback, lexer_callback, parse_callback, compare_callback, throw_,
    note, syntax, script, math, access, user, internal, invalid_error, local, applied,
    count_
};
// clang-format on

// Refinement words, unbound: /local /extern /compare /part /skip /with.
enum class RefinementWord : std::uint8_t { local, extern_, compare, part, skip, with, count_ };

inline constexpr std::size_t symbol_count = static_cast<std::size_t>(Symbol::count_);
inline constexpr std::size_t word_count = static_cast<std::size_t>(Word::count_);
inline constexpr std::size_t refinement_count = static_cast<std::size_t>(RefinementWord::count_);

// The tables. The word cells are marked by the collector (and rewritten when nodes move).
struct RuntimeWordsState {
    std::array<SymbolId, symbol_count> symbols {};
    std::array<Cell, word_count> words {};
    std::array<Cell, refinement_count> refinements {};
};

extern RuntimeWordsState state;

inline SymbolId symbol_of(Symbol entry)
{
    return state.symbols[static_cast<std::size_t>(entry)];
}
inline Cell const& word_of(Word entry)
{
    return state.words[static_cast<std::size_t>(entry)];
}
inline Cell const& refinement_of(RefinementWord entry)
{
    return state.refinements[static_cast<std::size_t>(entry)];
}

// Makes the runtime symbols, then the global words, then the refinements, registers their marking and
// gives the value stack its frame-name symbols ("<body>", "<anon>", "<not-found>"). Start-up calls it
// once, after the type-name words. May allocate.
void init();

}

namespace xol::datatype {

// The global word of every registered type's name (with its "!"), its symbol kept in the type table.
// Start-up calls it once, after the symbol table and the global context exist. May allocate.
void make_type_words();
// The same for one type: for a datatype that registers once words exist. May allocate.
void make_type_word(TypeId type);

}
