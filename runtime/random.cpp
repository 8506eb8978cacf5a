// The generator's seeding, its twist and the uniform integer draw; the secure source through the platform.

#include "runtime/random.h"

#include "runtime/errors.h"
#include "runtime/platform/secure_random.h"

namespace xol::random {

RandomState state;

namespace {

constexpr std::uint32_t shift = 397;
constexpr std::int32_t twist_constant = static_cast<std::int32_t>(0x9908B0DFu);
constexpr std::uint32_t upper_bit = 0x80000000u;
constexpr std::uint32_t lower_bits = 0x7FFFFFFFu;

// Wrap-around arithmetic on the signed words, done on their unsigned images.
std::int32_t wrap(std::uint32_t value)
{
    return static_cast<std::int32_t>(value);
}

std::int32_t mixed(std::int32_t high_from, std::int32_t low_from, std::int32_t far)
{
    std::int32_t const y = wrap(
        (static_cast<std::uint32_t>(high_from) & upper_bit) | (static_cast<std::uint32_t>(low_from) & lower_bits));
    // The shift of a negative y brings the sign bit down: the signed form of the register.
    return far ^ (y >> 1) ^ ((y & 1) ? twist_constant : 0);
}

}

void init()
{
    seed(start_seed);
}

void seed(std::int32_t value)
{
    state.words[0] = value;
    for (std::uint32_t i = 1; i < word_count; ++i) {
        std::int32_t const previous = state.words[i - 1];
        auto const scrambled = static_cast<std::uint32_t>(previous ^ (previous >> 30));
        state.words[i] = wrap(i + 1812433253u * scrambled);
    }
    state.index = 0;
}

void twist()
{
    std::int32_t* const words = state.words;
    for (std::uint32_t k = 0; k < word_count - 1; ++k)
        words[k] = mixed(words[k], words[k + 1], words[(k + shift) % word_count]);
    words[word_count - 1] = mixed(words[word_count - 1], words[0], words[shift - 1]);
    state.index = 0;
}

std::int32_t secure()
{
    std::uint32_t bytes = 0;
    if (!platform::secure_random_bytes(&bytes, sizeof bytes)) fire_error(err::internal::feature_na);
    return static_cast<std::int32_t>(bytes & lower_bits);
}

std::int32_t int_(std::int32_t n, bool secure_source)
{
    if (n == 0) return 0;
    // -2^31 has no positive counterpart: one draw d in 0..2^31 - 1 gives -1 - d, which covers -1..-2^31.
    if (n == INT32_MIN) return -1 - draw(secure_source);
    bool const negative = n < 0;
    std::int32_t const size = negative ? -n : n;
    std::int32_t const limit = (0x7FFFFFFF / size) * size;
    std::int32_t d = draw(secure_source);
    while (d >= limit) d = draw(secure_source);
    std::int32_t const result = d % size + 1;
    return negative ? -result : result;
}

}
