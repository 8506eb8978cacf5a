// Fuzz target for the parse engine: the bytes are cut into an input (text of each unit width, bytes, or a
// block of values) and a text of rules, drawn from the keywords, literals, charsets, nested blocks,
// positions and parens, which the lexer loads; the engine runs them, with or without a callback. Errors are answers; a
// crash, a sanitizer report, an assertion, a hang or stacks left holding anything after a run are faults.
// Rules may legally run for ever (while, insert), so every run has a step budget.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/startup.h"
#include "datatypes/none.h"
#include "datatypes/registry.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/word.h"
#include "interpreter/evaluator.h"
#include "interpreter/lexer/lexer.h"
#include "interpreter/parse/parse.h"
#include "runtime/collector.h"
#include "runtime/errors.h"
#include "runtime/roots.h"
#include "runtime/series.h"
#include "runtime/stack.h"
#include "tests/fuzz/fuzz_guard.h"

namespace {

using namespace xol;

// The bytes, read one at a time; past the end every read answers 0.
struct Bytes {
    std::uint8_t const* data;
    std::size_t size;
    std::size_t next = 0;

    std::uint8_t take() { return next < size ? data[next++] : 0; }
    bool empty() const { return next >= size; }
};

// Characters of the text inputs: letters of both cases, separators, Latin-1, a 2-byte and two 4-byte
// characters that fold into each other, and NUL.
constexpr std::string_view alphabet[] = { "a", "b", "A", "B", ",", " ", "\xC3\xA9", "\xC3\x89", "\xE2\x82\xAC",
    "\xF0\x90\x90\x80", "\xF0\x90\x90\xA8", std::string_view("\0", 1), "1", "x" };

// Rule pieces. Words are bound to globals that start-up of the target sets.
constexpr std::string_view pieces[] = {
    // keywords
    "|",
    "skip",
    "any",
    "some",
    "opt",
    "while",
    "copy x",
    "set x",
    "to",
    "thru",
    "remove",
    "break",
    "reject",
    "fail",
    "keep",
    "keep pick",
    "ahead",
    "not",
    "into",
    "collect",
    "collect set x",
    "collect into t",
    "collect after t",
    "insert",
    "insert only",
    "change",
    "change only",
    "end",
    "if (n < 3)",
    "quote",
    "case on",
    "case off",
    "none",
    "pick",
    "only",
    "copy",
    "set",
    "if",
    "case",
    // literals and types
    "\"a\"",
    "\"b\"",
    "\"\"",
    "\"ab\"",
    "\"A\"",
    "#\"a\"",
    "#\"A\"",
    "#\"^@\"",
    "\"\xC3\xA9\"",
    "\"\xE2\x82\xAC\"",
    "'a",
    "'x",
    "1",
    "2",
    "0",
    "-1",
    "3 5",
    "5 3",
    "word!",
    "integer!",
    "string!",
    "block!",
    "any-word!",
    "1.5",
    "/ref",
    "#iss",
    "a/b",
    // charsets: plain, complemented (members past their bits), of wide characters, empty, of everything
    "digits",
    "letters",
    "non-digits",
    "wide",
    "no-chars",
    "all-chars",
    "some letters",
    "to digits",
    "thru non-digits",
    "2 4 wide",
    // positions, words holding rules and values
    "p:",
    ":p",
    "x",
    "r",
    "w",
    "lit",
    "empty",
    "t:",
    ":t",
    // parens
    "(n: n + 1)",
    "()",
    "(clear input)",
    "(append input \"a\")",
    "(parse \"ab\" [some \"a\" skip])",
    "(1 / 0)",
    "(throw 1)",
    "([a b])",
    "(remove input)",
    "(p: tail input)",
    // nesting
    "[",
    "[",
    "]",
    "]",
};

constexpr std::size_t piece_count = std::size(pieces);

std::string rules_text(Bytes& bytes)
{
    std::string text;
    int depth = 0;
    std::size_t count = 0;
    while (!bytes.empty() && count++ < 64) {
        std::string_view const piece = pieces[bytes.take() % piece_count];
        if (piece == "]") {
            if (depth == 0) continue;
            --depth;
        } else if (piece == "[") {
            ++depth;
        }
        text += piece;
        text += ' ';
    }
    while (depth-- > 0) text += "] ";
    return text;
}

std::string text_input(Bytes& bytes, std::size_t length)
{
    std::string text;
    for (std::size_t i = 0; i < length; ++i) text += alphabet[bytes.take() % std::size(alphabet)];
    return text;
}

constexpr std::string_view values[]
    = { "a", "1", "\"ab\"", "[a 1]", "(b)", "x/y", "'a", "#\"a\"", "b", "2.5", "/ref", "[[a]]", "\"\"", "[]" };

Cell load(std::string_view text)
{
    Rooted source(string::from_utf8(text));
    return lexer::load_all(*source);
}

// The first value a text loads as. May allocate.
Cell first_of(std::string_view text)
{
    Rooted loaded(load(text));
    return series::buffer_of(*loaded)->head_cell()[0];
}

void set_global(std::string_view name, Cell const& value)
{
    Rooted kept(value);
    Rooted word(word::make_global(name));
    word::set(*word, *kept);
}

Cell evaluate(std::string_view text)
{
    Rooted code(load(text));
    interp::eval_block(*code, false);
    Cell const value = stack::state.top[-1];
    stack::pop(1);
    return value;
}

// The charsets the rules name, kept for the life of the target and given to their words before every run.
struct Charset {
    std::string_view name;
    std::string_view spec;
    Cell value = none_value;
};

Charset charsets[] = {
    { "digits", "make bitset! \"0123456789\"" },
    { "letters", "make bitset! [#\"a\" - #\"z\" #\"A\" - #\"B\"]" },
    { "non-digits", "make bitset! [not \"0123456789\"]" },
    { "wide", "make bitset! [\"\xC3\xA9\xE2\x82\xAC\xF0\x90\x90\x80\" 0]" },
    { "no-chars", "make bitset! 0" },
    { "all-chars", "make bitset! [not]" },
};

struct Callbacks {
    Cell counting = none_value; // stops after some events; reads the rules stack
    Cell clearing = none_value; // empties the input at a fetch
    Cell nesting = none_value; // runs parse itself
};

Callbacks callbacks;

// binary! and the text types whose modules are elsewhere take part in their cell layouts once registered.
DatatypeRecord const stand_ins[] = {
    { type_ids::file, type_ids::string, "file!", {} },
    { type_ids::url, type_ids::string, "url!", {} },
    { type_ids::tag, type_ids::string, "tag!", {} },
    { type_ids::binary, no_parent, "binary!", {} },
};

bool start()
{
    app::init();
    for (DatatypeRecord const& record : stand_ins)
        if (!datatype::is_registered(record.id)) datatype::register_(record);
    gc::state.enabled = true;
    gc::add_root(&callbacks.counting);
    gc::add_root(&callbacks.clearing);
    gc::add_root(&callbacks.nesting);
    for (Charset& charset : charsets) gc::add_root(&charset.value);
    fuzz::raised([] {
        for (Charset& charset : charsets) charset.value = evaluate(charset.spec);
        callbacks.counting = evaluate("func [event match? rule input stack] [n: n + 1 mold stack n < 40]");
        callbacks.clearing = evaluate("func [event match? rule input stack] [if event = 'fetch [clear input] true]");
        callbacks.nesting = evaluate("func [event match? rule input stack /local k] [parse [1] [skip] true]");
    });
    return true;
}

}

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size)
{
    static bool const ready = start();
    (void)ready;
    Bytes bytes { data, size };
    std::uint8_t const shape = bytes.take();
    std::size_t const length = bytes.take() % 24;

    fuzz::raised([&] {
        // The input: text (its unit follows from its characters), bytes, or a block of values.
        Rooted input(none_value);
        switch (shape % 4) {
        case 0:
        case 1:
            *input = string::from_utf8(text_input(bytes, length));
            break;
        case 2: {
            NodeId const node = series::alloc_bytes(length);
            for (std::size_t i = 0; i < length; ++i)
                buffer::append_byte(node, static_cast<std::uint8_t>(text_input(bytes, 1)[0]));
            *input = cell::make(type_ids::binary, 0, node, 0);
            break;
        }
        default: {
            std::string text;
            for (std::size_t i = 0; i < length; ++i) {
                text += values[bytes.take() % std::size(values)];
                text += ' ';
            }
            *input = load(text);
            break;
        }
        }
        if ((shape & 0x10) && series::length_of(*input) > 0) input->word1 = 1;
        Rooted rules(load(rules_text(bytes)));
        set_global("input", *input);
        set_global("r", *rules);
        set_global("n", cell::make(type_ids::integer, 0, 0, 0));
        set_global("x", none_value);
        set_global("p", *input);
        set_global("w", first_of("x"));
        set_global("lit", first_of("'a"));
        set_global("empty", string::from_utf8(""));
        set_global("t", (shape & 0x20) ? string::from_utf8("T") : load("T"));
        for (Charset const& charset : charsets) set_global(charset.name, charset.value);

        Cell callback = none_value;
        switch ((shape >> 6) & 3) {
        case 1:
            callback = callbacks.counting;
            break;
        case 2:
            callback = callbacks.clearing;
            break;
        case 3:
            callback = callbacks.nesting;
            break;
        default:
            break;
        }
        CompareOp const mode = (shape & 4) ? CompareOp::StrictEqual : CompareOp::Equal;
        std::uint32_t const limit = (shape & 8) ? static_cast<std::uint32_t>(length / 2 + 1) : parse::no_limit;
        parse::set_step_budget(20'000);
        // As the native's are, the input and the rules are on the value stack: a callback's frame is above them.
        Cell* const arguments = stack::push(*input);
        stack::push(*rules);
        Rooted result(parse::run(arguments[0], arguments[1], mode, limit, callback));
    });
    parse::set_step_budget(0);
    if (!parse::stacks_empty()) __builtin_trap();
    return 0;
}
