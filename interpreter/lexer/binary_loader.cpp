// The loader of binary literals: base 2, 16 or 64 digits between "#{" and "}", with blanks and comments.

#include <cstdint>
#include <vector>

#include "interpreter/lexer/literal_makers.h"
#include "interpreter/lexer/tokens.h"

namespace xol::lexer {

namespace {

bool is_binary_blank(std::uint8_t c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

int base64_value(std::uint8_t c)
{
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

// The characters of a binary's body without blanks and comments.
std::vector<std::uint8_t> binary_digits(std::uint8_t const* start, std::uint8_t const* end)
{
    std::vector<std::uint8_t> digits;
    digits.reserve(static_cast<std::size_t>(end - start));
    for (std::uint8_t const* p = start; p < end; ++p) {
        if (is_binary_blank(*p)) continue;
        if (*p == ';') {
            while (p < end && *p != '\n') ++p;
            continue;
        }
        digits.push_back(*p);
    }
    return digits;
}

bool decode_base2(std::vector<std::uint8_t> const& digits, std::vector<std::uint8_t>& bytes)
{
    if (digits.size() % 8 != 0) return false;
    for (std::size_t i = 0; i < digits.size(); i += 8) {
        std::uint32_t byte = 0;
        for (std::size_t k = 0; k < 8; ++k) {
            std::uint8_t const c = digits[i + k];
            if (c != '0' && c != '1') return false;
            byte = byte << 1 | static_cast<std::uint32_t>(c - '0');
        }
        bytes.push_back(static_cast<std::uint8_t>(byte));
    }
    return true;
}

bool decode_base16(std::vector<std::uint8_t> const& digits, std::vector<std::uint8_t>& bytes)
{
    if (digits.size() % 2 != 0) return false;
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        int const high = hex_value(digits[i]);
        int const low = hex_value(digits[i + 1]);
        if (high < 0 || low < 0) return false;
        bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    return true;
}

bool decode_base64(std::vector<std::uint8_t> const& digits, std::vector<std::uint8_t>& bytes)
{
    if (digits.size() % 4 != 0) return false;
    for (std::size_t i = 0; i < digits.size(); i += 4) {
        bool const last = i + 4 == digits.size();
        std::uint32_t group = 0;
        int padding = 0;
        for (std::size_t k = 0; k < 4; ++k) {
            std::uint8_t const c = digits[i + k];
            if (c == '=') {
                // Padding only ends the last group, and only its last one or two characters.
                if (!last || k < 2) return false;
                ++padding;
                group <<= 6;
                continue;
            }
            int const value = base64_value(c);
            if (value < 0 || padding > 0) return false;
            group = group << 6 | static_cast<std::uint32_t>(value);
        }
        bytes.push_back(static_cast<std::uint8_t>(group >> 16));
        if (padding < 2) bytes.push_back(static_cast<std::uint8_t>(group >> 8));
        if (padding < 1) bytes.push_back(static_cast<std::uint8_t>(group));
    }
    return true;
}

}

// [base] "#{" digits "}": base 2, 16 (the default) or 64; blanks and comments between the digits.
void load_binary(LexerState& state, Token& token, bool load)
{
    state.position = token.end < state.input_end ? token.end + 1 : token.end;
    std::uint8_t const* position = token.start;
    int base = 0;
    bool has_base = false;
    while (position < token.end && *position >= '0' && *position <= '9' && base < 100) {
        base = base * 10 + (*position - '0');
        has_base = true;
        ++position;
    }
    if (!has_base) base = 16;
    if (token.end - position < 2 || position[0] != '#' || position[1] != '{' || (base != 2 && base != 16 && base != 64)
        || token.end >= state.input_end || *token.end != '}')
        return syntax_error(state, token.start, token.end, type_ids::binary);
    std::vector<std::uint8_t> const digits = binary_digits(position + 2, token.end);
    std::vector<std::uint8_t> bytes;
    bytes.reserve(base == 64 ? (digits.size() + 1) * 3 / 4 : base == 16 ? digits.size() / 2 : digits.size() / 8);
    bool const decoded = base == 2 ? decode_base2(digits, bytes)
        : base == 16               ? decode_base16(digits, bytes)
                                   : decode_base64(digits, bytes);
    if (!decoded) return syntax_error(state, token.start, token.end, type_ids::binary);
    if (load) store_value(state, makers::binary(bytes));
}

}
