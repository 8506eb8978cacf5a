// The loaders of the word family: words, set-, get- and lit-words, issues, refinements and the first
// word of a path.

#include <cstdint>
#include <string_view>

#include "datatypes/symbol.h"
#include "datatypes/word.h"
#include "interpreter/lexer/literal_makers.h"
#include "interpreter/lexer/tokens.h"
#include "runtime/unicode.h"

namespace xol::lexer {

namespace {

// A word's name must be UTF-8: symbols are interned from the bytes as they are.
bool name_valid(std::uint8_t const* start, std::uint8_t const* end)
{
    for (std::uint8_t const* p = start; p < end;) {
        if (*p < 0x80) {
            ++p;
            continue;
        }
        std::int32_t decoded;
        p = unicode::utf8_decode(p, end, decoded);
        if (decoded < 0) return false;
    }
    return true;
}

// Stores a word of `type` named by [start, end). May allocate.
std::uint32_t store_word(LexerState& state, std::uint8_t const* start, std::uint8_t const* end, TypeId type)
{
    makers::require(type);
    std::string_view const name(reinterpret_cast<char const*>(start), static_cast<std::size_t>(end - start));
    Cell value;
    if (type == type_ids::issue) {
        value = issue::make(name);
    } else {
        value = word::make(symbol::make(name));
        cell::set_type(value, type);
    }
    return store_value(state, value);
}

}

// The form of a word token: a leading colon makes a get-word!, a trailing one a set-word!, a leading
// single quote a lit-word!. Inside a path a colon right after the word is the path's own (a set-path!).
// The word ends at the first Unicode blank in it.
void decide_word(LexerState& state, Token& token, bool)
{
    for (std::uint8_t const* p = token.start; p < token.end;) {
        if (*p < 0x80) {
            ++p;
            continue;
        }
        std::int32_t decoded;
        std::uint8_t const* next = unicode::utf8_decode(p, token.end, decoded);
        if (decoded < 0) return syntax_error(state, token.start, token.end, type_ids::word);
        if (is_unicode_blank(static_cast<std::uint32_t>(decoded))) {
            token.end = p;
            state.position = p;
            state.token_end = p;
            break;
        }
        p = next;
    }
    std::uint8_t const* start = token.start;
    std::uint8_t const* end = token.end;
    bool const leading_colon = *start == ':';
    bool const leading_quote = *start == '\'';
    bool const trailing_colon = end - start >= 2 && end[-1] == ':';
    for (std::uint8_t const* p = start + 1; p < end - 1; ++p)
        if (*p == ':') return syntax_error(state, start, end, type_ids::word);
    if (leading_quote) {
        if (trailing_colon) return syntax_error(state, start, end, type_ids::lit_word);
        state.type = type_ids::lit_word;
    } else if (leading_colon && trailing_colon) {
        return syntax_error(state, start, end, type_ids::word);
    } else if (leading_colon) {
        state.type = type_ids::get_word;
    } else if (trailing_colon) {
        state.type = type_ids::set_word;
    } else {
        state.type = type_ids::word;
        if (end < state.input_end && *end == ':') {
            // The path's own colon: the path's end checks what follows it (a slash there breaks the path).
            bool const in_path = state.token_start_state == states::path_element;
            bool const ends_element
                = end + 1 >= state.input_end || end[1] == '/' || tables::path_terminators[class_of(end[1])];
            if (!in_path || !ends_element) return syntax_error(state, start, end, type_ids::word);
        }
    }
}

void check_issue(LexerState& state, Token& token, bool)
{
    if (token.end - token.start < 2 || *token.start != '#')
        return syntax_error(state, token.start, token.end, type_ids::issue);
}

void load_word(LexerState& state, Token& token, bool load)
{
    auto const type = static_cast<TypeId>(state.loader_type > 0 ? state.loader_type : state.type);
    std::uint8_t const* start = token.start;
    std::uint8_t const* end = token.end;
    if (type == type_ids::issue) {
        if (start < end && *start == '#') ++start;
    } else {
        if (start < end && (*start == ':' || *start == '\'')) ++start;
        if (end > start && end[-1] == ':') --end;
    }
    if (start == end || !name_valid(start, end)) return syntax_error(state, token.start, token.end, type);
    if (load) store_word(state, start, end, type);
}

void load_path_head(LexerState& state, Token const& token)
{
    if (!fire(state, Event::Scan, type_ids::word, nullptr, token.start, token.end)) return;
    std::uint8_t const* start = token.start;
    if (*start == ':' || *start == '\'') ++start;
    if (start == token.end || !name_valid(start, token.end))
        return syntax_error(state, token.start, token.end, type_ids::word);
    std::uint32_t const stored = store_word(state, start, token.end, type_ids::word);
    if (state.has_callback) {
        Cell const made = output_at(stored);
        if (!fire(state, Event::Load, type_ids::word, &made, token.start, token.end)) state.tail = stored;
    }
}

// "/name" is a refinement!; the slash alone, with a quote, a colon before or a colon after it, is the
// word / of that form.
void load_refinement(LexerState& state, Token& token, bool load)
{
    std::uint8_t const* start = token.start;
    std::ptrdiff_t const length = token.end - start;
    static std::uint8_t const slash[] = { '/' };
    TypeId type = type_ids::refinement;
    std::uint8_t const* name = start + 1;
    std::uint8_t const* name_end = token.end;
    if (length <= 2) {
        name = slash;
        name_end = slash + 1;
        if (length == 1)
            type = type_ids::word;
        else if (start[0] == '\'')
            type = type_ids::lit_word;
        else if (start[0] == ':')
            type = type_ids::get_word;
        else if (start[1] == ':')
            type = type_ids::set_word;
        else {
            name = start + 1;
            name_end = token.end;
        }
    } else if (start[0] != '/') {
        return syntax_error(state, start, token.end, type_ids::refinement);
    }
    if (!name_valid(name, name_end)) return syntax_error(state, start, token.end, type_ids::refinement);
    state.type = type;
    if (load) store_word(state, name, name_end, type);
}

}
