// Folding of CRC-32 input through PCLMULQDQ. Each 128-bit lane moves 512 bits forward per round: its high
// and low halves are multiplied by x^(512-32) and x^(512+32) modulo the polynomial (bit-reflected and
// shifted by one, as the reflected domain needs) and added to the data found there. At the end the four
// lanes fold into one by 128-bit steps. The constants come from the polynomial at compile time.

#include "runtime/platform/crc32_folding.h"

#include <cstring>

#include <immintrin.h>

namespace xol::platform {

namespace {

// x^exponent modulo the CRC-32 polynomial, bit-reflected over 32 bits and shifted left by one.
constexpr std::uint64_t fold_constant(int exponent)
{
    std::uint64_t remainder = 1;
    for (int i = 0; i < exponent; ++i) {
        remainder <<= 1;
        if ((remainder >> 32) != 0) remainder ^= 0x104C11DB7u;
    }
    std::uint64_t reflected = 0;
    for (int bit = 0; bit < 32; ++bit)
        if ((remainder >> bit) & 1) reflected |= std::uint64_t { 1 } << (31 - bit);
    return reflected << 1;
}

constexpr std::uint64_t by_four_low = fold_constant(4 * 128 + 32);
constexpr std::uint64_t by_four_high = fold_constant(4 * 128 - 32);
constexpr std::uint64_t by_one_low = fold_constant(128 + 32);
constexpr std::uint64_t by_one_high = fold_constant(128 - 32);
static_assert(by_four_low == 0x154442BD4 && by_four_high == 0x1C6E41596);
static_assert(by_one_low == 0x1751997D0 && by_one_high == 0x0CCAA009E);

__attribute__((target("pclmul,sse4.1"))) inline __m128i fold(__m128i lane, __m128i constants, __m128i data)
{
    __m128i const low = _mm_clmulepi64_si128(lane, constants, 0x00);
    __m128i const high = _mm_clmulepi64_si128(lane, constants, 0x11);
    return _mm_xor_si128(_mm_xor_si128(low, high), data);
}

__attribute__((target("pclmul,sse4.1"))) inline __m128i load(std::uint8_t const* bytes)
{
    return _mm_loadu_si128(reinterpret_cast<__m128i const*>(bytes));
}

}

bool crc32_folding_available()
{
    static bool const available = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    return available;
}

__attribute__((target("pclmul,sse4.1"))) void crc32_fold(
    std::uint32_t crc, std::uint8_t const* bytes, std::size_t length, std::uint8_t* remainder)
{
    __m128i lane0 = _mm_xor_si128(load(bytes), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i lane1 = load(bytes + 16);
    __m128i lane2 = load(bytes + 32);
    __m128i lane3 = load(bytes + 48);
    __m128i const by_four = _mm_set_epi64x(static_cast<long long>(by_four_high), static_cast<long long>(by_four_low));
    for (std::size_t offset = 64; offset < length; offset += 64) {
        lane0 = fold(lane0, by_four, load(bytes + offset));
        lane1 = fold(lane1, by_four, load(bytes + offset + 16));
        lane2 = fold(lane2, by_four, load(bytes + offset + 32));
        lane3 = fold(lane3, by_four, load(bytes + offset + 48));
    }
    __m128i const by_one = _mm_set_epi64x(static_cast<long long>(by_one_high), static_cast<long long>(by_one_low));
    __m128i folded = fold(lane0, by_one, lane1);
    folded = fold(folded, by_one, lane2);
    folded = fold(folded, by_one, lane3);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(remainder), folded);
}

}
