// url!: percent decoding and encoding.

#include "datatypes/url.h"

#include <array>

#include "datatypes/string.h"
#include "runtime/roots.h"
#include "runtime/unicode.h"

namespace xol::url {

namespace {

constexpr char hex_digits[] = "0123456789ABCDEF";

int hex_value(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

using KeptTable = std::array<bool, 128>;

constexpr KeptTable kept_table(char const* marks)
{
    KeptTable table {};
    for (int c = 0; c < 128; ++c) table[c] = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    for (char const* mark = marks; *mark != 0; ++mark) table[static_cast<unsigned char>(*mark)] = true;
    return table;
}

constexpr KeptTable path_kept = kept_table("!#$&'()*+,-./:=?@_~");
constexpr KeptTable component_kept = kept_table("-._~");

struct EncodeState {
    char escape[4] = "%00";
    char kept[2] = "";
};
EncodeState encoding;

}

std::optional<std::uint8_t> decode_escape(std::string_view text)
{
    if (text.size() < 3 || text[0] != '%') return std::nullopt;
    int const high = hex_value(text[1]);
    int const low = hex_value(text[2]);
    if (high < 0 || low < 0) return std::nullopt;
    return static_cast<std::uint8_t>(high * 16 + low);
}

std::string_view encode_char(std::uint8_t byte, KeptSet set)
{
    KeptTable const& kept = set == KeptSet::Component ? component_kept : path_kept;
    if (byte < 128 && kept[byte]) {
        encoding.kept[0] = static_cast<char>(byte);
        return { encoding.kept, 1 };
    }
    encoding.escape[1] = hex_digits[byte >> 4];
    encoding.escape[2] = hex_digits[byte & 15];
    return { encoding.escape, 3 };
}

std::u32string decode_utf8(std::string_view text)
{
    std::u32string decoded;
    decoded.reserve(text.size());
    std::size_t position = 0;
    while (position < text.size()) {
        std::optional<std::uint8_t> const escaped = decode_escape(text.substr(position));
        if (escaped) {
            int const lead_length = unicode::utf8_lead_length(*escaped);
            if (lead_length == 0) {
                decoded.push_back(*escaped);
                position += 3;
                continue;
            }
            // A lead byte counts as escaped only with every continuation byte it announces escaped too.
            std::uint8_t sequence[4] = { *escaped };
            int gathered = 1;
            while (gathered < lead_length) {
                std::optional<std::uint8_t> const next = decode_escape(text.substr(position + 3 * gathered));
                if (!next) break;
                sequence[gathered++] = *next;
            }
            if (gathered == lead_length) {
                auto length = static_cast<std::uint32_t>(lead_length);
                std::int32_t const code_point
                    = unicode::utf8_decode_checked(sequence, length, unicode::InvalidUtf8::Answer);
                // A sequence the decoder refuses, or one that ends before its announced length, is not text.
                bool const valid = code_point >= 0 && length == static_cast<std::uint32_t>(lead_length);
                decoded.push_back(valid ? static_cast<char32_t>(code_point) : U'\uFFFE');
                position += 3 * static_cast<std::size_t>(lead_length);
                continue;
            }
        }
        // Text as it stands: one UTF-8 sequence.
        auto const* start = reinterpret_cast<std::uint8_t const*>(text.data()) + position;
        auto const* end = reinterpret_cast<std::uint8_t const*>(text.data()) + text.size();
        std::int32_t code_point = 0;
        std::uint8_t const* after = unicode::utf8_decode(start, end, code_point);
        if (code_point < 0) {
            // Text made from a string is valid UTF-8; a stray byte is taken as its own value.
            decoded.push_back(*start);
            position += 1;
            continue;
        }
        decoded.push_back(static_cast<char32_t>(code_point));
        position += static_cast<std::size_t>(after - start);
    }
    return decoded;
}

void decode(Cell const& value, Cell const& output_value)
{
    Rooted output(output_value);
    std::u32string const decoded = decode_utf8(string::to_utf8(value));
    for (char32_t code_point : decoded) string::append_char(*output, code_point);
}

void encode(Cell const& value, Cell const& output_value, KeptSet set)
{
    Rooted output(output_value);
    std::string const utf8 = string::to_utf8(value);
    std::string encoded;
    encoded.reserve(utf8.size());
    for (char byte : utf8) encoded += encode_char(static_cast<std::uint8_t>(byte), set);
    string::concatenate_literal(*output, encoded);
}

}
