// The token handlers: for each token kind a scan-time handler, which keeps the structure or checks the
// token's form, and a value loader, which appends the token's value to the output. Every handler takes
// the lexer state, the token (a handler may shorten it) and the load flag (false: check only, make no
// value), and leaves the position after what it consumed. A handler that reports a syntax error without
// raising it stops the scan and returns.
#pragma once

#include "interpreter/lexer/lexer_state.h"

namespace xol::lexer {

using TokenHandler = void (*)(LexerState&, Token&, bool load);

struct TokenHandlers {
    TokenHandler scan_time[token_kind_count];
    TokenHandler loader[token_kind_count];
};

extern TokenHandlers const token_handlers;

// After an element token inside a path: closes the path, turns it into a set-path!, or leaves it open
// for the next element, by the byte that follows the element.
void path_end(LexerState&);

// The look-ahead at a "(": true when a point literal such as (1.5, 2) follows.
bool point_follows(LexerState const&, std::uint8_t const* after_paren);

// After an error that a callback refused: closes the open blocks and parens and the paths inside them,
// and drops the markers of maps and points, so that what was loaded stays usable.
void close_all_open(LexerState&);

// Moves the position past a token whose handling a callback refused, its closing delimiter included.
void skip_token(LexerState&, Token const&);

// ---- Loaders, by the files that hold them -------------------------------------------------------------

// Text (text_loaders.cpp): strings, raw strings, chars, files, tags, URLs, emails, refs.
void check_string(LexerState&, Token&, bool load);
void load_string(LexerState&, Token&, bool load);
void load_raw_string(LexerState&, Token&, bool load);
void load_char(LexerState&, Token&, bool load);
void load_file(LexerState&, Token&, bool load);
void load_tag(LexerState&, Token&, bool load);
void load_url(LexerState&, Token&, bool load);
void load_email(LexerState&, Token&, bool load);
void load_ref(LexerState&, Token&, bool load);
// The text of a brace string, from its opening to `end`, with the flags collected over its parts.
void load_brace_string(LexerState&, std::uint8_t const* end, bool load);

// Binaries (binary_loader.cpp).
void load_binary(LexerState&, Token&, bool load);

// The word family (word_loaders.cpp).
void decide_word(LexerState&, Token&, bool load);
void check_issue(LexerState&, Token&, bool load);
void load_word(LexerState&, Token&, bool load);
void load_refinement(LexerState&, Token&, bool load);
// The word loader on a path's first element (its prefix dropped).
void load_path_head(LexerState&, Token const&);

// Numbers.
void load_integer(LexerState&, Token&, bool load);
void load_hex(LexerState&, Token&, bool load);
void load_float(LexerState&, Token&, bool load);
void load_percent(LexerState&, Token&, bool load);
void load_float_special(LexerState&, Token&, bool load);
void load_tuple(LexerState&, Token&, bool load);
void load_pair(LexerState&, Token&, bool load);
void load_point(LexerState&, Token&, bool load);
void load_time(LexerState&, Token&, bool load);
void load_money(LexerState&, Token&, bool load);
void load_date(LexerState&, Token&, bool load);

}
