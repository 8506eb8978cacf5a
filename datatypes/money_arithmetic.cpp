// The decimal engine under money!: the packed digits, the currency list, the four operations and the
// remainder on digit strings, the conversions with integers, floats and text, and the formatting. Every
// operation works on digits unpacked into work areas on the machine stack, never on the heap.

#include <algorithm>
#include <cmath>
#include <cstring>

#include "datatypes/datatype.h"
#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/money.h"
#include "datatypes/none.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/system_members.h"
#include "runtime/errors.h"
#include "runtime/float_text.h"
#include "runtime/roots.h"
#include "runtime/stack.h"
#include "runtime/type_families.h"

namespace xol::money {

namespace {

// The digit area: cell bytes 5 to 15.
std::uint8_t* digit_area(Cell& value)
{
    return reinterpret_cast<std::uint8_t*>(&value) + 5;
}
std::uint8_t const* digit_area(Cell const& value)
{
    return reinterpret_cast<std::uint8_t const*>(&value) + 5;
}

// 22 digits, most significant first: digit[0] is position 1.
using Digits = std::array<std::uint8_t, digit_count>;

Digits unpack(Cell const& value)
{
    Digits digits {};
    std::uint8_t const* bytes = digit_area(value);
    for (int i = 0; i < digit_bytes; ++i) {
        digits[static_cast<std::size_t>(2 * i)] = static_cast<std::uint8_t>(bytes[i] >> 4);
        digits[static_cast<std::size_t>(2 * i + 1)] = static_cast<std::uint8_t>(bytes[i] & 0x0F);
    }
    return digits;
}

// A money! of the digits, the sign (cleared for zero) and the currency.
Cell pack(Digits const& digits, bool negative, std::uint32_t currency)
{
    Cell value { type_id, currency & 0xFF, 0, 0 };
    std::uint8_t* bytes = digit_area(value);
    bool any = false;
    for (int i = 0; i < digit_bytes; ++i) {
        std::uint8_t const high = digits[static_cast<std::size_t>(2 * i)];
        std::uint8_t const low = digits[static_cast<std::size_t>(2 * i + 1)];
        bytes[i] = static_cast<std::uint8_t>(high << 4 | low);
        any = any || bytes[i] != 0;
    }
    if (negative && any) value.header |= sign_flag;
    return value;
}

bool all_zero(Digits const& digits)
{
    for (std::uint8_t const digit : digits)
        if (digit != 0) return false;
    return true;
}

// -1, 0 or 1 comparing two magnitudes.
std::int32_t compare_digits(Digits const& a, Digits const& b)
{
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    return 0;
}

[[noreturn]] void limit_reached()
{
    Cell const datatype = datatype::make(type_id);
    fire_error(err::script::type_limit, &datatype);
}

// a + b; false when the sum needs a 23rd digit.
bool add_digits(Digits const& a, Digits const& b, Digits& sum)
{
    int carry = 0;
    for (std::size_t i = digit_count; i-- > 0;) {
        int const digit = a[i] + b[i] + carry;
        sum[i] = static_cast<std::uint8_t>(digit % 10);
        carry = digit / 10;
    }
    return carry == 0;
}

// a - b, with a at least b.
Digits subtract_digits(Digits const& a, Digits const& b)
{
    Digits difference {};
    int borrow = 0;
    for (std::size_t i = digit_count; i-- > 0;) {
        int digit = a[i] - b[i] - borrow;
        borrow = digit < 0 ? 1 : 0;
        difference[i] = static_cast<std::uint8_t>(digit + 10 * borrow);
    }
    return difference;
}

// The signed sum of two signed magnitudes.
Cell signed_sum(Digits const& a, bool a_negative, Digits const& b, bool b_negative, std::uint32_t currency)
{
    if (a_negative == b_negative) {
        Digits sum {};
        if (!add_digits(a, b, sum)) limit_reached();
        return pack(sum, a_negative, currency);
    }
    // Opposite signs: the larger magnitude less the smaller, with the larger one's sign.
    if (compare_digits(a, b) >= 0) return pack(subtract_digits(a, b), a_negative, currency);
    return pack(subtract_digits(b, a), b_negative, currency);
}

// ---- Long division ----------------------------------------------------------------------------------

// The quotient and remainder of a dividend of up to 27 digits (the 22 digits, scaled by 10^5 when
// `scaled`) by a divisor that is not zero. The remainder is below the divisor, so it fits 22 digits; a
// running remainder times 10 plus a digit fits 23.
struct Division {
    std::array<std::uint8_t, digit_count + fraction_digits> quotient {}; // most significant first
    Digits remainder {};
};

Division long_division(Digits const& dividend, Digits const& divisor, bool scaled)
{
    Division result;
    // The running remainder as 23 digits, most significant first; the divisor aligned to it.
    std::array<std::uint8_t, digit_count + 1> running {};
    std::array<std::uint8_t, digit_count + 1> aligned {};
    std::copy(divisor.begin(), divisor.end(), aligned.begin() + 1);
    std::size_t const length = digit_count + (scaled ? fraction_digits : 0);
    for (std::size_t step = 0; step < length; ++step) {
        // running = running x 10 + the next dividend digit.
        std::copy(running.begin() + 1, running.end(), running.begin());
        running.back() = step < digit_count ? dividend[step] : 0;
        std::uint8_t count = 0;
        // At most nine subtractions: the running remainder is below ten divisors.
        while (std::lexicographical_compare(running.begin(), running.end(), aligned.begin(), aligned.end()) == false) {
            int borrow = 0;
            for (std::size_t i = running.size(); i-- > 0;) {
                int digit = running[i] - aligned[i] - borrow;
                borrow = digit < 0 ? 1 : 0;
                running[i] = static_cast<std::uint8_t>(digit + 10 * borrow);
            }
            ++count;
        }
        result.quotient[step] = count;
    }
    std::copy(running.begin() + 1, running.end(), result.remainder.begin());
    return result;
}

}

// ---- The cell -----------------------------------------------------------------------------------------

void set_negative(Cell& value, bool negative)
{
    if (negative)
        value.header |= sign_flag;
    else
        value.header &= ~sign_flag;
}

void set_currency(Cell& value, std::uint32_t index)
{
    value.word1 = (value.word1 & ~0xFFu) | (index & 0xFF);
}

DigitBytes digit_bytes_of(Cell const& value)
{
    DigitBytes bytes;
    std::memcpy(bytes.data(), digit_area(value), digit_bytes);
    return bytes;
}

void set_digit_bytes(Cell& value, DigitBytes const& bytes)
{
    std::memcpy(digit_area(value), bytes.data(), digit_bytes);
}

std::int32_t get_digit(Cell const& value, int position)
{
    std::uint8_t const byte = digit_area(value)[(position - 1) / 2];
    return (position & 1) != 0 ? byte >> 4 : byte & 0x0F;
}

void set_digit(Cell& value, int position, std::int32_t digit)
{
    std::uint8_t& byte = digit_area(value)[(position - 1) / 2];
    if ((position & 1) != 0)
        byte = static_cast<std::uint8_t>((byte & 0x0F) | digit << 4);
    else
        byte = static_cast<std::uint8_t>((byte & 0xF0) | digit);
}

bool zero_q(Cell const& value)
{
    std::uint8_t const* bytes = digit_area(value);
    for (int i = 0; i < digit_bytes; ++i)
        if (bytes[i] != 0) return false;
    return true;
}

std::int32_t sign_of(Cell const& value)
{
    if (zero_q(value)) return 0;
    return negative_bit(value) ? -1 : 1;
}

std::int32_t significant_digits(Cell const& value)
{
    for (int position = 1; position <= digit_count; ++position)
        if (get_digit(value, position) != 0) return digit_count - position + 1;
    return 1;
}

// ---- Makers -------------------------------------------------------------------------------------------

void make_at(Cell& cell, bool negative, std::uint32_t currency, DigitBytes const& bytes)
{
    cell = Cell { (cell.header & ~(cell::type_mask | sign_flag)) | type_id, currency & 0xFF, 0, 0 };
    set_digit_bytes(cell, bytes);
    set_negative(cell, negative);
}

Cell* push(bool negative, std::uint32_t currency, DigitBytes const& bytes)
{
    Cell value = cell::make(type_id);
    make_at(value, negative, currency, bytes);
    return stack::push(value);
}

Cell zero(std::uint32_t currency)
{
    return Cell { type_id, currency & 0xFF, 0, 0 };
}

bool make_from_parts(
    Cell& cell, bool negative, std::string_view currency, std::string_view integral, std::string_view fraction)
{
    std::uint32_t index = 0;
    if (!currency.empty()) {
        std::int32_t const found = currency_index(currency.substr(0, 3));
        if (found < 0) return false;
        index = static_cast<std::uint32_t>(found);
    }
    Digits digits {};
    int position = integral_digits;
    for (std::size_t i = integral.size(); i-- > 0;) {
        char const c = integral[i];
        if (c == '\'') continue;
        if (position == 0) {
            if (c != '0') return false; // an 18th significant integral digit
            continue;
        }
        digits[static_cast<std::size_t>(--position)] = static_cast<std::uint8_t>(c - '0');
    }
    position = integral_digits;
    for (char const c : fraction) {
        if (position == digit_count) break; // decimals beyond the fifth are dropped
        if (c == '\'') continue;
        digits[static_cast<std::size_t>(position++)] = static_cast<std::uint8_t>(c - '0');
    }
    Cell const made = pack(digits, negative, index);
    cell = Cell { (cell.header & ~(cell::type_mask | sign_flag)) | made.header, made.word1, made.word2, made.word3 };
    return true;
}

// ---- Currencies ---------------------------------------------------------------------------------------

namespace {

// Calls `matches(word)` for the words of the list up to the last an index can name; the position of the
// first that matches, or -1.
template <typename Matches> std::int32_t find_currency(Matches&& matches)
{
    Cell const list = system_members::currency_list();
    if (!type_ids::is_list(cell::type_of(list))) return -1;
    std::uint32_t const count = series::length_of(list);
    Cell const* words = node::buffer(list.word2)->head_cell() + list.word1;
    for (std::uint32_t i = 0; i < count && i < largest_currency_index; ++i)
        if (type_ids::is_all_word(cell::type_of(words[i])) && matches(words[i]))
            return static_cast<std::int32_t>(i + 1);
    return -1;
}

}

std::int32_t currency_index(SymbolId symbol)
{
    SymbolId const canonical = symbol::resolve(symbol);
    return find_currency([&](Cell const& word) { return symbol::resolve(word.word2) == canonical; });
}

// Symbols fold ASCII letters only, so comparing the spellings the same way agrees with the canonical look-up
// without interning the code.
std::int32_t currency_index(std::string_view code)
{
    auto const fold = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
    return find_currency([&](Cell const& word) {
        std::string_view const spelling = symbol::spelling(word.word2);
        if (spelling.size() != code.size()) return false;
        for (std::size_t i = 0; i < code.size(); ++i)
            if (fold(spelling[i]) != fold(code[i])) return false;
        return true;
    });
}

Cell currency_word(std::uint32_t index)
{
    Cell const list = system_members::currency_list();
    if (index == 0 || !type_ids::is_list(cell::type_of(list)) || series::length_of(list) < index) return none_value;
    Cell word = node::buffer(list.word2)->head_cell()[list.word1 + index - 1];
    if (!type_ids::is_all_word(cell::type_of(word))) return none_value;
    cell::set_type(word, type_ids::word);
    cell::clear_new_line(word);
    return word;
}

// ---- Conversions --------------------------------------------------------------------------------------

Cell from_integer(std::int32_t number)
{
    Digits digits {};
    std::int64_t magnitude = number < 0 ? -std::int64_t { number } : number;
    for (int position = integral_digits; magnitude != 0; --position) {
        digits[static_cast<std::size_t>(position - 1)] = static_cast<std::uint8_t>(magnitude % 10);
        magnitude /= 10;
    }
    return pack(digits, number < 0, 0);
}

std::int32_t to_integer(Cell const& value)
{
    std::uint64_t magnitude = 0;
    for (int position = 1; position <= integral_digits; ++position)
        magnitude = magnitude * 10 + static_cast<std::uint64_t>(get_digit(value, position));
    bool const negative = sign_of(value) < 0;
    if (magnitude > (negative ? 2147483648u : 2147483647u)) {
        Cell const datatype = datatype::make(type_ids::integer);
        fire_error(err::script::type_limit, &datatype);
    }
    return static_cast<std::int32_t>(negative ? -static_cast<std::int64_t>(magnitude) : magnitude);
}

double to_float(Cell const& value)
{
    if (zero_q(value)) return 0.0;
    char text[digit_count + 2]; // the digits and the point
    char* end = text;
    for (int position = 1; position <= digit_count; ++position) {
        if (position == integral_digits + 1) *end++ = '.';
        *end++ = static_cast<char>('0' + get_digit(value, position));
    }
    double const magnitude = float_::from_text(text, end, 0, nullptr);
    return sign_of(value) < 0 ? -magnitude : magnitude;
}

bool float_too_big_q(double number)
{
    return std::fabs(number) >= 1e17;
}

bool float_too_small_q(double number)
{
    return number != 0 && std::fabs(number) < 1e-5;
}

Cell from_float(double number, FloatMode mode)
{
    auto const refuse = [&] {
        Cell const datatype = datatype::make(type_id);
        Cell const given = float_::make(number);
        fire_error(err::script::bad_make_arg, &datatype, &given);
    };
    if (!std::isfinite(number) || float_too_small_q(number) || float_too_big_q(number)) refuse();
    int point = 0;
    bool negative = false;
    std::string_view const shortest = float_::to_text(number, 0, point, negative, float_::KeepZero::No);
    if (point == float_::zero_decimal_point) return zero();
    // The digits are 0.d1d2... x 10^point: digit k lands at position 18 - point + k.
    auto const count = static_cast<int>(shortest.size());
    if (mode == FloatMode::Strict && count - point > fraction_digits) refuse();
    Digits digits {};
    for (int k = 0; k < count; ++k) {
        int const position = integral_digits + 1 - point + k;
        if (position > digit_count) break;
        digits[static_cast<std::size_t>(position - 1)]
            = static_cast<std::uint8_t>(shortest[static_cast<std::size_t>(k)] - '0');
    }
    return pack(digits, negative, 0);
}

// ---- Arithmetic ---------------------------------------------------------------------------------------

Cell add(Cell const& a, Cell const& b)
{
    return signed_sum(unpack(a), sign_of(a) < 0, unpack(b), sign_of(b) < 0, currency_of(a));
}

Cell subtract(Cell const& a, Cell const& b)
{
    return signed_sum(unpack(a), sign_of(a) < 0, unpack(b), sign_of(b) > 0, currency_of(a));
}

// The product of the two magnitudes needs at most as many digits as they have significant digits
// together, so 28 of them fit a 32-digit work area; more could not survive the truncation to 22.
Cell multiply(Cell const& a, Cell const& b)
{
    bool const negative = sign_of(a) * sign_of(b) < 0;
    if (zero_q(a) || zero_q(b)) return zero(currency_of(a));
    if (significant_digits(a) + significant_digits(b) > 28) limit_reached();
    auto const x_count = static_cast<std::size_t>(significant_digits(a));
    auto const y_count = static_cast<std::size_t>(significant_digits(b));
    Digits const x = unpack(a);
    Digits const y = unpack(b);
    std::array<std::uint8_t, 32> work {}; // least significant first
    for (std::size_t i = 0; i < y_count; ++i) {
        std::uint8_t const y_digit = y[digit_count - 1 - i];
        int carry = 0;
        for (std::size_t j = 0; j < x_count; ++j) {
            int const digit = work[i + j] + x[digit_count - 1 - j] * y_digit + carry;
            work[i + j] = static_cast<std::uint8_t>(digit % 10);
            carry = digit / 10;
        }
        work[i + x_count] = static_cast<std::uint8_t>(carry);
    }
    // Five decimals are dropped; what is left must fit 22 digits and not be zero.
    for (std::size_t k = digit_count + fraction_digits; k < work.size(); ++k)
        if (work[k] != 0) limit_reached();
    Digits product {};
    for (std::size_t k = 0; k < digit_count; ++k) product[digit_count - 1 - k] = work[k + fraction_digits];
    if (all_zero(product)) limit_reached();
    return pack(product, negative, currency_of(a));
}

Cell divide(Cell const& a, Cell const& b)
{
    if (zero_q(b)) fire_error(err::math::zero_divide);
    if (zero_q(a)) return zero(currency_of(a));
    bool const negative = sign_of(a) * sign_of(b) < 0;
    Division const division = long_division(unpack(a), unpack(b), true);
    // The quotient has 27 digits: more than 22 significant ones cannot be held.
    for (std::size_t k = 0; k < fraction_digits; ++k)
        if (division.quotient[k] != 0) limit_reached();
    Digits quotient {};
    std::copy(division.quotient.begin() + fraction_digits, division.quotient.end(), quotient.begin());
    if (all_zero(quotient)) limit_reached();
    return pack(quotient, negative, currency_of(a));
}

Cell remainder(Cell const& a, Cell const& b)
{
    if (zero_q(b)) fire_error(err::math::zero_divide);
    return pack(long_division(unpack(a), unpack(b), false).remainder, sign_of(a) < 0, currency_of(a));
}

bool even_multiple_q(Cell const& multiple, Cell const& scale)
{
    if (zero_q(multiple)) return true;
    return long_division(unpack(multiple), unpack(scale), false).quotient[digit_count - 1] % 2 == 0;
}

std::int32_t compare_amounts(Cell const& a, Cell const& b)
{
    std::int32_t const sign_a = sign_of(a);
    std::int32_t const sign_b = sign_of(b);
    if (sign_a != sign_b) return sign_a < sign_b ? -1 : 1;
    std::int32_t const order = compare_digits(unpack(a), unpack(b));
    return sign_a < 0 ? -order : order;
}

std::int32_t compare_with_currency(Cell const& a, Cell const& b)
{
    std::uint32_t const currency_a = currency_of(a);
    std::uint32_t const currency_b = currency_of(b);
    if (currency_a != currency_b) {
        if (currency_a == 0 || currency_b == 0) return currency_a == 0 ? -1 : 1;
        std::string_view const code_a = symbol::spelling(currency_word(currency_a).word2);
        std::string_view const code_b = symbol::spelling(currency_word(currency_b).word2);
        if (code_a != code_b) return code_a < code_b ? -1 : 1;
    }
    return compare_amounts(a, b);
}

bool same_currency_q(Cell const& a, Cell const& b, bool strict)
{
    std::uint32_t const currency_a = currency_of(a);
    std::uint32_t const currency_b = currency_of(b);
    if (strict) return currency_a == currency_b;
    return currency_a == 0 || currency_b == 0 || currency_a == currency_b;
}

// ---- Text ---------------------------------------------------------------------------------------------

std::int32_t format(Cell const& value, Cell& buffer, std::int32_t limit, bool all, bool group)
{
    Cell const kept = value; // the value may lie in a buffer that appending moves
    std::int32_t decimals = 2;
    Cell const setting = system_members::money_digits();
    if (cell::type_of(setting) == type_ids::integer) decimals = integer::get(setting);
    if (all || decimals > fraction_digits) decimals = fraction_digits;

    if (sign_of(kept) < 0) limit = string::append_ascii(buffer, "-", limit);
    if (std::uint32_t const currency = currency_of(kept); currency != 0) {
        Cell const word = currency_word(currency);
        if (cell::type_of(word) == type_ids::word) {
            Rooted code(symbol::text_of(*symbol::get(word.word2)));
            string::splice(buffer, *code, -1, 0, false, string::SpliceMode::Append);
            limit -= static_cast<std::int32_t>(series::length_of(*code));
        }
    }
    char text[40]; // "$", 17 digits with 5 separators, the point and 5 decimals
    char* end = text;
    *end++ = '$';
    int const first = digit_count - significant_digits(kept) + 1;
    if (first > integral_digits) *end++ = '0';
    for (int position = first; position <= integral_digits; ++position) {
        *end++ = static_cast<char>('0' + get_digit(kept, position));
        if (group && (position + 1) % 3 == 0 && position != integral_digits) *end++ = '\'';
    }
    if (decimals > 0) {
        *end++ = '.';
        for (int position = integral_digits + 1; position <= integral_digits + decimals; ++position)
            *end++ = static_cast<char>('0' + get_digit(kept, position));
    }
    return string::append_ascii(buffer, { text, static_cast<std::size_t>(end - text) }, limit);
}

}
