// binary!: the base-2, 16, 58 and 64 encoders and decoders, and enbase and debase on values.

#include "datatypes/binary_codecs.h"

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "datatypes/binary.h"
#include "datatypes/string.h"
#include "runtime/assert.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/roots.h"
#include "runtime/series.h"

namespace xol::binary {

namespace {

constexpr char digits_16[] = "0123456789ABCDEF";
constexpr char digits_58[] = "123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz";
constexpr char digits_64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// The two digits of every 12 bits, for encoding a group of three bytes in two steps.
struct DigitPairs {
    char pairs[4096][2];
};
constexpr DigitPairs digit_pairs_64 = [] {
    DigitPairs table {};
    for (std::uint32_t bits = 0; bits < 4096; ++bits) {
        table.pairs[bits][0] = digits_64[bits >> 6];
        table.pairs[bits][1] = digits_64[bits & 63];
    }
    return table;
}();

// What a character is to a decoder: a digit's value (below 64), or one of these marks.
enum Mark : std::uint8_t { skipped = 0x80, comment = 0x81, padding = 0x82, invalid = 0xFF };

using DecodingTable = std::array<std::uint8_t, 128>;

// `all_controls`: every code up to 32 is skipped (bases 2 and 16); otherwise only backspace, tab, line
// feed, form feed, carriage return, space and the apostrophe (bases 58 and 64; vertical tab is invalid).
constexpr DecodingTable table_of(char const* digits, std::uint32_t count, bool all_controls)
{
    DecodingTable table {};
    for (std::uint8_t& entry : table) entry = invalid;
    if (all_controls) {
        for (std::uint32_t code = 0; code <= 32; ++code) table[code] = skipped;
    } else {
        for (std::uint32_t code : { 8, 9, 10, 12, 13, 32, 39 }) table[code] = skipped;
    }
    for (std::uint32_t value = 0; value < count; ++value)
        table[static_cast<std::uint8_t>(digits[value])] = static_cast<std::uint8_t>(value);
    table[';'] = comment;
    return table;
}

constexpr DecodingTable table_2 = table_of("01", 2, true);
constexpr DecodingTable table_16 = [] {
    DecodingTable table = table_of(digits_16, 16, true);
    for (std::uint32_t value = 10; value < 16; ++value) table['a' + value - 10] = static_cast<std::uint8_t>(value);
    return table;
}();
constexpr DecodingTable table_58 = table_of(digits_58, 58, false);
constexpr DecodingTable table_64 = [] {
    DecodingTable table = table_of(digits_64, 64, false);
    table['='] = padding;
    return table;
}();
// The same over every byte, for reading 1-byte text without a range test.
constexpr std::array<std::uint8_t, 256> wide_table_64 = [] {
    std::array<std::uint8_t, 256> table {};
    for (std::uint32_t code = 0; code < 256; ++code)
        table[code] = code < 128 ? table_64[code] : std::uint8_t { invalid };
    return table;
}();

// What a decoder's digit handler answers: go on, the text ends here (padding), or it is invalid.
enum class Step { More, End, Invalid };

template <typename Unit> std::uint32_t unit_at(std::byte const* data, std::uint32_t index)
{
    Unit unit;
    std::memcpy(&unit, data + std::size_t { index } * sizeof(Unit), sizeof(Unit));
    return unit;
}

// Walks the text and hands each digit's value (or the padding mark) to `digit`; skipped characters and
// comments pass. Answers false when the text is invalid.
template <typename Unit, typename Digit> bool each_digit(TextUnits text, DecodingTable const& table, Digit&& digit)
{
    for (std::uint32_t i = 0; i < text.length; ++i) {
        std::uint32_t const code = unit_at<Unit>(text.data, i);
        // No base has a digit above 127; taking such a character for one would read another text.
        if (code >= table.size()) return false;
        std::uint8_t const entry = table[code];
        if (entry < 64 || entry == padding) {
            Step const step = digit(entry);
            if (step == Step::More) continue;
            return step == Step::End;
        }
        if (entry == skipped) continue;
        if (entry != comment) return false;
        // The line feed that ends a comment is skipped with it, as white space.
        while (i + 1 < text.length && unit_at<Unit>(text.data, i + 1) != '\n') ++i;
        ++i;
    }
    return true;
}

template <typename Digit> bool each_digit_of(TextUnits text, DecodingTable const& table, Digit&& digit)
{
    switch (text.unit) {
    case 1:
        return each_digit<std::uint8_t>(text, table, digit);
    case 2:
        return each_digit<std::uint16_t>(text, table, digit);
    case 4:
        return each_digit<std::uint32_t>(text, table, digit);
    }
    XOL_ASSERT(false, "text units of 1, 2 or 4 bytes");
    return false;
}

// Base 58 works on 32-bit limbs, five digits at a time: 58^5 fits in 30 bits.
constexpr std::uint32_t five_digits = 58u * 58 * 58 * 58 * 58;

}

std::optional<Base> base_of(std::int32_t number)
{
    switch (number) {
    case 2:
        return Base::Two;
    case 16:
        return Base::Sixteen;
    case 58:
        return Base::FiftyEight;
    case 64:
        return Base::SixtyFour;
    default:
        return std::nullopt;
    }
}

// ---- Encoders -----------------------------------------------------------------------------------------

char* enbase_2(char* output, std::uint8_t const* input, std::uint32_t count)
{
    for (std::uint32_t i = 0; i < count; ++i)
        for (int bit = 7; bit >= 0; --bit) *output++ = static_cast<char>('0' + ((input[i] >> bit) & 1));
    return output;
}

char* enbase_16(char* output, std::uint8_t const* input, std::uint32_t count)
{
    for (std::uint32_t i = 0; i < count; ++i) {
        *output++ = digits_16[input[i] >> 4];
        *output++ = digits_16[input[i] & 15];
    }
    return output;
}

char* enbase_64(char* output, std::uint8_t const* input, std::uint32_t count)
{
    std::uint32_t i = 0;
    for (; i + 3 <= count; i += 3) {
        std::uint32_t const group
            = std::uint32_t { input[i] } << 16 | std::uint32_t { input[i + 1] } << 8 | input[i + 2];
        std::memcpy(output, digit_pairs_64.pairs[group >> 12], 2);
        std::memcpy(output + 2, digit_pairs_64.pairs[group & 4095], 2);
        output += 4;
    }
    std::uint32_t const left = count - i;
    if (left == 0) return output;
    std::uint32_t const group
        = std::uint32_t { input[i] } << 16 | (left == 2 ? std::uint32_t { input[i + 1] } << 8 : 0);
    output[0] = digits_64[group >> 18];
    output[1] = digits_64[(group >> 12) & 63];
    output[2] = left == 2 ? digits_64[(group >> 6) & 63] : '=';
    output[3] = '=';
    return output + 4;
}

char* enbase_big(char* output, std::uint8_t const* input, std::uint32_t count)
{
    std::uint32_t zeros = 0;
    while (zeros < count && input[zeros] == 0) ++zeros;
    // The bytes after the zeros as one number in 32-bit limbs, least significant first.
    std::vector<std::uint32_t> limbs;
    limbs.reserve((count - zeros) / 4 + 1);
    for (std::uint32_t end = count; end > zeros;) {
        std::uint32_t const start = end - zeros >= 4 ? end - 4 : zeros;
        std::uint32_t limb = 0;
        for (std::uint32_t i = start; i < end; ++i) limb = limb << 8 | input[i];
        limbs.push_back(limb);
        end = start;
    }
    while (!limbs.empty() && limbs.back() == 0) limbs.pop_back();
    // Digits, least significant first: each division by 58^5 gives five of them.
    std::vector<char> digits;
    while (!limbs.empty()) {
        std::uint64_t remainder = 0;
        for (std::size_t i = limbs.size(); i-- > 0;) {
            std::uint64_t const current = remainder << 32 | limbs[i];
            limbs[i] = static_cast<std::uint32_t>(current / five_digits);
            remainder = current % five_digits;
        }
        while (!limbs.empty() && limbs.back() == 0) limbs.pop_back();
        for (int k = 0; k < 5; ++k) {
            digits.push_back(static_cast<char>(remainder % 58));
            remainder /= 58;
        }
    }
    // The last division's digits run past the number's first one: those are leading zeros.
    while (!digits.empty() && digits.back() == 0) digits.pop_back();
    output = static_cast<char*>(std::memset(output, '1', zeros)) + zeros;
    for (std::size_t i = digits.size(); i-- > 0;) *output++ = digits_58[static_cast<std::uint8_t>(digits[i])];
    return output;
}

std::uint64_t encoded_capacity(Base base, std::uint32_t count)
{
    std::uint64_t const n = count;
    switch (base) {
    case Base::Two:
        return 8 * n + 2 * (n / 8) + 4;
    case Base::Sixteen:
        return 2 * n + n / 32 + 32;
    case Base::FiftyEight:
        return 2 * n;
    case Base::SixtyFour:
        return 4 * (n / 3) + (4 * (n % 3)) / 3 + 2 * (n / 32) + 5;
    }
    return 0;
}

// ---- Decoders -----------------------------------------------------------------------------------------

std::optional<std::uint32_t> debase_2(TextUnits text, std::uint8_t* output)
{
    std::uint32_t written = 0;
    std::uint32_t bits = 0;
    std::uint32_t byte = 0;
    bool const valid = each_digit_of(text, table_2, [&](std::uint8_t digit) {
        byte = byte << 1 | digit;
        if (++bits == 8) {
            output[written++] = static_cast<std::uint8_t>(byte);
            bits = byte = 0;
        }
        return Step::More;
    });
    if (!valid || bits != 0) return std::nullopt;
    return written;
}

std::optional<std::uint32_t> debase_16(TextUnits text, std::uint8_t* output)
{
    std::uint32_t written = 0;
    bool high = true;
    std::uint32_t byte = 0;
    bool const valid = each_digit_of(text, table_16, [&](std::uint8_t digit) {
        if (high) {
            byte = digit;
        } else {
            output[written++] = static_cast<std::uint8_t>(byte << 4 | digit);
        }
        high = !high;
        return Step::More;
    });
    if (!valid) return std::nullopt;
    return written;
}

std::optional<std::uint32_t> debase_64(TextUnits text, std::uint8_t* output)
{
    std::uint32_t written = 0;
    std::uint32_t group = 0;
    std::uint32_t digits = 0;
    // Most text is whole groups of four digits: 1-byte text decodes those four at a time, as far as it
    // goes, and the rest (blanks, comments, padding, anything invalid) goes through the general walk.
    if (text.unit == 1) {
        auto const* units = reinterpret_cast<std::uint8_t const*>(text.data);
        std::uint32_t i = 0;
        for (; i + 4 <= text.length; i += 4) {
            std::uint32_t const a = wide_table_64[units[i]];
            std::uint32_t const b = wide_table_64[units[i + 1]];
            std::uint32_t const c = wide_table_64[units[i + 2]];
            std::uint32_t const d = wide_table_64[units[i + 3]];
            if ((a | b | c | d) >= 64) break;
            std::uint32_t const bits = a << 18 | b << 12 | c << 6 | d;
            output[written] = static_cast<std::uint8_t>(bits >> 16);
            output[written + 1] = static_cast<std::uint8_t>(bits >> 8);
            output[written + 2] = static_cast<std::uint8_t>(bits);
            written += 3;
        }
        text.data += i;
        text.length -= i;
    }
    bool const valid = each_digit_of(text, table_64, [&](std::uint8_t digit) {
        if (digit == padding) {
            if (digits == 3) {
                output[written++] = static_cast<std::uint8_t>(group >> 10);
                output[written++] = static_cast<std::uint8_t>(group >> 2);
                return Step::End;
            }
            if (digits == 2) {
                output[written++] = static_cast<std::uint8_t>(group >> 4);
                return Step::End;
            }
            return Step::Invalid;
        }
        group = group << 6 | digit;
        if (++digits == 4) {
            output[written++] = static_cast<std::uint8_t>(group >> 16);
            output[written++] = static_cast<std::uint8_t>(group >> 8);
            output[written++] = static_cast<std::uint8_t>(group);
            group = digits = 0;
        }
        return Step::More;
    });
    if (!valid) return std::nullopt;
    return written;
}

std::optional<std::uint32_t> debase_big(TextUnits text, std::uint8_t* output)
{
    std::vector<std::uint8_t> digits;
    digits.reserve(text.length);
    bool const valid = each_digit_of(text, table_58, [&](std::uint8_t digit) {
        digits.push_back(digit);
        return Step::More;
    });
    if (!valid) return std::nullopt;
    std::uint32_t zeros = 0;
    while (zeros < digits.size() && digits[zeros] == 0) ++zeros;
    // The other digits as one number in 32-bit limbs, least significant first, five digits at a time.
    std::vector<std::uint32_t> limbs;
    for (std::size_t i = zeros; i < digits.size();) {
        std::uint64_t chunk = 0;
        std::uint64_t scale = 1;
        for (int k = 0; k < 5 && i < digits.size(); ++k, ++i) {
            chunk = chunk * 58 + digits[i];
            scale *= 58;
        }
        std::uint64_t carry = chunk;
        for (std::uint32_t& limb : limbs) {
            std::uint64_t const current = limb * scale + carry;
            limb = static_cast<std::uint32_t>(current);
            carry = current >> 32;
        }
        if (carry != 0) limbs.push_back(static_cast<std::uint32_t>(carry));
    }
    std::memset(output, 0, zeros);
    std::uint32_t written = zeros;
    bool leading = true;
    for (std::size_t i = limbs.size(); i-- > 0;) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            auto const byte = static_cast<std::uint8_t>(limbs[i] >> shift);
            if (leading && byte == 0) continue;
            leading = false;
            output[written++] = byte;
        }
    }
    return written;
}

std::optional<std::uint32_t> debase_into(Base base, TextUnits text, std::uint8_t* output)
{
    switch (base) {
    case Base::Two:
        return debase_2(text, output);
    case Base::Sixteen:
        return debase_16(text, output);
    case Base::FiftyEight:
        return debase_big(text, output);
    case Base::SixtyFour:
        return debase_64(text, output);
    }
    return std::nullopt;
}

std::uint64_t decoded_capacity(Base base, std::uint32_t length)
{
    std::uint64_t const n = length;
    switch (base) {
    case Base::Two:
        return n / 8;
    case Base::Sixteen:
        return n / 2;
    case Base::FiftyEight:
        return n; // no more bytes than digits
    case Base::SixtyFour:
        return (n + 3) * 3 / 4;
    }
    return 0;
}

// ---- Values -------------------------------------------------------------------------------------------

Cell enbase(Cell const& source_value, Base base)
{
    Rooted source(source_value);
    // A string! is encoded as its UTF-8, made apart; a binary! is read in place once the output exists.
    bool const from_text = cell::type_of(*source) != type_id;
    std::string const utf8 = from_text ? string::to_utf8(*source) : std::string();
    std::uint32_t const count = from_text ? static_cast<std::uint32_t>(utf8.size()) : rs_length(*source);
    std::uint64_t const capacity = encoded_capacity(base, count);
    if (capacity > 0x7FFF'FFFF) fire_error(err::script::too_long);
    if (capacity > memory::max_capacity) return cell::make(type_ids::none);
    Rooted result(string::make(static_cast<std::uint32_t>(capacity)));
    auto const* input = from_text ? reinterpret_cast<std::uint8_t const*>(utf8.data()) : rs_head(*source);
    SeriesBuffer* buffer = node::buffer(result->word2);
    char* const start = reinterpret_cast<char*>(buffer->head_address());
    char* end = start;
    switch (base) {
    case Base::Two:
        end = enbase_2(start, input, count);
        break;
    case Base::Sixteen:
        end = enbase_16(start, input, count);
        break;
    case Base::FiftyEight:
        end = enbase_big(start, input, count);
        break;
    case Base::SixtyFour:
        end = enbase_64(start, input, count);
        break;
    }
    XOL_ASSERT(static_cast<std::uint64_t>(end - start) <= capacity, "an encoder wrote past its room");
    buffer->tail = buffer->head + static_cast<std::uint32_t>(end - start);
    return *result;
}

Cell debase(Cell const& text_value, Base base)
{
    Rooted text(text_value);
    std::uint32_t const length = string::rs_length_q(*text);
    std::uint64_t const capacity = decoded_capacity(base, length);
    Rooted result(make(static_cast<std::uint32_t>(capacity)));
    // The text is read only now: making the result may have moved it.
    SeriesBuffer const* source = node::buffer(text->word2);
    std::uint32_t const unit = source->unit();
    std::byte const* data
        = source->data() + source->head + (std::uint64_t { string::clamped_index(*text) } << source->unit_shift());
    std::optional<std::uint32_t> const count = debase_into(base, { data, length, unit }, rs_head(*result));
    if (!count) return cell::make(type_ids::none);
    XOL_ASSERT(*count <= capacity, "a decoder wrote past its room");
    set_length(*result, *count);
    return *result;
}

}
