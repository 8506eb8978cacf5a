// The scanner's loop: the automaton cuts one token at a time, then the token's handlers and the
// callback's events run, until the input ends, a handler stops the scan, or one value is complete.

#include "datatypes/block.h"
#include "interpreter/lexer/tokens.h"
#include "runtime/unicode.h"

namespace xol::lexer {

namespace {

// Unicode blanks at the start of a word token are blanks between tokens.
std::uint8_t const* skip_unicode_blanks(std::uint8_t const* position, std::uint8_t const* end)
{
    while (position < end) {
        std::int32_t code_point;
        std::uint8_t const* next = unicode::utf8_decode(position, end, code_point);
        if (code_point < 0 || !is_unicode_blank(static_cast<std::uint32_t>(code_point))) break;
        position = next;
    }
    return position;
}

bool one_value_complete(LexerState const& state)
{
    std::uint32_t const count = state.tail - state.head;
    return count == 0 || (count == 1 && !is_marker(output_at(state.head)));
}

}

void scan_tokens(LexerState& state, bool one_value, bool prescan)
{
    using tables::character_classes;
    using tables::transitions;
    std::int32_t blank_lines = 0; // line feeds among the blanks in front of the next token
    while (state.position < state.input_end && !state.stopped) {
        // Cut one token. Bytes that lead back to the state between tokens are blanks in front of it.
        std::uint8_t const* const raw_start = state.position;
        std::uint8_t const* const end = state.input_end;
        std::uint8_t const* position = raw_start;
        int current = state.start_state;
        int previous = current;
        std::uint32_t flags = 0;
        std::uint32_t skipped = 0;
        std::int32_t line = state.line;
        while (position < end) {
            std::uint32_t const entry = character_classes[*position];
            std::uint32_t const cls = entry & class_mask;
            flags |= entry;
            previous = current;
            current = transitions[current][cls];
            if (current >= first_final_state) break;
            if (cls == line_feed_class) {
                ++line;
                if (current == states::between_tokens) ++blank_lines;
            }
            if (current == states::between_tokens) ++skipped;
            ++position;
        }
        if (current < first_final_state) {
            previous = current;
            current = transitions[current][end_class];
        }
        Token token { raw_start + skipped, position, flags & ~class_mask };
        state.position = position;
        state.token_end = position;
        state.line = line;
        state.previous_state = previous;
        state.type = tables::state_types[current];
        state.open_type = -1;
        state.loader_type = -1;
        state.token_start_state = state.start_state;
        state.kind = kind_of_state(current);
        if (state.kind == TokenKind::Word) {
            token.start = skip_unicode_blanks(token.start, token.end);
            if (token.start == token.end) {
                if (state.position < state.input_end) continue; // only blanks: the next token gets their lines
                state.kind = TokenKind::Eof;
                state.type = 0;
            }
        }
        state.lines_consumed = blank_lines;
        blank_lines = 0;
        TokenKind const kind = state.kind;
        auto const index = static_cast<std::size_t>(kind);
        TokenHandler const scan_time = token_handlers.scan_time[index];
        TokenHandler const loader = token_handlers.loader[index];

        // The callback hears of every token first (inside a brace string only of its end, and of a paren
        // that opens a point only through the point's own token); a refusal skips the token.
        bool refused = false;
        if (state.has_callback && state.token_start_state != states::brace_body
            && !(kind == TokenKind::ParenOpen && point_follows(state, token.end + 1))) {
            std::int32_t const type = state.type != 0 ? state.type : -(static_cast<std::int32_t>(kind) + 1);
            if (!fire(state, Event::Prescan, type, nullptr, token.start, token.end)) {
                if (state.stopped) return;
                skip_token(state, token);
                refused = true;
            }
        }

        if (!refused) {
            if (prescan) {
                // Structure and syntax only: no values.
                if (scan_time)
                    scan_time(state, token, false);
                else if (loader)
                    loader(state, token, false);
            } else if (kind < TokenKind::String) {
                scan_time(state, token, state.load_mode);
            } else {
                bool load = true;
                // A string's loader checks all that its scan-time check does: the check runs only when
                // nothing is loaded or the callback wants to hear of the token before it is.
                bool const check
                    = !state.load_mode || (scan_time && kind != TokenKind::String) || wants(state, Event::Scan);
                if (check) {
                    if (scan_time)
                        scan_time(state, token, false);
                    else
                        loader(state, token, false);
                    if (state.stopped) return;
                    load = fire(state, Event::Scan, state.type, nullptr, token.start, token.end);
                }
                if (load && state.load_mode && loader) {
                    std::uint32_t const before = state.tail;
                    loader(state, token, true);
                    if (state.stopped) return;
                    if (state.has_callback && state.tail > before) {
                        Cell const made = output_at(state.tail - 1);
                        if (!fire(state, Event::Load, cell::type_of(made), &made, token.start, token.end))
                            state.tail = before;
                    }
                }
            }
            if (state.stopped) return;
            if (state.position > state.input_end) state.position = state.input_end;

            if (state.start_state == states::path_element && kind != TokenKind::Path && kind != TokenKind::Error) {
                path_end(state);
                if (state.stopped) return;
            }
        }
        if (state.moved_position) {
            state.position = state.moved_position;
            state.moved_position = nullptr;
        }
        if (refused) continue;
        if ((one_value || prescan) && state.type != 0 && state.start_state != states::path_element
            && state.start_state != states::brace_body && kind != TokenKind::Path && one_value_complete(state))
            return;
        state.last_type = state.type;
    }
    if (!state.stopped && state.start_state == states::brace_body && state.last_type == 0)
        syntax_error(state, state.brace_start, state.input_end, type_ids::string);
}

}
