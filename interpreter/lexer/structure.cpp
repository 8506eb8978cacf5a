// The scan-time handlers that keep the lexer's structure (series, paths, brace strings, points, comments,
// construction syntax) and the two token-handler tables.

#include <cstring>
#include <string_view>

#include "datatypes/block.h"
#include "datatypes/datatype.h"
#include "datatypes/logic.h"
#include "datatypes/none.h"
#include "datatypes/unset.h"
#include "interpreter/lexer/literal_makers.h"
#include "interpreter/lexer/tokens.h"
#include "runtime/type_families.h"

namespace xol::lexer {

namespace {

bool is_path_type(std::int32_t type)
{
    return type > 0 && type <= type_ids::last && type_ids::is_path(static_cast<TypeId>(type));
}

std::uint32_t offset_of(LexerState const& state, std::uint8_t const* position)
{
    return static_cast<std::uint32_t>(position - state.input_start);
}

std::uint8_t const* opening_of(LexerState const& state, std::int64_t marker)
{
    return state.input_start + output_at(static_cast<std::uint32_t>(marker)).word3;
}

// Inside a path the scan goes on at a path element, elsewhere between tokens.
int resume_state(LexerState const& state)
{
    std::int64_t const marker = innermost_marker(state);
    return marker >= 0 && is_path_type(marker_series_type(output_at(static_cast<std::uint32_t>(marker))))
        ? states::path_element
        : states::between_tokens;
}

// The map! key types.
bool map_key_type_q(TypeId type)
{
    return type_ids::is_all_word(type) || type_ids::is_text(type) || type == type_ids::binary
        || type_ids::is_scalar(type);
}

bool is_number(Cell const& value)
{
    TypeId const type = cell::type_of(value);
    return type == type_ids::integer || type == type_ids::float_;
}

float coordinate(Cell const& value)
{
    return static_cast<float>(cell::type_of(value) == type_ids::integer
            ? static_cast<double>(cell::integer_payload(value))
            : cell::float_payload(value));
}

}

// ---- Series ---------------------------------------------------------------------------------------------

namespace {

// Pushes the marker of a new series; false when a callback refused the opening (or an error was reported).
bool open_series(LexerState& state, TypeId type, std::uint8_t const* opening)
{
    std::int64_t const marker = innermost_marker(state);
    if (marker >= 0 && marker_series_type(output_at(static_cast<std::uint32_t>(marker))) == type_ids::point2d) {
        syntax_error(state, opening, opening + 1, type_ids::point2d);
        return false;
    }
    if (!fire(state, Event::Open, type, nullptr, opening, opening + 1)) return false;
    store_value(state, Cell { marker_type, state.tail - state.begin, type, offset_of(state, opening) });
    state.begin = state.tail;
    state.start_state = states::between_tokens;
    return true;
}

// The point made of the numbers between a paren and its closing, once a comma turned the paren into a
// point: two or three numbers, one more than the commas.
bool point_from_cells(std::uint32_t first, std::uint32_t count, std::uint32_t commas, Cell& value)
{
    if (count != commas + 1 || count < 2 || count > 3) return false;
    for (std::uint32_t i = 0; i < count; ++i)
        if (!is_number(output_at(first + i))) return false;
    float const x = coordinate(output_at(first));
    float const y = coordinate(output_at(first + 1));
    value = count == 2 ? makers::point2d(x, y) : makers::point3d(x, y, coordinate(output_at(first + 2)));
    return true;
}

// Makes the innermost open series (its marker at `marker`) from the cells after the marker as `made`,
// and puts the value in the marker's place, keeping the marker's new-line flag. Outside load mode no
// value is made: a placeholder stands for the series, which is all the one-value exit counts.
void finish_series(LexerState& state, std::uint32_t marker, TypeId made)
{
    Cell const opened = output_at(marker);
    std::uint32_t const first = marker + 1;
    std::uint32_t const count = state.tail - first;
    Cell value = none_value;
    if (state.load_mode) {
        if (made == type_ids::map) {
            std::uint8_t const* opening = state.input_start + opened.word3;
            if (count % 2 != 0) return syntax_error(state, opening, opening + 1, type_ids::map);
            for (std::uint32_t i = 0; i < count; i += 2)
                if (!map_key_type_q(cell::type_of(output_at(first + i))))
                    return syntax_error(state, opening, opening + 1, type_ids::map);
            value = makers::map(&output_at(first), count);
        } else if (made == type_ids::point2d) {
            std::uint8_t const* opening = state.input_start + opened.word3;
            std::uint32_t const commas = marker_commas(opened);
            if (!point_from_cells(first, count, commas, value))
                return syntax_error(state, opening, opening + 1, commas >= 2 ? type_ids::point3d : type_ids::point2d);
        } else {
            block::make_from_run(value, &output_at(first), count, made);
        }
    }
    value.header |= opened.header & cell::new_line_flag;
    output_at(marker) = value;
    state.tail = marker + 1;
    state.begin = marker - opened.word1;
    state.type = made == type_ids::point2d && marker_commas(opened) >= 2 ? type_ids::point3d : made;
    state.start_state = resume_state(state);
}

// Closes the innermost open series with a closing of `closing_type` (-1: whatever is open) found at `at`.
void close_series(LexerState& state, std::int32_t closing_type, std::uint8_t const* at)
{
    std::int64_t const marker = innermost_marker(state);
    if (marker < 0) {
        state.open_type = closing_type;
        return syntax_error(state, at, at + 1, codes::missing);
    }
    TypeId const open = marker_series_type(output_at(static_cast<std::uint32_t>(marker)));
    if (!fire(state, Event::Close, open, nullptr, opening_of(state, marker), at)) {
        state.start_state = states::between_tokens;
        return;
    }
    TypeId made = open;
    if (closing_type >= 0 && closing_type != open) {
        bool const matches = (closing_type == type_ids::block && open == type_ids::map)
            || (closing_type == type_ids::paren && open == type_ids::point2d);
        if (closing_type == type_ids::set_path && open == type_ids::path) {
            made = type_ids::set_path;
        } else if (!matches) {
            state.open_type = open;
            return syntax_error(state, at, at + 1, codes::missing);
        }
    }
    finish_series(state, static_cast<std::uint32_t>(marker), made);
}

// Removes a marker, its cells joining the enclosing series.
void drop_marker(LexerState& state, std::uint32_t marker)
{
    Cell const opened = output_at(marker);
    Cell* cells = output();
    std::memmove(cells + marker, cells + marker + 1, std::size_t { state.tail - marker - 1 } * sizeof(Cell));
    --state.tail;
    state.begin = marker - opened.word1;
}

}

void close_all_open(LexerState& state)
{
    for (std::int64_t marker = innermost_marker(state); marker >= 0; marker = innermost_marker(state)) {
        auto const index = static_cast<std::uint32_t>(marker);
        TypeId const type = marker_series_type(output_at(index));
        if (type == type_ids::block || type == type_ids::paren || is_path_type(type))
            finish_series(state, index, type);
        else
            drop_marker(state, index);
    }
}

bool point_follows(LexerState const& state, std::uint8_t const* after_paren)
{
    if (state.input_end - after_paren < 3) return false;
    for (std::uint8_t const* position = after_paren; position < state.input_end; ++position) {
        switch (*position) {
        case ',':
            return true;
        case '\t':
        case ' ':
        case '#':
        case '+':
        case '-':
        case '.':
        case 'A':
        case 'E':
        case 'F':
        case 'I':
        case 'N':
        case 'a':
        case 'e':
        case 'f':
        case 'i':
        case 'n':
            break;
        default:
            if (*position < '0' || *position > '9') return false;
        }
    }
    // Without a comma the paren holds no point: it opens a paren!, which reports a missing ")" in full.
    return false;
}

void skip_token(LexerState& state, Token const& token)
{
    std::uint8_t const* position = token.end;
    bool delimited = false;
    switch (state.kind) {
    case TokenKind::Eof:
        position = state.input_end;
        break;
    case TokenKind::BlockOpen:
    case TokenKind::BlockClose:
    case TokenKind::ParenOpen:
    case TokenKind::ParenClose:
    case TokenKind::StringOpen:
    case TokenKind::StringClose:
    case TokenKind::MapOpen:
    case TokenKind::Construct:
    case TokenKind::Comma:
    case TokenKind::String:
    case TokenKind::Char:
    case TokenKind::Binary:
    case TokenKind::Percent:
    case TokenKind::Point:
    case TokenKind::Tag:
        delimited = true;
        break;
    case TokenKind::File:
        delimited = token.end - token.start > 1 && token.start[1] == '"';
        break;
    default:
        break;
    }
    // An empty token would be read again forever.
    if ((delimited || position == token.start) && position < state.input_end) ++position;
    state.position = position;
}

// ---- Scan-time handlers ----------------------------------------------------------------------------------

namespace {

void on_eof(LexerState& state, Token&, bool)
{
    state.position = state.input_end;
}

// The type of the working state the automaton failed in names the error; a state without one (between
// tokens, in a comment...) makes it a bad character.
void on_error(LexerState& state, Token& token, bool)
{
    int const previous = state.previous_state;
    TypeId const type = previous <= states::last_working ? tables::state_types[previous] : TypeId { 0 };
    if (type == 0) return syntax_error(state, token.start, token.end, codes::bad_char);
    std::uint8_t const* start = token.start;
    if (is_path_type(type) || type == type_ids::block || type == type_ids::paren) start = nullptr;
    if (state.token_start_state == states::brace_body && state.brace_start) start = state.brace_start;
    // A point literal's body starts after its paren: the paren belongs to what is shown.
    if (state.token_start_state == states::point_body && start > state.input_start) --start;
    syntax_error(state, start, token.end, type);
}

void on_block_open(LexerState& state, Token& token, bool)
{
    state.position = token.end + 1;
    open_series(state, type_ids::block, token.end);
}

void on_block_close(LexerState& state, Token& token, bool)
{
    state.position = token.end + 1;
    close_series(state, type_ids::block, token.end);
}

void on_paren_open(LexerState& state, Token& token, bool)
{
    state.position = token.end + 1;
    if (point_follows(state, state.position)) {
        state.start_state = states::point_body;
        state.point_lines = state.lines_consumed;
        return;
    }
    open_series(state, type_ids::paren, token.end);
}

void on_paren_close(LexerState& state, Token& token, bool)
{
    state.position = token.end + 1;
    close_series(state, type_ids::paren, token.end);
}

void on_map_open(LexerState& state, Token& token, bool)
{
    state.position = token.end + 1;
    open_series(state, type_ids::map, token.start);
}

void on_brace_open(LexerState& state, Token& token, bool)
{
    std::uint8_t const* brace = token.end;
    state.position = brace + 1;
    if (state.brace_depth == 0) {
        if (!fire(state, Event::Open, type_ids::string, nullptr, brace, brace + 1)) return;
        state.brace_start = brace;
        state.brace_flags = state.lines_consumed > 0 ? token_flags::new_line_before : 0;
    }
    ++state.brace_depth;
    state.brace_flags |= token.flags;
    state.start_state = states::brace_body;
}

void on_brace_close(LexerState& state, Token& token, bool load)
{
    std::uint8_t const* brace = token.end;
    state.position = brace + 1;
    state.brace_flags |= token.flags;
    if (state.brace_depth <= 0) return syntax_error(state, brace, brace + 1, codes::bad_char);
    if (--state.brace_depth > 0) {
        if (state.position >= state.input_end) return syntax_error(state, state.brace_start, brace, type_ids::string);
        return;
    }
    if (fire(state, Event::Close, type_ids::string, nullptr, state.brace_start, state.position))
        load_brace_string(state, brace, load);
    if (state.stopped) return;
    state.brace_start = nullptr;
    state.brace_flags = 0;
    state.start_state = resume_state(state);
}

void on_path(LexerState& state, Token& token, bool load)
{
    TypeId const type = *token.start == '\'' ? type_ids::lit_path
        : *token.start == ':'                ? type_ids::get_path
                                             : type_ids::path;
    state.position = token.end + 1;
    if (!open_series(state, type, token.start)) {
        // Refused: the slash is read again as the next token.
        if (!state.stopped) state.position = token.end;
        return;
    }
    state.loader_type = type_ids::word;
    if (load) load_path_head(state, token);
    if (state.stopped) return;
    state.start_state = states::path_element;
}

bool equal_folded(std::string_view text, std::string_view name)
{
    if (text.size() != name.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        if (lower(text[i]) != lower(name[i])) return false;
    }
    return true;
}

// "#(" keyword-or-datatype ")": the keywords true, false, none and unset, or a datatype's name.
void on_construct(LexerState& state, Token& token, bool load)
{
    std::string_view const text(
        reinterpret_cast<char const*>(token.start) + 2, static_cast<std::size_t>(token.end - token.start - 2));
    state.position = token.end < state.input_end ? token.end + 1 : token.end;
    Cell value = none_value;
    bool found = true;
    if (equal_folded(text, "true"))
        value = true_value;
    else if (equal_folded(text, "false"))
        value = false_value;
    else if (equal_folded(text, "none"))
        value = none_value;
    else if (equal_folded(text, "unset"))
        value = unset_value;
    else {
        found = false;
        for (int type = 1; type < datatype::table_size && !found; ++type) {
            std::string_view const name = datatype::name(static_cast<TypeId>(type));
            if (!name.empty() && equal_folded(text, name)) {
                value = datatype::make(static_cast<TypeId>(type));
                found = true;
            }
        }
    }
    if (!found) return syntax_error(state, token.start, state.position, codes::malconstruct);
    if (load) store_value(state, value);
}

void on_comment(LexerState& state, Token& token, bool)
{
    state.position = token.end;
    if (state.has_callback)
        fire(state, Event::Scan, -(static_cast<std::int32_t>(TokenKind::Comment) + 1), nullptr, token.start, token.end);
}

// A comma turns the paren it stands in into a point, or adds a coordinate to one.
void on_comma(LexerState& state, Token& token, bool)
{
    state.position = token.end + 1;
    std::int64_t const marker = innermost_marker(state);
    if (marker >= 0) {
        Cell& opened = output_at(static_cast<std::uint32_t>(marker));
        TypeId const type = marker_series_type(opened);
        if (type == type_ids::paren) {
            opened.word2 = type_ids::point2d | (1u << 16);
            return;
        }
        if (type == type_ids::point2d) {
            opened.word2 += 1u << 16;
            return;
        }
    }
    syntax_error(state, token.end, token.end + 1, type_ids::point2d);
}

}

void path_end(LexerState& state)
{
    std::uint8_t const* position = state.position;
    if (position >= state.input_end || tables::path_terminators[class_of(*position)]) {
        std::int32_t closing = -1;
        if (position < state.input_end && *position == ':') {
            state.position = ++position;
            if (position < state.input_end && *position == '/')
                return syntax_error(state, nullptr, position, type_ids::path);
            closing = type_ids::set_path;
        }
        return close_series(state, closing, position);
    }
    if (position + 1 >= state.input_end || *position == ':')
        return syntax_error(state, nullptr, position, type_ids::path);
    state.position = position + 1;
}

// Both tables in token-kind order: the scan-time handler, then the value loader.
TokenHandlers const token_handlers = {
    .scan_time = {
        on_eof, on_error, on_block_open, on_block_close, on_paren_open, on_paren_close, on_brace_open,
        on_brace_close, on_map_open, on_path, on_construct, on_comment, on_comma,
        check_string, decide_word, check_issue,
        // The kinds below have no scan-time handler: their loader checks them.
    },
    .loader = {
        nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
        nullptr, nullptr,
        load_string, load_word, load_word, load_integer, load_refinement, load_char, load_file, load_binary,
        load_percent, load_float, load_float_special, load_tuple, load_date, load_pair, load_point, load_time,
        load_money, load_tag, load_url, load_email, load_hex, load_raw_string, load_ref,
    },
};

}
