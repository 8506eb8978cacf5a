// The one process-wide pseudo-random generator behind every random draw, and the secure source beside it.
// The generator is the 624-word twisted generalised feedback shift register with the classic constants,
// computed on signed 32-bit words: every right shift carries the sign bit down, so the tempering's last
// step clears the top bit and every output lies in 0 to 2^31 - 1. Seeding with a value gives the same
// sequence on every run; start-up seeds with start_seed.
//
// Invariant: 0 <= index <= word_count; index == word_count means the words are used up and the next draw
// twists them first. Right after a seed the index is 0, so the first draw tempers the seed word itself.
#pragma once

#include <cstdint>

namespace xol::random {

inline constexpr std::uint32_t word_count = 624;
inline constexpr std::int32_t start_seed = 19650218;

struct RandomState {
    std::int32_t words[word_count];
    std::uint32_t index = word_count;
};

extern RandomState state;

// Seeds the generator with start_seed. Start-up calls it before anything may draw.
void init();

// Reseeds; the next draw starts at the first word.
void seed(std::int32_t value);

// Regenerates all the words once they are used up.
void twist();

// The next output, 0 to 2^31 - 1.
inline std::int32_t next()
{
    if (state.index >= word_count) twist();
    std::int32_t y = state.words[state.index++];
    y ^= y >> 11;
    y ^= static_cast<std::int32_t>((static_cast<std::uint32_t>(y) << 7) & 0x9D2C5680u);
    y ^= static_cast<std::int32_t>((static_cast<std::uint32_t>(y) << 15) & 0xEFC60000u);
    y ^= y >> 18;
    return y;
}

// 31 bits from the operating system's secure source, 0 to 2^31 - 1. Raises internal feature-na when the
// system cannot supply them: an unfilled buffer must never pass for a random number.
std::int32_t secure();

// One draw from the generator, or from the secure source when `secure_source` is set.
inline std::int32_t draw(bool secure_source)
{
    return secure_source ? secure() : next();
}

// A uniform integer: 1 to n for n > 0, -1 to n for n < 0, 0 for n = 0. Draws at or above the largest
// multiple of n not beyond 2^31 - 1 are drawn again, so every result is equally likely.
std::int32_t int_(std::int32_t n, bool secure_source);

}
