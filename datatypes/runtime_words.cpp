// The runtime's own symbols, words and refinements, made once in their fixed order.

#include "datatypes/runtime_words.h"

#include <string_view>

#include "datatypes/context.h"
#include "datatypes/registry.h"
#include "datatypes/symbol.h"
#include "datatypes/word.h"
#include "runtime/collector.h"
#include "runtime/stack.h"

namespace xol::words {

RuntimeWordsState state;

namespace {

using namespace std::string_view_literals;

// In the order of the Symbol enumeration.
// clang-format off
constexpr std::string_view symbol_texts[] = {
    "spec", "body", "words", "class", "logic!", "integer!", "char!", "float!", "percent!", "any-type!", "exit",
    "return",
    "Windows", "Syllable", "macOS", "Linux", "NetBSD",
    "repeat", "foreach", "map-each", "remove-each",
    "any", "break", "copy", "end", "fail", "into", "opt", "not", "quote", "case", "reject", "set", "skip", "some",
    "thru", "to", "none", "|", "-", "if", "remove", "while", "insert", "only", "collect", "keep", "pick", "ahead",
    "after",
    "x", "y", "z", "self", "values", "owner", "owned", "events?", "true", "false", "yes", "no", "on", "off",
    "type", "face", "window", "offset", "key", "flag", "code", "picked", "flags", "away?", "ctrl?", "shift?",
    "down?", "mid-down?", "alt-down?", "aux-down?", "orientation", "get", "put", "post", "head", "size", "rgb",
    "alpha", "argb",
    "date", "year", "month", "day", "zone", "isoweek", "week", "weekday", "yearday", "julian", "time", "hour",
    "minute", "second", "timezone",
    "amount", "user", "host", "system", "system-global", "stack", "trace", "no-trace",
    "locale", "months", "currencies", "list", "options", "money-digits",
};
// clang-format on
static_assert(std::size(symbol_texts) == symbol_count);

// The words made from runtime symbols, exactly as spelled, in their order at the head of Word.
// clang-format off
constexpr Symbol symbol_words[] = {
    Symbol::os_windows, Symbol::os_syllable, Symbol::os_macos, Symbol::os_linux, Symbol::os_netbsd,
    Symbol::to, Symbol::thru, Symbol::not_, Symbol::remove, Symbol::while_, Symbol::collect, Symbol::keep,
    Symbol::ahead, Symbol::bar, Symbol::any, Symbol::some, Symbol::copy, Symbol::opt, Symbol::into, Symbol::insert,
    Symbol::if_, Symbol::quote, Symbol::set, Symbol::case_,
};
// clang-format on
static_assert(static_cast<std::size_t>(Word::at) == std::size(symbol_words));

// The words made from text, from Word::at on; the one empty entry is `end`, made from its symbol.
// clang-format off
constexpr std::string_view word_texts[] = {
    "at", "back", "find", "head", "head?", "index?", "length?", "next", "pick", "skip", "select", "tail", "tail?",
    "change", "changed", "clear", "cleared", "set-path", "append", "appended", "move", "moved", "poke", "poked",
    "put", "put-ed", "removed", "random", "randomized", "reverse", "reversed", "sort", "sorted", "swap", "swaped",
    "take", "taken", "trim", "trimmed", "inserted", "uppercase", "lowercase", "checksum", "push", "pop", "fetch",
    "match", "iterate", "paren", "<anon>", "<body>", "<not-found>",
    ""sv,
    "add", "subtract", "divide", "on-parse-event", "on-change*", "on-deep-change*", "type", "id", "try", "catch",
    "name", "multiply", "browse", "open", "create", "close", "delete", "modify", "query", "read", "rename", "update",
    "write", "prescan", "scan", "load", "error", "comment", "init", "exec", "call", "return", "enter", "exit",
    "prolog", "epilog", "throw", "expr", "<interp-callback>", "<lexer-callback>", "<parse-callback>",
    "<compare-callback>", "throw", "note", "syntax", "script", "math", "access", "user", "internal",
    "invalid-error", "local", "<applied>",
};
// clang-format on
static_assert(std::size(symbol_words) + std::size(word_texts) == word_count);
static_assert(static_cast<std::size_t>(Word::end) - static_cast<std::size_t>(Word::at) == 52);

constexpr std::string_view refinement_texts[] = { "local", "extern", "compare", "part", "skip", "with" };
static_assert(std::size(refinement_texts) == refinement_count);

// The words are bound to the global context, which lives for the whole run; marking them keeps their
// context node current when the collector moves nodes.
void mark_words()
{
    for (Cell& word : state.words) gc::mark_cell(word);
    for (Cell& refinement : state.refinements) gc::mark_cell(refinement);
}

}

void init()
{
    state = RuntimeWordsState {};
    gc::add_callback(mark_words);
    for (std::size_t i = 0; i < symbol_count; ++i) state.symbols[i] = symbol::make(symbol_texts[i]);
    std::size_t made = 0;
    for (Symbol entry : symbol_words) state.words[made++] = context::add_global_word(symbol_of(entry));
    for (std::string_view text : word_texts) {
        state.words[made++] = text.empty() ? context::add_global_word(symbol_of(Symbol::end)) : word::make_global(text);
    }
    for (std::size_t i = 0; i < refinement_count; ++i) state.refinements[i] = refinement::make(refinement_texts[i]);

    stack::set_internal_symbols(word_of(Word::body).word2, word_of(Word::anon).word2, word_of(Word::not_found).word2);
}

}

namespace xol::datatype {

void make_type_word(TypeId type)
{
    registry.types[type].word = word::make_global(name(type)).word2;
}

void make_type_words()
{
    for (TypeId type = 1; type <= registry.highest; ++type)
        if (is_registered(type)) make_type_word(type);
}

}
