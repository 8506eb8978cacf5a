// Tests of the random generator: its sequences against the reference values, the range of its outputs, and
// the uniform draw's edges and rejection of the draws that would bias it.

#include "runtime/random.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <optional>
#include <set>

#include <gtest/gtest.h>

namespace xol::random {
namespace {

// The tempering as the generator applies it, and its inverse: the word that a draw tempers into a wanted
// output, so that a test can make the generator answer what it needs.
std::uint32_t temper(std::uint32_t word)
{
    auto y = static_cast<std::int32_t>(word);
    y ^= y >> 11;
    y ^= static_cast<std::int32_t>((static_cast<std::uint32_t>(y) << 7) & 0x9D2C5680u);
    y ^= static_cast<std::int32_t>((static_cast<std::uint32_t>(y) << 15) & 0xEFC60000u);
    y ^= y >> 18;
    return static_cast<std::uint32_t>(y);
}

// Undoes y ^= y >> shift with the sign carried down: the result's top bit is always 0, and the word's own top
// bit is free; it is taken as `top`, and every lower bit follows from the bits above it.
std::uint32_t undo_signed_right(std::uint32_t output, int shift, std::uint32_t top)
{
    std::uint32_t word = top << 31;
    for (int bit = 30; bit >= 0; --bit) {
        std::uint32_t const above = (word >> std::min(bit + shift, 31)) & 1;
        word |= (((output >> bit) & 1) ^ above) << bit;
    }
    return word;
}

// Undoes y ^= (y << shift) & mask: every bit follows from the bits below it.
std::uint32_t undo_left(std::uint32_t output, int shift, std::uint32_t mask)
{
    std::uint32_t word = 0;
    for (int bit = 0; bit < 32; ++bit) {
        std::uint32_t const below = bit >= shift ? (word >> (bit - shift)) & 1 : 0;
        word |= (((output >> bit) & 1) ^ (below & (mask >> bit) & 1)) << bit;
    }
    return word;
}

// A word the tempering turns into `output`, if there is one. The last step hides one bit: of its two choices,
// only one whose undoing leaves a top bit of 0 can have come out of the first step, and for half the outputs
// neither does: with the sign carried down, the generator never answers those.
std::optional<std::uint32_t> untemper(std::uint32_t output)
{
    for (std::uint32_t top : { 0u, 1u }) {
        std::uint32_t const middle
            = undo_left(undo_left(undo_signed_right(output, 18, top), 15, 0xEFC60000u), 7, 0x9D2C5680u);
        if ((middle >> 31) == 0) return undo_signed_right(middle, 11, 0);
    }
    return std::nullopt;
}

// The outputs nearest to `from` that the generator can answer, looking up or down.
std::int32_t answerable_from(std::int32_t from, int direction)
{
    std::int32_t output = from;
    while (!untemper(static_cast<std::uint32_t>(output))) output += direction;
    return output;
}

// Makes the next draws answer `outputs` in order.
void answer_next(std::initializer_list<std::int32_t> outputs)
{
    std::uint32_t i = 0;
    for (std::int32_t output : outputs) {
        std::optional<std::uint32_t> const word = untemper(static_cast<std::uint32_t>(output));
        ASSERT_TRUE(word.has_value()) << output;
        state.words[i++] = static_cast<std::int32_t>(*word);
    }
    state.index = 0;
}

TEST(Random, UntemperFindsTheWordOfEveryAnswer)
{
    for (std::uint32_t word : { 0u, 1u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu, 0x12345678u, 0xDEADBEEFu }) {
        std::optional<std::uint32_t> const found = untemper(temper(word));
        ASSERT_TRUE(found.has_value()) << word;
        EXPECT_EQ(temper(*found), temper(word)) << word;
    }
    // Outputs no word gives: the largest 31-bit values among them.
    for (std::uint32_t output : { 2147483647u, 2147483646u, 2147483644u, 123456789u })
        EXPECT_FALSE(untemper(output).has_value()) << output;
    EXPECT_EQ(answerable_from(2147483647, -1), 2147483643);
}

TEST(Random, SequenceMatchesTheReference)
{
    seed(19650218);
    std::int32_t draws[1250];
    for (std::int32_t& draw : draws) draw = next();
    EXPECT_EQ(draws[0], 1573102752); // the tempered seed word
    EXPECT_EQ(draws[623], 779737127);
    EXPECT_EQ(draws[624], 299300835); // the first draw after the first twist
    EXPECT_EQ(draws[1249], 1308001491);
    seed(-1);
    EXPECT_EQ(next(), 0);
    EXPECT_EQ(next(), 4194449);
    EXPECT_EQ(next(), 1288460453);
    seed(0);
    std::int32_t const dice[] = { 1, 6, 6, 3, 5, 4, 5, 5, 3, 1 };
    for (std::int32_t expected : dice) EXPECT_EQ(int_(6, false), expected);
    init();
    EXPECT_EQ(next(), 1573102752); // start-up's seed
}

TEST(Random, OutputsAreNeverNegative)
{
    for (std::int32_t start : { 0, 1, -1, INT32_MIN, INT32_MAX, 19650218 }) {
        seed(start);
        for (int i = 0; i < 5000; ++i) ASSERT_GE(next(), 0) << "seed " << start << " draw " << i;
    }
    for (int i = 0; i < 100; ++i) ASSERT_GE(secure(), 0);
}

TEST(Random, UniformDrawEdges)
{
    seed(5);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(int_(1, false), 1);
        EXPECT_EQ(int_(-1, false), -1);
        EXPECT_EQ(int_(0, false), 0);
        EXPECT_EQ(int_(1, true), 1);
        std::int32_t const low = int_(INT32_MIN, false);
        EXPECT_LE(low, -1);
        std::int32_t const three = int_(-3, true);
        EXPECT_TRUE(three >= -3 && three <= -1) << three;
    }
    // -2^31 takes one draw d and answers -1 - d.
    answer_next({ 2147483643, 0 });
    EXPECT_EQ(int_(INT32_MIN, false), -2147483644);
    EXPECT_EQ(int_(INT32_MIN, false), -1);
    std::set<std::int32_t> seen;
    seed(11);
    for (int i = 0; i < 600; ++i) seen.insert(int_(6, false));
    EXPECT_EQ(seen, (std::set<std::int32_t> { 1, 2, 3, 4, 5, 6 }));
}

// Draws at or above the largest multiple of n not beyond 2^31 - 1 are drawn again: those would make the
// low results more likely.
TEST(Random, RejectsTheDrawsThatWouldBias)
{
    // n and the largest multiple of n not beyond 2^31 - 1.
    struct Case {
        std::int32_t n;
        std::int32_t limit;
    };
    Case const cases[] = { { 1000, 2147483000 }, { 100000, 2147400000 }, { 1073741824, 1073741824 } };
    for (Case const& c : cases) {
        std::int32_t const rejected = answerable_from(c.limit, 1);
        std::int32_t const accepted = answerable_from(c.limit - 1, -1);
        std::int32_t const expected = accepted % c.n + 1;
        answer_next({ rejected, accepted });
        EXPECT_EQ(int_(c.n, false), expected) << c.n;
        answer_next({ rejected, accepted });
        EXPECT_EQ(int_(-c.n, false), -expected) << -c.n;
    }
}

}
}
