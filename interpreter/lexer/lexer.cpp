// The lexer's driver: the chain of running lexers and their shared output buffer, the conversion of text
// to UTF-8, the building of the result, syntax errors, user callbacks and the collector hook.

#include "interpreter/lexer/lexer.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "datatypes/block.h"
#include "datatypes/char.h"
#include "datatypes/datatype.h"
#include "datatypes/logic.h"
#include "datatypes/money.h"
#include "datatypes/none.h"
#include "datatypes/pair.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/word.h"
#include "interpreter/lexer/lexer_state.h"
#include "interpreter/lexer/numbers.h"
#include "interpreter/lexer/tokens.h"
#include "runtime/collector.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/roots.h"
#include "runtime/services.h"
#include "runtime/stack.h"
#include "runtime/type_families.h"
#include "runtime/unicode.h"

namespace xol::lexer {

namespace {

constexpr std::uint32_t initial_output_cells = 1'000;
constexpr std::uint32_t conversion_bytes = 100'000;
constexpr std::uint32_t shown_text_limit = 30; // bytes of source an error message shows

constexpr char const* event_names[] = { "prescan", "scan", "load", "open", "close", "error" };
constexpr std::size_t event_count = std::size(event_names);

// The lexer's process-wide state.
struct LexerGlobals {
    LexerState* first = nullptr; // the outermost running lexer
    LexerState* last = nullptr; // the innermost
    std::vector<Cell> output; // shared by every running lexer; grows by doubling
    // Text converted to UTF-8 for a scan. A nested scan converts after its parent's text and gives its
    // room back when it ends; text larger than the room left goes to a temporary buffer. Left
    // uninitialised, so that only the pages a scan writes are ever touched.
    std::unique_ptr<std::uint8_t[]> conversion;
    std::uint32_t conversion_fill = 0;
    Cell exit_states = none_value; // system/lexer/exit-states, set by the library
    SymbolId event_symbols[event_count] = {};
};

LexerGlobals globals;

bool is_path_type(std::int32_t type)
{
    return type > 0 && type <= type_ids::last && type_ids::is_path(static_cast<TypeId>(type));
}

// Links a lexer state at the end of the chain for the length of its scan; an error or a throw passing
// through unlinks it, which drops its output (the parent's tail never covered it).
class ChainLink {
public:
    explicit ChainLink(LexerState& state)
        : m_state(state)
    {
        if (globals.last) {
            state.parent = globals.last;
            globals.last->next = &state;
            state.head = state.begin = state.tail = globals.last->tail;
        } else {
            globals.first = &state;
        }
        globals.last = &state;
    }
    ~ChainLink()
    {
        if (m_state.parent)
            m_state.parent->next = nullptr;
        else
            globals.first = nullptr;
        globals.last = m_state.parent;
    }
    ChainLink(ChainLink const&) = delete;
    ChainLink& operator=(ChainLink const&) = delete;

private:
    LexerState& m_state;
};

// Room for UTF-8 text: in the conversion buffer after what enclosing scans hold there, or in a
// temporary buffer when it does not fit.
class ConversionSpace {
public:
    explicit ConversionSpace(std::uint64_t bytes)
    {
        std::uint64_t const room = globals.conversion ? conversion_bytes - globals.conversion_fill : 0;
        if (bytes <= room) {
            m_saved_fill = globals.conversion_fill;
            m_data = globals.conversion.get() + globals.conversion_fill;
            globals.conversion_fill += static_cast<std::uint32_t>(bytes);
            m_shared = true;
        } else {
            try {
                m_temporary.resize(bytes + 1);
            } catch (std::bad_alloc const&) {
                fire_error(err::internal::no_memory);
            }
            m_data = m_temporary.data();
        }
    }
    ~ConversionSpace()
    {
        if (m_shared) globals.conversion_fill = m_saved_fill;
    }
    ConversionSpace(ConversionSpace const&) = delete;
    ConversionSpace& operator=(ConversionSpace const&) = delete;

    std::uint8_t* data() { return m_data; }

private:
    std::uint8_t* m_data = nullptr;
    std::vector<std::uint8_t> m_temporary;
    std::uint32_t m_saved_fill = 0;
    bool m_shared = false;
};

void mark_states()
{
    for (LexerState* state = globals.first; state; state = state->next) {
        for (std::uint32_t i = state->head; i < state->tail; ++i)
            if (!is_marker(globals.output[i])) gc::mark_cell(globals.output[i]);
        gc::mark_cell(state->input_value);
        gc::mark_cell(state->callback);
        gc::mark_cell(state->into);
    }
}

bool is_function_value(Cell const& value)
{
    return type_ids::is_context_function(cell::type_of(value));
}

// The events a callback hears: the words of the block that leads its body, else all of them.
std::uint32_t event_mask(Cell const& callback)
{
    Rooted body(services.callback_body(callback));
    if (cell::type_of(*body) != type_ids::block || block::rs_length_q(*body) == 0) return all_events;
    Cell const first = *block::rs_head(*body);
    if (cell::type_of(first) != type_ids::block) return all_events;
    std::uint32_t mask = 0;
    std::uint32_t const length = block::rs_length_q(first);
    for (std::uint32_t i = 0; i < length; ++i) {
        Cell const& item = block::rs_head(first)[i];
        if (!word::is_any_word(cell::type_of(item))) continue;
        SymbolId const canonical = symbol::resolve(word::symbol_of(item));
        for (std::size_t event = 0; event < event_count; ++event)
            if (symbol::resolve(globals.event_symbols[event]) == canonical) mask |= 1u << event;
    }
    return mask;
}

std::size_t event_index(Event event)
{
    return static_cast<std::size_t>(std::countr_zero(static_cast<std::uint32_t>(event)));
}

// A position of the text as an index of the input value: characters for text, else bytes.
std::uint32_t index_at(LexerState& state, std::uint8_t const* position)
{
    if (!state.counts_characters) return state.input_base + static_cast<std::uint32_t>(position - state.input_start);
    std::uint32_t offset;
    if (state.cached_position && position >= state.cached_position)
        offset = state.cached_offset + unicode::utf8_count(state.cached_position, position);
    else
        offset = unicode::utf8_count(state.input_start, position);
    state.cached_position = position;
    state.cached_offset = offset;
    return state.input_base + offset;
}

// The position of an input index that a callback set, clamped into the text: skipping and reading again
// are allowed, leaving the text is not.
std::uint8_t const* position_of_index(LexerState const& state, std::uint32_t index)
{
    if (index <= state.input_base) return state.input_start;
    std::uint64_t const offset = index - state.input_base;
    if (state.counts_characters)
        return unicode::utf8_skip(state.input_start, state.input_end, static_cast<std::uint32_t>(offset));
    return state.input_start
        + std::min<std::uint64_t>(offset, static_cast<std::uint64_t>(state.input_end - state.input_start));
}

bool is_delimiter(TokenKind kind)
{
    switch (kind) {
    case TokenKind::BlockOpen:
    case TokenKind::BlockClose:
    case TokenKind::ParenOpen:
    case TokenKind::ParenClose:
    case TokenKind::StringOpen:
    case TokenKind::StringClose:
    case TokenKind::MapOpen:
    case TokenKind::Comma:
        return true;
    default:
        return false;
    }
}

// The type a callback receives: a datatype!, none!, or for a token kind without a datatype the kind's
// member of system/lexer/exit-states.
Cell type_argument(std::int32_t type)
{
    if (type > 0) return datatype::make(static_cast<TypeId>(type));
    if (type == 0 || cell::type_of(globals.exit_states) != type_ids::block) return none_value;
    auto const kind = static_cast<std::uint32_t>(-type - 1);
    if (kind >= block::rs_length_q(globals.exit_states)) return none_value;
    return block::rs_head(globals.exit_states)[kind];
}

// The source an error message shows: from `start` to the end of its line or of the input, at most 30
// bytes of whole UTF-8 characters. May allocate.
Cell shown_text(LexerState const& state, std::uint8_t const* start)
{
    std::uint8_t const* position = start;
    while (position < state.input_end && *position != '\n' && *position != '\r') {
        std::int32_t code_point;
        std::uint8_t const* next = unicode::utf8_decode(position, state.input_end, code_point);
        if (code_point < 0 || next - start > static_cast<std::ptrdiff_t>(shown_text_limit)) break;
        position = next;
    }
    std::string const text(reinterpret_cast<char const*>(start), static_cast<std::size_t>(position - start));
    return string::from_utf8(text);
}

}

Cell* output()
{
    return globals.output.data();
}

std::uint32_t store_value(LexerState& state, Cell const& value, bool new_line)
{
    Cell stored = value; // `value` may lie in the buffer that is about to move
    if (state.tail >= globals.output.size()) {
        try {
            globals.output.resize(globals.output.size() * 2);
        } catch (std::bad_alloc const&) {
            fire_error(err::internal::no_memory);
        }
    }
    if (new_line)
        stored.header |= cell::new_line_flag;
    else
        cell::clear_new_line(stored);
    globals.output[state.tail] = stored;
    return state.tail++;
}

std::int64_t innermost_marker(LexerState const& state)
{
    return state.begin > state.head ? static_cast<std::int64_t>(state.begin) - 1 : -1;
}

void not_done(TypeId type)
{
    Cell const denoted = datatype::make(type);
    fire_error(err::internal::not_done, &denoted);
}

bool is_unicode_blank(std::uint32_t code_point)
{
    switch (code_point) {
    case 0x85:
    case 0xA0:
    case 0x1680:
    case 0x180E:
    case 0x2028:
    case 0x2029:
    case 0x202F:
    case 0x205F:
    case 0x3000:
        return true;
    default:
        return code_point >= 0x2000 && code_point <= 0x200B;
    }
}

namespace {

// An /into block receives the values that are complete at the top level before the error leaves, so that
// a caller that catches the error keeps what loaded before it. A value still open is left out. May allocate.
void keep_complete_values(LexerState& state)
{
    if (cell::type_of(state.into) != type_ids::block) return;
    std::uint32_t end = state.head;
    while (end < state.tail && !is_marker(output_at(end))) ++end;
    if (end > state.head) block::append_run(state.into, &output_at(state.head), end - state.head);
}

}

void syntax_error(LexerState& state, std::uint8_t const* start, std::uint8_t const* end, std::int32_t code)
{
    if (!state.load_mode) {
        state.type = type_ids::error;
        state.stopped = true;
        return;
    }
    if (!start) {
        std::int64_t const marker = innermost_marker(state);
        start
            = marker >= 0 ? state.input_start + output_at(static_cast<std::uint32_t>(marker)).word3 : state.input_start;
    }
    if (!end || end < start) end = start;
    if (state.has_callback) {
        std::int32_t const reported = code > 0 ? code
            : state.open_type > 0              ? state.open_type
            : state.type > 0                   ? state.type
            : state.loader_type > 0            ? state.loader_type
                                               : type_ids::error;
        if (!fire(state, Event::Error, reported, nullptr, start, end)) {
            state.type = type_ids::error;
            state.stopped = true;
            close_all_open(state);
            return;
        }
    }
    // An open path names no missing character: what broke it is the character found.
    if (is_path_type(state.open_type) && (code == codes::missing || code == codes::missing_at_end))
        code = codes::bad_char;
    keep_complete_values(state);
    Rooted line(string::from_utf8("(line " + std::to_string(state.line) + ")"));
    Rooted text(shown_text(state, start));
    switch (code) {
    case codes::malconstruct:
        fire_error(err::syntax::malconstruct, &*line, &*text);
    case codes::missing:
    case codes::missing_at_end: {
        std::int32_t const open = state.open_type;
        bool const at_closing = code == codes::missing && start < state.input_end;
        std::uint32_t missing = ']';
        if (open == type_ids::paren || open == type_ids::point2d || open == type_ids::point3d)
            missing = at_closing && *start == ')' ? '(' : ')';
        else
            missing = at_closing && *start == ']' ? '[' : ']';
        Cell const character = char_::make(missing);
        fire_error(err::syntax::missing, &*line, &character, &*text);
    }
    default:
        if (code > 0) {
            Cell const type = datatype::make(static_cast<TypeId>(code));
            fire_error(err::syntax::invalid, &*line, &type, &*text);
        }
        fire_error(err::syntax::bad_char, &*line, &*text);
    }
}

bool fire(LexerState& state, Event event, std::int32_t type, Cell const* value, std::uint8_t const* start,
    std::uint8_t const* end)
{
    if (!wants(state, event)) return true;
    // An error token's scan event is its error event.
    if (event == Event::Scan && type == -(static_cast<std::int32_t>(TokenKind::Error) + 1)) {
        event = Event::Error;
        type = type_ids::error;
        if (!wants(state, event)) return true;
    }
    if ((type == type_ids::point2d || type == type_ids::point3d) && start > state.input_start) --start;
    if (event == Event::Prescan) {
        if (type == type_ids::point2d && end < state.input_end) ++end;
        if (state.kind == TokenKind::Error && state.token_start_state == states::brace_body && state.brace_start)
            start = state.brace_start;
    }
    bool const at_start = event == Event::Open || (event == Event::Prescan && is_delimiter(state.kind));
    std::uint32_t const index = index_at(state, at_start ? start : end);

    // The arguments go on the value stack before anything allocates: `value` may be a copy that only
    // stays current until then. The token without a value is a pair! of its 1-based character offsets.
    Cell* arguments = stack::push(none_value);
    for (int i = 1; i < 5; ++i) stack::push(none_value);
    arguments[4] = value ? *value
                         : pair::make(static_cast<std::int32_t>(index_at(state, start) - state.input_base + 1),
                             static_cast<std::int32_t>(index_at(state, end) - state.input_base + 1));
    arguments[1] = state.input_value;
    arguments[1].word1 = index;
    arguments[2] = type_argument(type);
    arguments[3] = cell::make(type_ids::integer, 0, static_cast<std::uint32_t>(state.line), 0);
    arguments[0] = word::make(globals.event_symbols[event_index(event)]);
    Cell const result = services.call_lexer_callback(state.callback, arguments, 5);
    if (cell::type_of(state.input_value) != type_ids::none && arguments[1].word1 != index)
        state.moved_position = position_of_index(state, arguments[1].word1);
    stack::pop(5);
    return logic::true_q(result);
}

std::int32_t scan(Cell& destination, std::uint8_t const* text, std::uint32_t length, ScanOptions const& options,
    std::uint32_t* consumed, Cell const& callback, Cell const& input_value, Cell const* into)
{
    LexerState state;
    state.input_start = text;
    state.input_end = text + length;
    state.position = text;
    state.load_mode = options.load && options.make_result;
    state.callback = callback;
    state.input_value = input_value;
    state.into = into ? *into : none_value;
    TypeId const input_type = cell::type_of(input_value);
    state.counts_characters = string::is_text_type(input_type);
    state.input_base = input_type == type_ids::none ? 0 : input_value.word1;
    state.has_callback = is_function_value(callback);
    ChainLink link(state);
    if (state.has_callback) state.event_mask = event_mask(state.callback);

    scan_tokens(state, options.one_value, !options.load);

    auto finish = [&] {
        if (consumed) *consumed = index_at(state, state.position) - state.input_base;
        return state.type;
    };
    std::int64_t const marker = innermost_marker(state);
    if (marker >= 0) {
        TypeId const open = marker_series_type(output_at(static_cast<std::uint32_t>(marker)));
        if (!options.load && is_path_type(open)) {
            state.type = open;
            return finish();
        }
        state.open_type = open;
        syntax_error(state, state.input_start + output_at(static_cast<std::uint32_t>(marker)).word3, state.input_end,
            codes::missing_at_end);
        destination = none_value;
        return finish();
    }
    if (state.load_mode) {
        std::uint32_t const count = state.tail - state.head;
        bool const into_block = cell::type_of(state.into) != type_ids::none;
        if (options.one_value && !options.block_for_one && count > 0) {
            if (into_block)
                block::rs_append(state.into, output_at(state.head));
            else
                destination = output_at(state.head);
        } else if (into_block) {
            block::append_run(state.into, &output_at(state.head), count);
        } else {
            Cell made;
            block::make_from_run(made, &output_at(state.head), count, type_ids::block);
            destination = made;
        }
    }
    return finish();
}

std::int32_t load_string(Cell& destination, Cell const& string, std::int32_t length, ScanOptions const& options,
    std::uint32_t* consumed, Cell const& callback, Cell const* into)
{
    Rooted text(string);
    std::uint32_t const available = string::rs_length_q(*text);
    std::uint32_t const units = length < 0 ? available : std::min(static_cast<std::uint32_t>(length), available);
    std::uint32_t const unit = string::unit_of(*text);
    std::uint64_t const bytes = std::uint64_t { units } * (unit < 4 ? unit + 1 : 4);
    ConversionSpace space(bytes);
    text->word1 = string::clamped_index(*text);
    std::uint32_t const written = string::encode_utf8_into(
        *text, reinterpret_cast<char*>(space.data()), static_cast<std::int32_t>(units), string::Terminate::No);
    return scan(destination, space.data(), written, options, consumed, callback, *text, into);
}

std::int32_t scan_bytes(Cell& destination, Cell const& binary, std::uint32_t length, ScanOptions const& options,
    std::uint32_t* consumed, Cell const& callback, Cell const* into)
{
    Rooted source(binary);
    ConversionSpace space(length);
    SeriesBuffer* buffer = node::buffer(source->word2);
    std::memcpy(space.data(), buffer->head_address() + source->word1, length);
    return scan(destination, space.data(), length, options, consumed, callback, *source, into);
}

Cell load_all(Cell const& text)
{
    Cell* result = stack::push(none_value);
    load_string(*result, text, -1, {}, nullptr, none_value, nullptr);
    Cell const value = *result;
    stack::pop(1);
    return value;
}

Cell load_all_bytes(std::string_view utf8)
{
    Cell* result = stack::push(none_value);
    scan(*result, reinterpret_cast<std::uint8_t const*>(utf8.data()), series::checked_length(utf8.size()), {}, nullptr,
        none_value, none_value, nullptr);
    Cell const value = *result;
    stack::pop(1);
    return value;
}

Cell load_first(Cell const& text)
{
    Cell* result = stack::push(none_value);
    load_string(*result, text, -1, { .one_value = true }, nullptr, none_value, nullptr);
    Cell const value = *result;
    stack::pop(1);
    return value;
}

Cell load_single(Cell const& text)
{
    Cell const values = load_all(text);
    if (block::rs_length_q(values) == 1) return *block::rs_head(values);
    return values;
}

Cell scan_money_text(Cell const& text)
{
    SeriesBuffer* buffer = node::buffer(text.word2);
    std::uint32_t const length = buffer->length();
    std::uint32_t const index = text.word1 < length ? text.word1 : length;
    std::uint32_t const unit = buffer->unit();
    std::optional<MoneyText> const parts
        = scan_money(buffer->head_address() + std::size_t { index } * unit, length - index, unit);
    Cell value = cell::make(type_ids::money);
    if (!parts || !money::make_from_parts(value, parts->negative, parts->currency, parts->integral, parts->fraction))
        return none_value;
    return value;
}

TypeId scan_type(std::string_view utf8)
{
    std::uint32_t const length = series::checked_length(utf8.size());
    std::string const text(utf8); // the view may lie in a series buffer
    Cell destination = none_value;
    std::int32_t const type = scan(destination, reinterpret_cast<std::uint8_t const*>(text.data()), length,
        { .one_value = true, .make_result = false }, nullptr, none_value, none_value, nullptr);
    return type < 0 ? type_ids::error : static_cast<TypeId>(type);
}

void set_exit_states(Cell const& block)
{
    globals.exit_states = block;
}

void init()
{
    globals.first = globals.last = nullptr;
    globals.output.assign(initial_output_cells, none_value);
    globals.conversion = std::make_unique_for_overwrite<std::uint8_t[]>(conversion_bytes);
    globals.conversion_fill = 0;
    globals.exit_states = none_value;
    gc::remove_callback(mark_states);
    gc::add_callback(mark_states);
    gc::add_root(&globals.exit_states);
    for (std::size_t event = 0; event < event_count; ++event)
        globals.event_symbols[event] = symbol::make(event_names[event]);
}

}
