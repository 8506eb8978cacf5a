// json-decode: JSON text into values in one pass. It follows the decoder's grammar rule for rule: the same
// texts match, and the line, the position after the last complete token and the last line feed are kept
// as the grammar keeps them, so that load-json words its syntax errors alike. Numbers other than short
// integers and member names go through the lexer, as load and to word! would take them.

#include <cstdint>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "datatypes/block.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/map.h"
#include "datatypes/none.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/unset.h"
#include "datatypes/word.h"
#include "interpreter/lexer/lexer.h"
#include "interpreter/lexer/transcode.h"
#include "interpreter/natives/natives.h"
#include "interpreter/routines_codecs.h"
#include "interpreter/routines_entries.h"
#include "runtime/errors.h"
#include "runtime/roots.h"
#include "runtime/series_buffer.h"
#include "runtime/services.h"
#include "runtime/stack.h"

namespace xol::routines {

namespace {

// Arrays and objects nested deeper than this raise script parse-stack, as the rules raise it when they run
// out of room: the reader recurses on the machine's stack.
constexpr std::size_t deepest = 1000;

bool is_digit(std::uint32_t c)
{
    return c >= '0' && c <= '9';
}

bool is_hex(std::uint32_t c)
{
    return is_digit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// The characters a word cannot hold (no-break space among them).
bool is_not_word_char(std::uint32_t c)
{
    switch (c) {
    case '/':
    case '\\':
    case '^':
    case ',':
    case '[':
    case ']':
    case '(':
    case ')':
    case '{':
    case '}':
    case '"':
    case '#':
    case '%':
    case '$':
    case '@':
    case ':':
    case ';':
    case '\n':
    case 0xA0:
    case ' ':
    case '\t':
    case '\r':
    case '<':
    case '>':
        return true;
    default:
        return false;
    }
}

// The reader over a copy of the input's units, taken from its index. Open arrays and objects are blocks
// on the value stack; a finished value is appended to the innermost one.
template <typename Unit> class Reader {
public:
    Reader(std::vector<Unit> const& text, std::uint32_t unit)
        : m_text(text)
        , m_length(static_cast<std::uint32_t>(text.size()))
        , m_unit(unit)
        , m_names(unset_value)
    {
        block::make_at(*m_names, 16);
    }

    // The whole text as one value, appended to `out`; false on a syntax error.
    bool read(Cell const& out)
    {
        // A failure leaves the cells of the containers still open: they go with the rest.
        Cell* const saved_top = stack::state.top;
        m_containers.push_back(stack::push(out));
        bool const matched = value() && m_position == m_length;
        stack::cut_to(saved_top);
        m_containers.clear();
        return matched;
    }

    std::uint32_t line() const { return m_line; }
    std::uint32_t mark() const { return m_mark; }
    std::uint32_t last_lf() const { return m_last_lf; }

private:
    std::uint32_t peek() const
    {
        return m_position < m_length ? static_cast<std::uint32_t>(m_text[m_position]) : 0xFFFFFFFF;
    }

    void whitespace()
    {
        while (m_position < m_length) {
            std::uint32_t const c = m_text[m_position];
            if (c == '\n') {
                ++m_position;
                m_last_lf = m_mark = m_position;
                ++m_line;
            } else if (c == ' ' || c == '\t' || c == '\r') {
                ++m_position;
            } else {
                return;
            }
        }
    }

    bool literal(char const* word)
    {
        std::uint32_t const size = static_cast<std::uint32_t>(std::strlen(word));
        if (m_length - m_position < size) return false;
        for (std::uint32_t i = 0; i < size; ++i)
            if (static_cast<std::uint32_t>(m_text[m_position + i]) != static_cast<unsigned char>(word[i])) return false;
        m_position += size;
        return true;
    }

    void emit(Cell const& value) { block::rs_append(*m_containers.back(), value); }

    // ws*, one value, the mark after it, ws*.
    bool value()
    {
        whitespace();
        std::uint32_t const c = peek();
        bool matched = false;
        if (c == 't') {
            if ((matched = literal("true"))) emit(true_value);
        } else if (c == 'f') {
            if ((matched = literal("false"))) emit(false_value);
        } else if (c == 'n') {
            if ((matched = literal("null"))) emit(none_value);
        } else if (c == '{') {
            matched = object();
        } else if (c == '[') {
            matched = array();
        } else if (c == '"') {
            Cell* text = stack::push(none_value);
            if ((matched = string(*text))) emit(*text);
            stack::pop(1);
        } else if (c == '-' || is_digit(c)) {
            matched = number();
        }
        if (!matched) return false;
        m_mark = m_position;
        whitespace();
        return true;
    }

    void open()
    {
        if (m_containers.size() > deepest) fire_error(err::script::parse_stack);
        Cell* container = stack::push(none_value);
        block::make_at(*container, 4);
        m_containers.push_back(container);
    }

    // The innermost container closed and appended to the one around it, as a map for an object.
    void close(bool object)
    {
        Cell* container = m_containers.back();
        m_containers.pop_back();
        if (object) *container = map::make(container, block::rs_length_q(*container) / 2);
        emit(*container);
        stack::pop(1);
    }

    bool array()
    {
        ++m_position;
        open();
        whitespace();
        if (peek() != ']') {
            if (!value()) return false;
            while (peek() == ',') {
                ++m_position;
                if (!value()) return false;
            }
            if (peek() != ']') return false;
        }
        ++m_position;
        close(false);
        return true;
    }

    bool object()
    {
        ++m_position;
        open();
        whitespace();
        if (peek() != '}') {
            if (!property()) return false;
            while (peek() == ',') {
                ++m_position;
                if (!property()) return false;
            }
            if (peek() != '}') return false;
        }
        ++m_position;
        close(true);
        return true;
    }

    bool property()
    {
        whitespace();
        if (peek() != '"') return false;
        Cell* name = stack::push(none_value);
        bool const known = known_word(*name);
        if (!known && !string(*name)) return false;
        whitespace();
        if (peek() != ':') return false;
        ++m_position;
        m_mark = m_position;
        if (!known) member_name(*name);
        emit(*name);
        stack::pop(1);
        return value();
    }

    // The body of a string literal into `result`: escapes resolved, a bad surrogate pair raising as
    // unescape raises it.
    bool string(Cell& result)
    {
        std::uint32_t const start = ++m_position;
        bool escaped = false;
        while (true) {
            if (m_position >= m_length) return false;
            std::uint32_t const c = m_text[m_position];
            if (c == '"') break;
            if (c < 32) return false;
            if (c == '\\') {
                std::uint32_t const next = m_position + 1 < m_length ? m_text[m_position + 1] : 0;
                if (next == 'u') {
                    if (m_length - m_position < 6) return false;
                    for (std::uint32_t i = 2; i < 6; ++i)
                        if (!is_hex(m_text[m_position + i])) return false;
                    m_position += 6;
                } else if (next == '"' || next == 't' || next == '\\' || next == '/' || next == 'n' || next == 'r'
                    || next == 'b' || next == 'f') {
                    m_position += 2;
                } else {
                    return false;
                }
                escaped = true;
            } else {
                ++m_position;
            }
        }
        std::uint32_t const end = m_position++;
        std::uint32_t const count = end - start;
        if (count == 0) {
            result = string::make(0);
            return true;
        }
        string::make_at_unit(result, count, m_unit);
        SeriesBuffer* buffer = series::buffer_of(result);
        std::memcpy(buffer->head_address(), m_text.data() + start, count * sizeof(Unit));
        buffer->tail = buffer->head + count * static_cast<std::uint32_t>(sizeof(Unit));
        if (escaped) json_unescape_in_place(result);
        return true;
    }

    bool number()
    {
        std::uint32_t const start = m_position;
        if (peek() == '-') ++m_position;
        std::uint32_t const digits_start = m_position;
        if (peek() == '0') {
            ++m_position;
        } else if (is_digit(peek())) {
            while (is_digit(peek())) ++m_position;
        } else {
            m_position = start;
            return false;
        }
        std::uint32_t const digits = m_position - digits_start;
        bool plain = true;
        if (peek() == '.' && m_position + 1 < m_length && is_digit(m_text[m_position + 1])) {
            m_position += 2;
            while (is_digit(peek())) ++m_position;
            plain = false;
        }
        if (peek() == 'e' || peek() == 'E') {
            std::uint32_t after = m_position + 1;
            if (after < m_length && (m_text[after] == '+' || m_text[after] == '-')) ++after;
            if (after < m_length && is_digit(m_text[after])) {
                m_position = after;
                while (is_digit(peek())) ++m_position;
                plain = false;
            }
        }
        if (plain && digits <= 9) {
            std::int32_t number = 0;
            for (std::uint32_t i = digits_start; i < m_position; ++i)
                number = number * 10 + static_cast<std::int32_t>(m_text[i] - '0');
            emit(integer::make(m_text[start] == '-' ? -number : number));
            return true;
        }
        std::string text;
        for (std::uint32_t i = start; i < m_position; ++i) text.push_back(static_cast<char>(m_text[i]));
        Cell* loaded = stack::push(string::from_utf8(text));
        *loaded = lexer::transcode(*loaded, lexer::TranscodeOptions { .one = true });
        emit(*loaded);
        stack::pop(1);
        return true;
    }

    // A name of plain ASCII already made a word in this call: the word, and the string literal passed over.
    bool known_word(Cell& name)
    {
        m_key.clear();
        for (std::uint32_t i = m_position + 1; i < m_length; ++i) {
            std::uint32_t const c = m_text[i];
            if (c == '"') {
                auto const known = m_name_index.find(m_key);
                if (known == m_name_index.end() || known->second < 0) return false;
                name = block::rs_head(*m_names)[known->second];
                m_position = i + 1;
                return true;
            }
            if (c < 32 || c >= 128 || c == '\\') return false;
            m_key.push_back(static_cast<char>(c));
        }
        return false;
    }

    // A name written like a word becomes the word the lexer makes of it, when it makes one; names already
    // seen in this call are looked up rather than scanned again.
    void member_name(Cell& name)
    {
        std::uint32_t const count = string::length(name);
        if (count == 0) return;
        std::uint32_t const first = string::char_at(name, 0);
        if (is_not_word_char(first) || is_digit(first) || first == '\'') return;
        for (std::uint32_t i = 1; i < count; ++i)
            if (is_not_word_char(string::char_at(name, i))) return;
        std::string const utf8 = string::to_utf8(name);
        auto const known = m_name_index.find(utf8);
        if (known != m_name_index.end()) {
            if (known->second >= 0) name = block::rs_head(*m_names)[known->second];
            return;
        }
        std::int32_t index = -1;
        if (lexer::scan_type(utf8) == type_ids::word) {
            Cell* word = stack::push(services.load_single(name));
            if (cell::type_of(*word) == type_ids::word) {
                index = static_cast<std::int32_t>(block::rs_length_q(*m_names));
                block::rs_append(*m_names, *word);
                name = *word;
            }
            stack::pop(1);
        }
        m_name_index.emplace(utf8, index);
    }

    std::vector<Unit> const& m_text;
    std::uint32_t m_length;
    std::uint32_t m_unit;
    std::uint32_t m_position = 0;
    std::uint32_t m_line = 1;
    std::uint32_t m_mark = 0;
    std::uint32_t m_last_lf = 0;
    std::vector<Cell*> m_containers;
    Rooted m_names; // the words made of member names, by m_name_index
    std::unordered_map<std::string, std::int32_t> m_name_index; // -1: the name stays a string
    std::string m_key;
};

template <typename Unit> Cell decode(Cell const& input, Cell const& out)
{
    std::uint32_t const count = string::length(input);
    std::vector<Unit> text(count);
    if (count > 0)
        std::memcpy(text.data(), series::buffer_of(input)->head_address() + string::clamped_index(input) * sizeof(Unit),
            count * sizeof(Unit));
    Reader<Unit> reader(text, static_cast<std::uint32_t>(sizeof(Unit)));
    if (reader.read(out)) return out;
    Cell* where = stack::push(none_value);
    block::make_at(*where, 3);
    for (std::uint32_t number : { reader.line(), reader.mark(), reader.last_lf() })
        block::rs_append(*where, integer::make(static_cast<std::int32_t>(number)));
    Cell const result = *where;
    stack::pop(1);
    return result;
}

}

// The block of the one value the text denotes, or on a syntax error the block of the line, the offset of
// the position after the last complete token and the offset just after the last line feed.
void json_decode()
{
    Rooted input(*natives::argument(0));
    Rooted out(unset_value);
    block::make_at(*out, 1);
    switch (string::unit_of(*input)) {
    case 1:
        stack::set_last(decode<std::uint8_t>(*input, *out));
        break;
    case 2:
        stack::set_last(decode<std::uint16_t>(*input, *out));
        break;
    default:
        stack::set_last(decode<std::uint32_t>(*input, *out));
    }
}

}
