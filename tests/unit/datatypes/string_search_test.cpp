// string!: find, select, sort, append, insert, change, swap, take, trim and the set operations.

#include <string>

#include "datatypes/symbol.h"
#include "runtime/errors.h"
#include "text_fixture.h"

using namespace xol;

namespace {

using StringSearch = TextTest;

// The index of a found position, or -1 for none!.
std::int32_t found_index(Cell const& found)
{
    if (cell::type_of(found) == type_ids::none) return -1;
    return static_cast<std::int32_t>(found.word1);
}

// The refinement the last invalid-refine-arg error names, in its refinement form ("/part").
std::string refinement_named()
{
    Cell const& word = errors::last_raised().arguments[0];
    if (cell::type_of(word) != type_ids::refinement) return "not a refinement!";
    return "/" + std::string(symbol::spelling(word.word2));
}

TEST_F(StringSearch, FindWithRefinements)
{
    struct Case {
        char const* series;
        std::uint32_t index;
        Cell value; // a char!, or none! for the text in `pattern`
        char const* pattern;
        FindOptions options;
        std::int32_t expected;
    };
    Cell const none = none_value;
    Case const cases[] = {
        { "abc", 0, char_::make('b'), "", {}, 1 },
        { "abc", 0, char_::make('b'), "", { .tail = true }, 2 },
        { "abc", 0, char_::make('b'), "", { .match = true }, -1 },
        { "abc", 0, char_::make('a'), "", { .match = true }, 0 },
        { "abc", 0, char_::make('a'), "", { .tail = true, .match = true }, 1 },
        { "abc", 0, char_::make('B'), "", {}, 1 },
        { "abc", 0, char_::make('B'), "", { .case_sensitive = true }, -1 },
        { "abc", 0, char_::make('B'), "", { .same = true }, -1 },
        { "abcbc", 0, none, "bc", { .last = true }, 3 },
        { "abcbc", 0, none, "bc", {}, 1 },
        { "abcbc", 0, none, "BC", { .tail = true }, 3 },
        { "abcbc", 0, none, "bc", { .last = true, .tail = true }, 5 },
        { "abc", 1, char_::make('a'), "", { .reverse = true }, 0 },
        { "abc", 1, char_::make('c'), "", { .reverse = true }, -1 },
        { "abc", 0, char_::make('a'), "", { .reverse = true }, -1 },
        { "abc", 3, char_::make('c'), "", { .reverse = true }, 2 },
        { "abc", 3, char_::make('c'), "", { .reverse = true, .tail = true }, 3 },
        { "xabc", 4, none, "ab", { .reverse = true }, 1 },
        { "abc", 3, char_::make('c'), "", {}, -1 },
        { "", 0, char_::make('c'), "", {}, -1 },
        { "abc", 0, none, "abcd", {}, -1 },
        { "abc", 0, none, "", {}, -1 },
        { "a\u4E2Db", 0, char_::make(0x4E2D), "", {}, 1 },
        { "a\u00E9b", 0, char_::make(0xC9), "", {}, 1 },
        { "a\U0001F600b", 0, none, "\U0001F600B", {}, 1 },
        // 1-byte texts go through the library scans: short and long patterns, both ways, case-blind.
        { "xxabcdefghijabcdefghij", 0, none, "abcdefghij", {}, 2 },
        { "xxabcdefghijabcdefghij", 0, none, "abcdefghij", { .last = true }, 12 },
        { "xxabcdefghijabcdefghij", 0, none, "ABCDEFGHIJ", {}, 2 },
        { "xxabcdefghijabcdefghij", 0, none, "ABCDEFGHIJ", { .case_sensitive = true }, -1 },
        { "xxabcdefghijabcdefghij", 22, none, "abcdefghij", { .reverse = true }, 12 },
        { "xxabcdefghijabcdefghijk", 3, none, "ABCDEFGHIJK", {}, 12 },
        { "abcabc", 4, none, "BC", { .reverse = true }, 1 },
        { "abcabc", 4, char_::make('B'), "", { .reverse = true }, 1 },
        { "abc\u00E9", 0, none, "\u00C9", {}, 3 },
        { "abc\u00FF", 0, char_::make(0x178), "", {}, 3 }, // U+00FF folds to U+0178, outside Latin-1
        { "abc\u00FF", 0, char_::make(0x178), "", { .case_sensitive = true }, -1 },
        { "abcd", 0, none, "abcde", { .last = true }, -1 },
    };
    for (Case const& c : cases) {
        Rooted series(at(text(c.series), c.index));
        Rooted value(cell::type_of(c.value) == type_ids::none ? text(c.pattern) : c.value);
        EXPECT_EQ(found_index(string::find(*series, *value, c.options)), c.expected)
            << c.series << " at " << c.index << " for "
            << (cell::type_of(c.value) == type_ids::none ? c.pattern : "char");
    }
}

TEST_F(StringSearch, FindWithSkipAndPart)
{
    Rooted series(text("abcd"));
    Cell const two = integer::make(2);
    EXPECT_EQ(found_index(string::find(*series, char_::make('c'), { .skip = &two })), 2);
    EXPECT_EQ(found_index(string::find(*series, char_::make('b'), { .skip = &two })), -1);
    EXPECT_EQ(found_index(string::find(*series, char_::make('c'), { .part = &two })), -1);
    EXPECT_EQ(found_index(string::find(*series, char_::make('b'), { .part = &two })), 1);
    Cell const end = at(*series, 3);
    EXPECT_EQ(found_index(string::find(*series, char_::make('c'), { .part = &end })), 2);
    Cell const zero = integer::make(0);
    EXPECT_EQ(found_index(string::find(*series, char_::make('a'), { .part = &zero })), -1);

    EXPECT_EQ(
        raised_by([&] { string::find(*series, char_::make('a'), { .skip = &zero }); }), err::script::out_of_range);
    EXPECT_EQ(raised_by([&] { string::find(*series, char_::make('a'), { .any = true }); }), err::internal::not_done);
    Cell const wild = char_::make('*');
    EXPECT_EQ(raised_by([&] { string::find(*series, char_::make('a'), { .with = &wild }); }), err::internal::not_done);
    Rooted other(text("abcd"));
    Cell const foreign = *other;
    EXPECT_EQ(raised_by([&] { string::find(*series, char_::make('a'), { .part = &foreign }); }),
        err::script::invalid_refine_arg);
    EXPECT_EQ(refinement_named(), "/part");
    Rooted bytes(binary_of({ 'a' }));
    EXPECT_EQ(raised_by([&] { string::find(*series, *bytes, {}); }), err::script::invalid_arg);
}

TEST_F(StringSearch, FindFormsOtherValues)
{
    Rooted series(text("a1b"));
    EXPECT_EQ(found_index(string::find(*series, integer::make(1), {})), 1);
    Rooted digits(text("x12y"));
    EXPECT_EQ(found_index(string::find(*digits, integer::make(12), { .tail = true })), 3);
    EXPECT_EQ(found_index(string::find(*digits, integer::make(21), {})), -1);
}

TEST_F(StringSearch, Select)
{
    Rooted series(text("abc"));
    Cell const b = string::select(*series, char_::make('a'), {});
    EXPECT_EQ(cell::type_of(b), type_ids::char_);
    EXPECT_EQ(b.word2, static_cast<std::uint32_t>('b'));
    EXPECT_EQ(cell::type_of(string::select(*series, char_::make('c'), {})), type_ids::none);
    Rooted pattern(text("ab"));
    EXPECT_EQ(string::select(*series, *pattern, {}).word2, static_cast<std::uint32_t>('c'));
    Cell const selected = string::select(*series, char_::make('c'), { .reverse = true });
    EXPECT_EQ(cell::type_of(selected), type_ids::none) << "nothing before the head";
}

std::string sorted(char const* source, SortOptions const& options, std::uint32_t index = 0)
{
    Rooted value(at(text(source), index));
    Cell const result = string::sort(*value, options);
    return utf8(at(result, 0));
}

TEST_F(StringSearch, Sort)
{
    EXPECT_EQ(sorted("bCa", {}), "abC");
    EXPECT_EQ(sorted("bCa", { .case_sensitive = true }), "Cab");
    EXPECT_EQ(sorted("bCa", { .reverse = true }), "Cba");
    EXPECT_EQ(sorted("\u4E2Db\u00C9a\u00E9", { .stable = true }), "ab\u00C9\u00E9\u4E2D");
    EXPECT_EQ(sorted("dcba", {}, 2), "dcab") << "from the index";
    Cell const two = integer::make(2);
    EXPECT_EQ(sorted("dcba", { .part = &two }), "cdba");
    Cell const minus_two = integer::make(-2);
    EXPECT_EQ(sorted("dcba", { .part = &minus_two }, 2), "cdba");
    EXPECT_EQ(sorted("dcba", { .part = &minus_two }, 1), "dcba") << "not enough before the index";
    EXPECT_EQ(sorted("b2a1c3", { .skip = &two }), "a1b2c3");
    EXPECT_EQ(sorted("b2a1c3", { .skip = &two, .reverse = true }), "c3b2a1");
    Cell const second = integer::make(2);
    EXPECT_EQ(sorted("a3b1c2", { .skip = &two, .compare = &second }), "b1c2a3");
    EXPECT_EQ(sorted("a2a1", { .skip = &two, .all = true }), "a1a2");
    EXPECT_EQ(sorted("bAaB", { .stable = true }), "AabB") << "a stable sort keeps equal letters in order";
    // With /case as well: records equal in the compared unit keep their order (the merge sort).
    std::string records;
    std::string in_stable_order[2];
    for (char i = 0; i < 40; ++i) {
        char const key = "ab"[(i * 7) % 3 == 0];
        std::string const record { key, static_cast<char>('0' + i) };
        records += record;
        in_stable_order[key - 'a'] += record;
    }
    Cell const first = integer::make(1);
    EXPECT_EQ(sorted(records.c_str(), { .case_sensitive = true, .skip = &two, .compare = &first, .stable = true }),
        in_stable_order[0] + in_stable_order[1]);

    Cell const three = integer::make(3);
    EXPECT_EQ(raised_by([&] { sorted("abcd", { .skip = &three }); }), err::script::invalid_refine_arg);
    EXPECT_EQ(refinement_named(), "/skip");
    EXPECT_EQ(raised_by([&] { sorted("abcd", { .all = true }); }), err::script::bad_refines);
    EXPECT_EQ(raised_by([&] { sorted("abcd", { .compare = &second }); }), err::script::bad_refines);
    EXPECT_EQ(raised_by([&] { sorted("abcd", { .skip = &two, .compare = &three }); }), err::script::out_of_range);
    Cell const odd = char_::make('x');
    EXPECT_EQ(raised_by([&] { sorted("abcd", { .compare = &odd }); }), err::script::invalid_refine_arg);
    EXPECT_EQ(refinement_named(), "/compare");
    Rooted elsewhere(text("abcd"));
    Cell const foreign = *elsewhere;
    EXPECT_EQ(raised_by([&] { sorted("abcd", { .part = &foreign }); }), err::script::invalid_refine_arg);
    EXPECT_EQ(refinement_named(), "/part");

    Rooted value(at(text("dcba"), 2));
    Cell const result = string::sort(*value, { .part = &minus_two });
    EXPECT_EQ(result.word1, 0u) << "a negative part moves the index back";
}

TEST_F(StringSearch, Append)
{
    Rooted target(text("abc"));
    Cell result = string::insert(*target, char_::make(233), -1, false, 1, true);
    EXPECT_EQ(unit_of(*target), 2u);
    EXPECT_EQ(utf8(*target), "abc\u00E9");
    EXPECT_EQ(result.word1, 0u) << "append answers the head";

    Rooted narrow(text("ab"));
    Rooted wide(text("\u4E2D"));
    string::insert(*narrow, *wide, -1, false, 1, true);
    EXPECT_EQ(unit_of(*narrow), 2u);
    EXPECT_EQ(utf8(*narrow), "ab\u4E2D");

    Rooted empty(string::make(4));
    Rooted items(block_of({ integer::make(1), char_::make('a') }));
    {
        Rooted b(text("b"));
        *series::append_cell(*items) = *b;
    }
    string::insert(*empty, *items, -1, false, 1, true);
    EXPECT_EQ(utf8(*empty), "1ab");

    Rooted repeated(string::make(4));
    Rooted ab(text("ab"));
    string::insert(*repeated, *ab, -1, false, 3, true);
    EXPECT_EQ(utf8(*repeated), "ababab");

    Rooted limited(string::make(4));
    Rooted long_text(text("abcdef"));
    string::insert(*limited, *long_text, 2, false, 1, true);
    EXPECT_EQ(utf8(*limited), "ab");
    Rooted numbers(block_of({ integer::make(123), integer::make(456) }));
    string::insert(*limited, *numbers, 4, false, 1, true);
    EXPECT_EQ(utf8(*limited), "ab1234") << "formed values share the budget and are cut back to it";

    Rooted tagged(string::make(4));
    Rooted tag(text("tag"));
    tag->header = type_ids::tag;
    string::insert(*tagged, *tag, -1, false, 1, true);
    EXPECT_EQ(utf8(*tagged), "<tag>");
    string::insert(*tagged, *tag, 4, false, 1, true);
    EXPECT_EQ(utf8(*tagged), "<tag><tag") << "\">\" only while some budget is left";
}

TEST_F(StringSearch, Insert)
{
    Rooted target(at(text("abc"), 1));
    Rooted xy(text("xy"));
    Cell result = string::insert(*target, *xy, -1, false, 1, false);
    EXPECT_EQ(utf8(at(*target, 0)), "axybc");
    EXPECT_EQ(result.word1, 3u) << "just past the inserted text, at b";

    Rooted tail(at(text("abc"), 3));
    result = string::insert(*tail, *xy, -1, false, 1, false);
    EXPECT_EQ(utf8(at(*tail, 0)), "abcxy");
    EXPECT_EQ(result.word1, 5u) << "at the new tail";

    Rooted formed_in(at(text("abc"), 1));
    result = string::insert(*formed_in, integer::make(42), -1, false, 2, false);
    EXPECT_EQ(utf8(at(*formed_in, 0)), "a4242bc");
    EXPECT_EQ(result.word1, 5u);

    Rooted chars(at(text("abc"), 1));
    result = string::insert(*chars, char_::make(0x4E2D), -1, false, 2, false);
    EXPECT_EQ(utf8(at(*chars, 0)), "a\u4E2D\u4E2Dbc");
    EXPECT_EQ(result.word1, 3u);

    Rooted self(at(text("abc"), 1));
    string::insert(*self, *self, -1, false, 1, false);
    EXPECT_EQ(utf8(at(*self, 0)), "abcbc");
    // A source after the insertion point in the same buffer: as inserting a copy.
    Rooted later(text("abc"));
    string::insert(*later, at(*later, 1), -1, false, 2, false);
    EXPECT_EQ(utf8(at(*later, 0)), "bcbcabc");
    Rooted part_of(text("abcd"));
    string::insert(at(*part_of, 1), at(*part_of, 2), 1, false, 1, false);
    EXPECT_EQ(utf8(at(*part_of, 0)), "acbcd");
}

TEST_F(StringSearch, Change)
{
    struct Case {
        char const* target;
        std::uint32_t index;
        char const* value;
        std::int32_t part;
        std::int32_t dup;
        char const* expected;
        std::uint32_t result_index;
    };
    Case const cases[] = {
        { "abc", 0, "X", -1, 1, "Xbc", 1 },
        { "abc", 0, "X", 2, 1, "Xc", 1 },
        { "abc", 0, "XYZW", -1, 1, "XYZW", 4 },
        { "abc", 1, "XY", -1, 2, "aXYXY", 5 },
        { "abc", 3, "X", -1, 1, "abcX", 4 },
        { "abc", 1, "", 1, 1, "ac", 1 },
        { "abc", 0, "\u4E2D", -1, 1, "\u4E2Dbc", 1 },
    };
    for (Case const& c : cases) {
        Rooted target(at(text(c.target), c.index));
        Rooted value(text(c.value));
        Cell const result = string::change(*target, *value, c.part, false, c.dup);
        EXPECT_EQ(utf8(at(*target, 0)), c.expected) << c.target << " " << c.value;
        EXPECT_EQ(result.word1, c.result_index) << c.target << " " << c.value;
    }
    Rooted target(text("abc"));
    string::change(*target, char_::make('Z'), -1, false, 1);
    EXPECT_EQ(utf8(*target), "Zbc");
    string::change(at(*target, 1), integer::make(77), 1, false, 1);
    EXPECT_EQ(utf8(*target), "Z77c");
    // A value on the target's own buffer reads as it stood before the change.
    string::change(*target, at(*target, 1), -1, false, 1);
    EXPECT_EQ(utf8(*target), "77cc");
    Rooted past(at(text("abc"), 9));
    string::truncate_at(past->word2, 2);
    Cell const result = string::change(*past, char_::make('!'), -1, false, 1);
    EXPECT_EQ(utf8(at(*past, 0)), "ab!") << "an index past the tail counts as the tail";
    EXPECT_EQ(result.word1, 3u);
}

TEST_F(StringSearch, SwapAndTake)
{
    Rooted one(text("abc"));
    Rooted two(at(text("x\u4E2Dz"), 1));
    string::swap(*one, *two);
    EXPECT_EQ(utf8(*one), "\u4E2Dbc");
    EXPECT_EQ(utf8(at(*two, 0)), "xaz");
    Rooted empty(string::make(1));
    string::swap(*one, *empty);
    EXPECT_EQ(utf8(*one), "\u4E2Dbc") << "a series at its tail: nothing";
    EXPECT_EQ(raised_by([&] { string::swap(*one, integer::make(1)); }), err::script::invalid_arg);

    Rooted source(text("abc"));
    Cell const taken = string::take(*source, nullptr, false, false);
    EXPECT_EQ(cell::type_of(taken), type_ids::char_);
    EXPECT_EQ(taken.word2, static_cast<std::uint32_t>('a'));
    EXPECT_EQ(utf8(*source), "bc");
    Cell const two_units = integer::make(2);
    Rooted both(string::take(*source, &two_units, false, false));
    EXPECT_EQ(cell::type_of(*both), type_ids::string);
    EXPECT_EQ(utf8(*both), "bc");
    EXPECT_EQ(cell::type_of(string::take(*source, nullptr, false, false)), type_ids::none);
    Rooted last(text("xyz"));
    EXPECT_EQ(string::take(*last, nullptr, false, true).word2, static_cast<std::uint32_t>('z'));
}

TEST_F(StringSearch, Trim)
{
    struct Case {
        char const* text;
        TrimOptions options;
        char const* expected;
    };
    Cell const with = char_::make('a');
    Case const cases[] = {
        { "  a b  \n", {}, "a b\n" },
        { "  a b  \n", { .lines = true }, "a b" },
        { "  a b  \n", { .all = true }, "ab" },
        { "  a b  ", {}, "a b" },
        { "  a b  ", { .head = true }, "a b  " },
        { "  a b  ", { .tail = true }, "  a b" },
        { "  a b  ", { .head = true, .tail = true }, "a b" },
        { " line one  \n   two\t\n\n", {}, "line one\ntwo\n" },
        { "\u3000x\u00A0", {}, "x" },
        { "banana", { .with = &with }, "bnn" },
        { "a\r\nb", { .all = true }, "ab" },
    };
    for (Case const& c : cases) {
        Rooted value(text(c.text));
        string::trim(*value, c.options);
        EXPECT_EQ(utf8(*value), c.expected) << c.text;
    }
    Rooted set(text("an"));
    Rooted fruit(text("banana"));
    string::trim(*fruit, { .with = &*set });
    EXPECT_EQ(utf8(*fruit), "b");
    Rooted from_index(at(text("  a  "), 1));
    string::trim(*from_index, {});
    EXPECT_EQ(utf8(at(*from_index, 0)), " a") << "only from the index";
    EXPECT_EQ(raised_by([&] { string::trim(*fruit, { .auto_ = true }); }), err::internal::not_done);
}

TEST_F(StringSearch, SetOperations)
{
    struct Case {
        char const* first;
        char const* second; // nullptr for unique
        MathOp op;
        bool case_sensitive;
        char const* expected;
    };
    Case const cases[] = {
        { "abc", "bcd", MathOp::Union, false, "abcd" },
        { "abc", "bcd", MathOp::Difference, false, "ad" },
        { "abc", "bcd", MathOp::Intersect, false, "bc" },
        { "abc", "bcd", MathOp::Exclude, false, "a" },
        { "aAb", nullptr, MathOp::Unique, false, "ab" },
        { "aAb", nullptr, MathOp::Unique, true, "aAb" },
        { "abC", "c", MathOp::Exclude, false, "ab" },
        { "abC", "c", MathOp::Exclude, true, "abC" },
    };
    for (Case const& c : cases) {
        Rooted first(text(c.first));
        Rooted second(text(c.second ? c.second : ""));
        Rooted result(string::do_set_op(*first, c.second ? &*second : nullptr, c.case_sensitive, nullptr, c.op));
        EXPECT_EQ(utf8(*result), c.expected) << c.first << " " << (c.second ? c.second : "");
    }
    Rooted records(text("a1b2a3"));
    Cell const two = integer::make(2);
    Rooted unique(string::do_set_op(*records, nullptr, false, &two, MathOp::Unique));
    EXPECT_EQ(utf8(*unique), "a1b2");
    Rooted file(text("abc"));
    file->header = type_ids::file;
    Rooted as_file(string::do_set_op(*file, nullptr, false, nullptr, MathOp::Unique));
    EXPECT_EQ(cell::type_of(*as_file), type_ids::file);
    Cell const zero = integer::make(0);
    EXPECT_EQ(raised_by([&] { string::do_set_op(*records, nullptr, false, &zero, MathOp::Unique); }),
        err::script::invalid_refine_arg);
    EXPECT_EQ(refinement_named(), "/skip");
}

}
