// The loaders of text literals: strings with their caret escapes, raw strings, chars, files, tags, URLs,
// emails and refs.

#include <cstring>
#include <string>
#include <vector>

#include "datatypes/char.h"
#include "datatypes/string.h"
#include "interpreter/lexer/literal_makers.h"
#include "interpreter/lexer/tokens.h"
#include "runtime/unicode.h"

namespace xol::lexer {

namespace {

// ---- Caret escapes ---------------------------------------------------------------------------------------

bool equal_folded(std::uint8_t const* text, std::size_t length, char const* name)
{
    if (std::strlen(name) != length) return false;
    for (std::size_t i = 0; i < length; ++i) {
        std::uint8_t c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<std::uint8_t>(c + 32);
        if (c != static_cast<std::uint8_t>(name[i])) return false;
    }
    return true;
}

struct NamedEscape {
    char const* name;
    std::uint32_t code_point;
};
constexpr NamedEscape named_escapes[] = {
    { "null", 0 },
    { "back", 8 },
    { "tab", 9 },
    { "line", 10 },
    { "page", 12 },
    { "esc", 27 },
    { "del", 127 },
};

// The longest "^(...)" body: six hex digits.
constexpr std::ptrdiff_t escape_body_limit = 6;

// Decodes the escape after a caret (`position` is just after it): answers the position after the escape
// and its code point, or nullptr when it is malformed.
std::uint8_t const* decode_escape(std::uint8_t const* position, std::uint8_t const* end, std::uint32_t& code_point)
{
    if (position >= end) return nullptr; // a lone caret
    std::uint8_t const c = *position;
    if (c == '(') {
        std::uint8_t const* body = position + 1;
        std::uint8_t const* close = body;
        while (close < end && *close != ')' && close - body <= escape_body_limit) ++close;
        if (close >= end || *close != ')') return nullptr;
        auto const length = static_cast<std::size_t>(close - body);
        bool all_hex = length > 0;
        std::uint32_t value = 0;
        for (std::uint8_t const* p = body; p < close; ++p) {
            int const digit = hex_value(*p);
            if (digit < 0) {
                all_hex = false;
                break;
            }
            value = value * 16 + static_cast<std::uint32_t>(digit);
        }
        if (all_hex) {
            if (value > unicode::max_code_point) return nullptr;
            code_point = value;
            return close + 1;
        }
        for (NamedEscape const& named : named_escapes)
            if (equal_folded(body, length, named.name)) {
                code_point = named.code_point;
                return close + 1;
            }
        return nullptr;
    }
    switch (c) {
    case '-':
        code_point = '\t';
        return position + 1;
    case '/':
        code_point = '\n';
        return position + 1;
    case '@':
        code_point = 0;
        return position + 1;
    case '~':
        code_point = 127;
        return position + 1;
    case '"':
    case '^':
    case '{':
    case '}':
        code_point = c;
        return position + 1;
    default:
        break;
    }
    if (c >= 'a' && c <= 'z') {
        code_point = c - 'a' + 1u;
        return position + 1;
    }
    if ((c >= 'A' && c <= 'Z') || c == '[' || c == '\\' || c == ']' || c == '_') {
        code_point = c - 64u;
        return position + 1;
    }
    std::int32_t decoded;
    std::uint8_t const* next = unicode::utf8_decode(position, end, decoded);
    if (decoded < 0) return nullptr;
    code_point = static_cast<std::uint32_t>(decoded);
    return next;
}

// Hex escapes of more than 2 digits need 2-byte units, of more than 4 digits 4-byte units.
std::uint32_t widen_for_escapes(std::uint8_t const* start, std::uint8_t const* end, std::uint32_t width)
{
    for (std::uint8_t const* p = start; p + 1 < end && width < 4; ++p) {
        if (p[0] != '^' || p[1] != '(') {
            if (p[0] == '^') ++p; // the escaped character is no caret of its own
            continue;
        }
        std::uint8_t const* digit = p + 2;
        while (digit < end && hex_value(*digit) >= 0) ++digit;
        if (digit >= end || *digit != ')') continue;
        std::ptrdiff_t const digits = digit - (p + 2);
        if (digits > 4)
            width = 4;
        else if (digits > 2 && width < 2)
            width = 2;
        p = digit;
    }
    return width;
}

// The code points of [start, end), handed to `sink`; caret escapes decoded with `escapes`. False on a
// malformed UTF-8 sequence or escape.
template <typename Sink> bool decode_text(std::uint8_t const* start, std::uint8_t const* end, bool escapes, Sink&& sink)
{
    std::uint8_t const* position = start;
    while (position < end) {
        std::uint32_t code_point;
        if (*position < 0x80 && !(escapes && *position == '^')) {
            code_point = *position++;
        } else if (*position == '^') {
            position = decode_escape(position + 1, end, code_point);
            if (!position) return false;
        } else {
            std::int32_t decoded;
            position = unicode::utf8_decode(position, end, decoded);
            if (decoded < 0) return false;
            code_point = static_cast<std::uint32_t>(decoded);
        }
        sink(code_point);
    }
    return true;
}

std::uint32_t unit_limit(std::uint32_t width)
{
    return width == 1 ? 0xFF : width == 2 ? 0xFFFF : unicode::max_code_point;
}

// A text value of `type` from [start, end): the units are `width` bytes (escapes may widen them). False
// when the text is malformed. May allocate.
bool make_text(
    Cell& result, std::uint8_t const* start, std::uint8_t const* end, std::uint32_t width, bool escapes, TypeId type)
{
    if (escapes && width < 4) width = widen_for_escapes(start, end, width);
    auto const capacity = static_cast<std::uint32_t>(end - start);
    for (;;) {
        string::make_at_unit(result, capacity, width);
        SeriesBuffer* buffer = node::buffer(result.word2);
        std::byte* units = buffer->head_address();
        std::uint32_t count = 0;
        bool fits = true;
        bool const decoded = decode_text(start, end, escapes, [&](std::uint32_t code_point) {
            if (code_point > unit_limit(width)) fits = false;
            if (!fits) return;
            string::store_unit(units + std::size_t { count } * width, width, code_point);
            ++count;
        });
        if (!decoded) return false;
        if (fits) {
            buffer->tail = buffer->head + count * width;
            cell::set_type(result, type);
            return true;
        }
        width = 4; // a text whose flags understated it: decode again into the widest units
    }
}

// Whether the text decodes. Bytes of 128 and more must form UTF-8 sequences: a stray continuation byte
// is an error, never a Latin-1 character.
bool text_valid(std::uint8_t const* start, std::uint8_t const* end, bool escapes)
{
    return decode_text(start, end, escapes, [](std::uint32_t) {});
}

// Decodes "%xx" escapes into bytes; a "%" without two hex digits after it stays as it is.
std::vector<std::uint8_t> percent_decoded(std::uint8_t const* start, std::uint8_t const* end)
{
    std::vector<std::uint8_t> bytes;
    bytes.reserve(static_cast<std::size_t>(end - start));
    for (std::uint8_t const* p = start; p < end; ++p) {
        if (*p == '%' && end - p >= 3 && hex_value(p[1]) >= 0 && hex_value(p[2]) >= 0) {
            bytes.push_back(static_cast<std::uint8_t>(hex_value(p[1]) * 16 + hex_value(p[2])));
            p += 2;
        } else {
            bytes.push_back(*p);
        }
    }
    return bytes;
}

// The units a UTF-8 text needs: 4 when a 4-byte sequence occurs, 2 for other lead bytes, else 1.
std::uint32_t width_of(std::uint8_t const* start, std::uint8_t const* end)
{
    std::uint32_t width = 1;
    for (std::uint8_t const* p = start; p < end; ++p) {
        if (*p >= 0xF0)
            return 4;
        else if (*p >= 0xC0)
            width = 2;
    }
    return width;
}

// Loads an unescaped text of `type`, decoding percent escapes when the token had a "%".
void load_plain_text(LexerState& state, std::uint8_t const* start, std::uint8_t const* end, std::uint32_t flags,
    TypeId type, bool load, std::uint8_t const* error_start)
{
    bool const decode_percent = (flags & token_flags::percent) != 0;
    std::vector<std::uint8_t> decoded;
    if (decode_percent) {
        decoded = percent_decoded(start, end);
        start = decoded.data();
        end = decoded.data() + decoded.size();
    }
    if (!text_valid(start, end, false)) return syntax_error(state, error_start, end, type);
    if (!load) return;
    makers::require(type);
    Cell value;
    make_text(value, start, end, decode_percent ? width_of(start, end) : token_flags::unit_width(flags), false, type);
    store_value(state, value);
}

}

// ---- Strings --------------------------------------------------------------------------------------------

void check_string(LexerState& state, Token& token, bool)
{
    state.position = token.end + 1;
    bool const escapes = (token.flags & token_flags::caret) != 0;
    if (!text_valid(token.start + 1, token.end, escapes))
        return syntax_error(state, token.start, token.end, type_ids::string);
}

void load_string(LexerState& state, Token& token, bool load)
{
    if (!load) return check_string(state, token, load);
    state.position = token.end + 1;
    TypeId const type = state.loader_type > 0 ? static_cast<TypeId>(state.loader_type) : type_ids::string;
    bool const escapes = (token.flags & token_flags::caret) != 0;
    Cell value;
    if (!make_text(value, token.start + 1, token.end, token_flags::unit_width(token.flags), escapes, type))
        return syntax_error(state, token.start, token.end, type);
    store_value(state, value);
}

void load_brace_string(LexerState& state, std::uint8_t const* end, bool load)
{
    std::uint8_t const* opening = state.brace_start;
    std::uint8_t const* start = opening + 1;
    std::uint32_t const flags = state.brace_flags;
    bool const escapes = (flags & token_flags::caret) != 0;
    if (!load) {
        if (!text_valid(start, end, escapes)) return syntax_error(state, opening, end, type_ids::string);
        fire(state, Event::Scan, type_ids::string, nullptr, opening, end + 1);
        return;
    }
    if (!fire(state, Event::Scan, type_ids::string, nullptr, opening, end + 1)) return;
    Cell value;
    if (!make_text(value, start, end, token_flags::unit_width(flags), escapes, type_ids::string))
        return syntax_error(state, opening, end, type_ids::string);
    std::uint32_t const stored = store_value(state, value, (flags & token_flags::new_line_before) != 0);
    if (state.has_callback) {
        Cell const made = output_at(stored);
        if (!fire(state, Event::Load, type_ids::string, &made, opening, end + 1)) state.tail = stored;
    }
}

// %{...}% with as many percent signs closing as opening.
void load_raw_string(LexerState& state, Token& token, bool load)
{
    std::uint8_t const* position = token.start;
    std::ptrdiff_t opening_run = 0;
    while (position < token.end && *position == '%') {
        ++opening_run;
        ++position;
    }
    std::uint8_t const* body = position + 1; // after the "{"
    std::ptrdiff_t closing_run = 0;
    for (std::uint8_t const* p = token.end; p > body && p[-1] == '%'; --p) ++closing_run;
    if (closing_run > opening_run) return syntax_error(state, token.start, token.end, type_ids::string);
    std::uint8_t const* body_end = token.end - closing_run - 1;
    std::uint8_t const* after = token.end;
    if (closing_run < opening_run) {
        // The run seen was part of the text: the string ends at the next "}" with the whole run.
        body_end = nullptr;
        for (std::uint8_t const* p = token.end; p < state.input_end; ++p) {
            if (*p != '}' || state.input_end - p - 1 < opening_run) continue;
            bool run = true;
            for (std::ptrdiff_t k = 1; k <= opening_run && run; ++k) run = p[k] == '%';
            if (run) {
                body_end = p;
                after = p + 1 + opening_run;
                break;
            }
        }
        if (!body_end) return syntax_error(state, token.start, state.input_end, type_ids::string);
    }
    state.position = after;
    if (!load) {
        fire(state, Event::Open, type_ids::string, nullptr, token.start, body);
        fire(state, Event::Close, type_ids::string, nullptr, token.start, after);
        if (!text_valid(body, body_end, false)) return syntax_error(state, token.start, body_end, type_ids::string);
        return;
    }
    Cell value;
    if (!make_text(value, body, body_end, width_of(body, body_end), false, type_ids::string))
        return syntax_error(state, token.start, body_end, type_ids::string);
    store_value(state, value);
}

// #"x": one character or one escape between the quotes.
void load_char(LexerState& state, Token& token, bool load)
{
    state.position = token.end < state.input_end ? token.end + 1 : token.end;
    std::uint8_t const* start = token.start;
    if (token.end - start < 3 || start[0] != '#' || start[1] != '"' || token.end >= state.input_end
        || *token.end != '"')
        return syntax_error(state, token.start, token.end, type_ids::char_);
    std::uint32_t code_point = 0;
    std::uint8_t const* after;
    if (start[2] == '^') {
        after = decode_escape(start + 3, token.end, code_point);
    } else {
        std::int32_t decoded;
        after = unicode::utf8_decode(start + 2, token.end, decoded);
        if (decoded < 0) after = nullptr;
        code_point = static_cast<std::uint32_t>(decoded);
    }
    if (!after || after != token.end || code_point > unicode::max_code_point)
        return syntax_error(state, token.start, token.end, type_ids::char_);
    if (load) store_value(state, char_::make(code_point));
}

namespace {

// The closing quote of a quoted file name: a quote escaped by a caret (^")
// belongs to the name, which goes on to the next bare quote on the line; nullptr when none follows.
std::uint8_t const* closing_quote(std::uint8_t const* body, std::uint8_t const* end)
{
    std::uint8_t const* p = body;
    while (p < end) {
        if (*p == '^') {
            p += 2; // the caret and the character it escapes, a quote included
            continue;
        }
        if (*p == '"') return p;
        if (*p == '\n' || *p == 0) return nullptr;
        ++p;
    }
    return nullptr;
}

}

// %name, or %"name with spaces" with escapes.
void load_file(LexerState& state, Token& token, bool load)
{
    if (token.end - token.start >= 2 && token.start[1] == '"') {
        if (token.end >= state.input_end || *token.end != '"')
            return syntax_error(state, token.start, token.end, type_ids::file);
        std::uint8_t const* const body = token.start + 2;
        std::uint8_t const* const close = closing_quote(body, state.input_end);
        if (close == nullptr) return syntax_error(state, token.start, state.input_end, type_ids::file);
        std::uint32_t flags = token.flags;
        if (close != token.end) flags |= token_flags::caret;
        state.position = close + 1;
        bool const escapes = (flags & token_flags::caret) != 0;
        if (!text_valid(body, close, escapes)) return syntax_error(state, token.start, close, type_ids::file);
        if (!load) return;
        makers::require(type_ids::file);
        Cell value;
        make_text(value, body, close, close == token.end ? token_flags::unit_width(flags) : width_of(body, close),
            escapes, type_ids::file);
        store_value(state, value);
        return;
    }
    state.position = token.end;
    load_plain_text(state, token.start + 1, token.end, token.flags, type_ids::file, load, token.start);
}

void load_tag(LexerState& state, Token& token, bool load)
{
    if (*token.start != '<' || token.end >= state.input_end || *token.end != '>')
        return syntax_error(state, token.start, token.end, type_ids::tag);
    state.position = token.end + 1;
    load_plain_text(
        state, token.start + 1, token.end, token.flags & ~token_flags::percent, type_ids::tag, load, token.start);
}

void load_url(LexerState& state, Token& token, bool load)
{
    if (*token.start == ':') return syntax_error(state, token.start, token.end, type_ids::get_word);
    if (*token.start == '\'') return syntax_error(state, token.start, token.end, type_ids::lit_word);
    state.position = token.end;
    load_plain_text(state, token.start, token.end, token.flags, type_ids::url, load, token.start);
}

void load_email(LexerState& state, Token& token, bool load)
{
    state.position = token.end;
    load_plain_text(
        state, token.start, token.end, token.flags & ~token_flags::percent, type_ids::email, load, token.start);
}

void load_ref(LexerState& state, Token& token, bool load)
{
    state.position = token.end;
    load_plain_text(
        state, token.start + 1, token.end, token.flags & ~token_flags::percent, type_ids::ref, load, token.start);
}

}
