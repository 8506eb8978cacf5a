// bitset!: membership against a reference set through random runs of every operation that changes it, the
// stored lengths of plain sets, and the set operations the set natives call.

#include <random>
#include <string>
#include <vector>

#include "block_fixture.h"
#include "datatypes/bitset.h"
#include "datatypes/runtime_words.h"
#include "datatypes/word.h"

using namespace xol;

namespace {

// Every datatype and the runtime words, as a program has them.
struct BitsetTest : RuntimeTest {
    void SetUp() override
    {
        RuntimeTest::SetUp();
        for (Cell& argument : errors::last_raised_for_marking().arguments) argument = unset_value;
    }
};

// Bits 0 to universe - 1, and the membership of every bit above them.
struct Reference {
    static constexpr std::int64_t universe = 700;
    std::vector<bool> bits = std::vector<bool>(universe, false);
    bool rest = false;

    bool has(std::int64_t n) const { return n < universe ? bits[static_cast<std::size_t>(n)] : rest; }
};

TypeActions const& actions()
{
    return datatype::actions(bitset::type_id);
}

Cell minus_word()
{
    return word::make(words::symbol_of(words::Symbol::minus));
}

// A spec naming bits: integers alone, ranges as `low - high`, or a string of code points (all below 700).
struct Spec {
    std::vector<std::int64_t> singles;
    std::vector<std::pair<std::int64_t, std::int64_t>> ranges;
    std::u32string text;

    Cell cell() const
    {
        std::vector<Cell> cells;
        for (std::int64_t n : singles) cells.push_back(integer::make(static_cast<std::int32_t>(n)));
        for (auto const& [low, high] : ranges) {
            cells.push_back(integer::make(static_cast<std::int32_t>(low)));
            cells.push_back(minus_word());
            cells.push_back(integer::make(static_cast<std::int32_t>(high)));
        }
        Rooted block(cell::make(type_ids::unset));
        block::make_from_run(*block, cells.data(), static_cast<std::uint32_t>(cells.size()), type_ids::block);
        if (!text.empty()) {
            Rooted string(string::make(static_cast<std::uint32_t>(text.size())));
            for (char32_t code_point : text) string::append_char(*string, code_point);
            *series::append_cell(*block) = *string;
        }
        return *block;
    }

    bool all_in(Reference const& reference) const
    {
        bool all = true;
        for (std::int64_t n : singles) all = all && reference.has(n);
        for (auto const& [low, high] : ranges)
            for (std::int64_t n = low; n <= high; ++n) all = all && reference.has(n);
        for (char32_t code_point : text) all = all && reference.has(code_point);
        return all;
    }

    void apply(Reference& reference, bool on) const
    {
        auto const put = [&](std::int64_t n) { reference.bits[static_cast<std::size_t>(n)] = on; };
        for (std::int64_t n : singles) put(n);
        for (auto const& [low, high] : ranges)
            for (std::int64_t n = low; n <= high; ++n) put(n);
        for (char32_t code_point : text) put(code_point);
    }

    std::int64_t highest() const
    {
        std::int64_t result = 0;
        for (std::int64_t n : singles) result = std::max(result, n);
        for (auto const& range : ranges) result = std::max(result, range.second);
        for (char32_t code_point : text) result = std::max<std::int64_t>(result, code_point);
        return result;
    }
};

Spec random_spec(std::mt19937& random)
{
    std::uniform_int_distribution<std::int64_t> bit(0, Reference::universe - 1);
    std::uniform_int_distribution<int> count(0, 4);
    Spec spec;
    for (int i = count(random); i > 0; --i) spec.singles.push_back(bit(random));
    for (int i = count(random) / 2; i > 0; --i) {
        std::int64_t const low = bit(random);
        std::uniform_int_distribution<std::int64_t> length(0, 80);
        spec.ranges.emplace_back(low, std::min(low + length(random), Reference::universe - 1));
    }
    for (int i = count(random) + count(random); i > 0; --i) spec.text.push_back(static_cast<char32_t>(bit(random)));
    return spec;
}

// A set and its reference from a random spec, complemented half of the time.
Cell random_set(std::mt19937& random, Reference& reference)
{
    Spec const spec = random_spec(random);
    bool const complemented = random() % 2 == 0;
    Rooted made(spec.cell());
    if (complemented) {
        Cell const not_word = word::make(words::symbol_of(words::Symbol::not_));
        Rooted with_not(cell::make(type_ids::unset));
        block::make_from_run(*with_not, &not_word, 1, type_ids::block);
        for (std::uint32_t i = 0; i < block::rs_length_q(*made); ++i) {
            Cell const item = block::rs_head(*made)[i]; // appending may move the source's cells
            *series::append_cell(*with_not) = item;
        }
        *made = *with_not;
    }
    reference = Reference {};
    if (complemented) {
        reference.bits.assign(Reference::universe, true);
        reference.rest = true;
    }
    spec.apply(reference, !complemented);
    return bitset::make_from_spec(*made, false);
}

::testing::AssertionResult agrees(Cell const& set, Reference const& reference)
{
    for (std::int64_t n = -3; n < Reference::universe + 64; ++n) {
        bool const expected = n < 0 ? reference.rest : reference.has(n);
        if (bitset::member_q(set, n) != expected)
            return ::testing::AssertionFailure() << "bit " << n << " should be " << expected;
    }
    if (bitset::member_q(set, 1'000'000) != reference.rest) return ::testing::AssertionFailure() << "far bits";
    if (bitset::complemented_q(set) != reference.rest) return ::testing::AssertionFailure() << "flag";
    return ::testing::AssertionSuccess();
}

bool apply_op(MathOp op, bool a, bool b)
{
    switch (op) {
    case MathOp::Or:
    case MathOp::Union:
        return a || b;
    case MathOp::And:
    case MathOp::Intersect:
        return a && b;
    case MathOp::Xor:
    case MathOp::Difference:
        return a != b;
    default:
        return a && !b;
    }
}

}

// Random sets, plain and complemented, through every change: membership always agrees with a plain model.
TEST_F(BitsetTest, MembershipAgreesWithAReferenceSet)
{
    std::mt19937 random(20240607);
    MathOp const operations[] = { MathOp::Or, MathOp::And, MathOp::Xor, MathOp::Union, MathOp::Intersect,
        MathOp::Exclude, MathOp::Difference };
    for (int round = 0; round < 60; ++round) {
        Reference reference;
        Rooted set(random_set(random, reference));
        ASSERT_TRUE(agrees(*set, reference)) << "made, round " << round;
        for (int step = 0; step < 12; ++step) {
            int const choice = static_cast<int>(random() % 7);
            std::string what;
            if (choice == 0) {
                what = "append";
                Spec const spec = random_spec(random);
                actions().append(*set, spec.cell(), -1, false, 1, true);
                spec.apply(reference, true);
            } else if (choice == 1) {
                what = "remove/key";
                Spec const spec = random_spec(random);
                Rooted key(spec.cell());
                actions().remove(*set, nullptr, &*key);
                spec.apply(reference, false);
            } else if (choice == 2) {
                what = "poke";
                std::int64_t const n = static_cast<std::int64_t>(random() % Reference::universe);
                bool const on = random() % 2 == 0;
                actions().poke(*set, 0, integer::make(static_cast<std::int32_t>(n)), on ? true_value : none_value);
                reference.bits[static_cast<std::size_t>(n)] = on;
            } else if (choice == 3) {
                what = "clear";
                actions().clear(*set);
                reference = Reference {};
            } else if (choice == 4) {
                what = "complement";
                *set = actions().complement(*set);
                reference.bits.flip();
                reference.rest = !reference.rest;
            } else {
                MathOp const op = operations[random() % std::size(operations)];
                what = "operation " + std::to_string(static_cast<int>(op));
                Reference other;
                Rooted second(random_set(random, other));
                *set = bitset::bitwise(*set, *second, op);
                for (std::int64_t n = 0; n < Reference::universe; ++n)
                    reference.bits[static_cast<std::size_t>(n)] = apply_op(op, reference.has(n), other.has(n));
                reference.rest = apply_op(op, reference.rest, other.rest);
            }
            ASSERT_TRUE(agrees(*set, reference)) << what << ", round " << round << ", step " << step;
            // pick and find test a whole spec: every bit it names must be a member.
            Spec const probe = random_spec(random);
            Rooted probed(probe.cell());
            EXPECT_EQ(actions().pick(*set, 0, *probed), logic::make(probe.all_in(reference)))
                << "pick, round " << round << ", step " << step;
        }
    }
}

// Plain sets keep the lengths the spec gives them: a set grows to hold the highest bit named; and~ of two
// plain sets stops at the shorter; every other operation, or a complemented operand, spans the longer.
TEST_F(BitsetTest, PlainLengths)
{
    std::mt19937 random(7);
    for (int round = 0; round < 40; ++round) {
        Spec const spec = random_spec(random);
        Rooted set(bitset::make_from_spec(spec.cell(), false));
        std::uint64_t expected = static_cast<std::uint64_t>(spec.highest()) / 8 + 1;
        EXPECT_EQ(bitset::byte_length(*set), expected);
        Spec const more = random_spec(random);
        actions().append(*set, more.cell(), -1, false, 1, true);
        expected = std::max(expected, static_cast<std::uint64_t>(more.highest()) / 8 + 1);
        EXPECT_EQ(bitset::byte_length(*set), expected) << "after append";
        Spec const removed = random_spec(random);
        Rooted key(removed.cell());
        actions().remove(*set, nullptr, &*key);
        EXPECT_EQ(bitset::byte_length(*set), expected) << "remove/key never grows a plain set";
        actions().clear(*set);
        EXPECT_EQ(bitset::byte_length(*set), expected) << "clear keeps the length";
    }

    Rooted short_set(bitset::make(2, false));
    Rooted long_set(bitset::make(4, false));
    Rooted complemented(bitset::make(4, true));
    struct Case {
        MathOp op;
        Cell const* left;
        Cell const* right;
        std::uint64_t length;
    };
    Case const cases[] = {
        { MathOp::And, &*short_set, &*long_set, 2 },
        { MathOp::And, &*long_set, &*short_set, 2 },
        { MathOp::Intersect, &*short_set, &*long_set, 4 },
        { MathOp::Or, &*short_set, &*long_set, 4 },
        { MathOp::Exclude, &*long_set, &*short_set, 4 },
        { MathOp::Exclude, &*short_set, &*long_set, 4 },
        { MathOp::And, &*short_set, &*complemented, 4 },
    };
    for (Case const& c : cases)
        EXPECT_EQ(bitset::byte_length(bitset::bitwise(*c.left, *c.right, c.op)), c.length) << static_cast<int>(c.op);
    EXPECT_EQ(bitset::bitwise(*short_set, none_value, MathOp::Unique), *short_set) << "unique answers the set";
}

// Sizes are 64-bit: a float size beyond what memory holds is refused as memory, not cut to 32 bits.
TEST_F(BitsetTest, SizesAndRefusedSpecs)
{
    EXPECT_EQ(bitset::byte_length(bitset::make_from_spec(float_::make(17.9), false)), 3u);
    struct Case {
        Cell spec;
        ErrorId error;
    };
    Case const cases[] = {
        { float_::make(float_::nan), err::script::out_of_range },
        { float_::make(1e19), err::script::out_of_range },
        { float_::make(-8.0), err::script::out_of_range },
        { float_::make(4.4e10), err::internal::no_memory },
        { float_::make(float_::infinity), err::script::out_of_range },
    };
    for (Case const& c : cases)
        EXPECT_EQ(raised_by([&] { bitset::make_from_spec(c.spec, false); }), c.error) << float_::get(c.spec);

    // A binary! inside a spec block is refused as not done; its bytes are no bits.
    Rooted bytes(cell::make(type_ids::binary, 0, series::alloc_bytes(4), 0));
    Rooted spec(series_of({ integer::make(1), *bytes }));
    EXPECT_EQ(raised_by([&] { bitset::make_from_spec(*spec, false); }), err::internal::not_done);
}

// The string and char searches read a set through its membership: past the stored bytes, the flag.
TEST_F(BitsetTest, CharInBitset)
{
    Rooted text(string::from_utf8("a\xE2\x98\xBA"));
    Rooted plain(bitset::make_from_spec(*text, false));
    Rooted word(string::from_utf8("ab"));
    Cell at_b = *word;
    at_b.word1 = 1;
    EXPECT_TRUE(string::char_in_bitset_q(*word, *plain));
    EXPECT_FALSE(string::char_in_bitset_q(at_b, *plain));
    Rooted everything_else(actions().complement(*plain));
    EXPECT_FALSE(string::char_in_bitset_q(*word, *everything_else));
    EXPECT_TRUE(string::char_in_bitset_q(at_b, *everything_else));
}
