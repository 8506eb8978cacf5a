// json-encode: a value written as JSON text at the tail of a string, by the encoder's rules: the keys of a
// map or object are those words-of gives, each value what select/case finds; a value of no JSON type is
// the JSON string of its form or mold. Text is gathered as one-byte code points and appended in runs.

#include <cstdint>
#include <string>

#include "datatypes/block.h"
#include "datatypes/compare.h"
#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/map.h"
#include "datatypes/none.h"
#include "datatypes/percent.h"
#include "datatypes/registry.h"
#include "datatypes/runtime_words.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/typed_actions.h"
#include "datatypes/unset.h"
#include "interpreter/actions.h"
#include "interpreter/natives/natives.h"
#include "interpreter/routines_entries.h"
#include "runtime/errors.h"
#include "runtime/roots.h"
#include "runtime/series_buffer.h"
#include "runtime/stack.h"

namespace xol::routines {

namespace {

// Nesting beyond this raises internal stack-overflow: the walk recurses on the machine's stack.
constexpr std::uint32_t deepest = 4000;

class Writer {
public:
    Writer(Cell const& output, Cell const& indent, bool ascii)
        : m_output(output)
        , m_indent(indent)
        , m_scratch(unset_value)
        , m_parents(unset_value)
        , m_ascii(ascii)
        , m_pretty(cell::type_of(indent) == type_ids::string)
    {
        *m_scratch = string::make(32);
        block::make_at(*m_parents, 16);
        if (m_pretty) {
            SeriesBuffer* buffer = series::buffer_of(*m_indent);
            for (std::uint32_t i = string::clamped_index(*m_indent); i < buffer->length(); ++i) {
                std::uint32_t const code
                    = string::get_char(buffer->head_address() + i * buffer->unit(), buffer->unit());
                if (code >= 256) m_wide_indent = true;
                m_indent_text.push_back(static_cast<char>(code));
            }
        }
    }

    // False when the data holds itself.
    bool write(Cell const& value)
    {
        Cell* const saved_top = stack::state.top;
        bool const done = value_of(value);
        stack::cut_to(saved_top);
        flush();
        return done;
    }

private:
    void flush()
    {
        if (m_pending.empty()) return;
        string::concatenate_literal_part(*m_output, m_pending.data(), static_cast<std::uint32_t>(m_pending.size()));
        m_pending.clear();
    }

    void put(std::uint32_t code)
    {
        if (code < 256) {
            m_pending.push_back(static_cast<char>(code));
            return;
        }
        flush();
        string::append_char(*m_output, code);
    }

    void put(std::string_view text) { m_pending.append(text); }

    void u_escape(std::uint32_t code)
    {
        put("\\u");
        put(string::to_hex(static_cast<std::int32_t>(code), false) + 4);
    }

    bool normal(std::uint32_t code) const
    {
        if (code < 32 || code == '"' || code == '\\') return false;
        return !m_ascii || code <= 127;
    }

    // A JSON string of the text from its index.
    void text(Cell const& source)
    {
        Rooted kept(source);
        put('"');
        std::uint32_t const start = string::clamped_index(*kept);
        std::uint32_t const end = series::buffer_of(*kept)->length();
        for (std::uint32_t i = start; i < end; ++i) {
            SeriesBuffer* buffer = series::buffer_of(*kept);
            std::uint32_t const code = string::get_char(buffer->head_address() + i * buffer->unit(), buffer->unit());
            if (normal(code)) {
                put(code);
                continue;
            }
            switch (code) {
            case '"':
                put("\\\"");
                break;
            case '\\':
                put("\\\\");
                break;
            case 8:
                put("\\b");
                break;
            case 12:
                put("\\f");
                break;
            case 10:
                put("\\n");
                break;
            case 13:
                put("\\r");
                break;
            case 9:
                put("\\t");
                break;
            default:
                if (code <= 0xFFFF) {
                    u_escape(code);
                } else {
                    u_escape(0xD800 + ((code - 0x10000) >> 10));
                    u_escape(0xDC00 + ((code - 0x10000) & 1023));
                }
            }
        }
        put('"');
    }

    // The text of the value's form or mold, through the scratch string.
    Cell const& scratch_of(Cell const& value, bool mold)
    {
        string::truncate_at(m_scratch->word2, 0);
        (*m_scratch).word1 = 0;
        if (mold)
            actions::mold_typed(value, *m_scratch, false, false, false, nullptr, 0, 0);
        else
            actions::form_typed(value, *m_scratch, nullptr, 0);
        return *m_scratch;
    }

    void formed(Cell const& value)
    {
        Cell const& scratch = scratch_of(value, false);
        SeriesBuffer* buffer = series::buffer_of(scratch);
        for (std::uint32_t i = 0; i < buffer->length(); ++i)
            m_pending.push_back(
                static_cast<char>(string::get_char(buffer->head_address() + i * buffer->unit(), buffer->unit())));
    }

    void indent()
    {
        for (std::uint32_t i = 0; i < m_level; ++i) {
            if (!m_wide_indent) {
                m_pending.append(m_indent_text);
                continue;
            }
            flush();
            string::concatenate(*m_output, *m_indent, -1, 0, true, string::SpliceMode::Append);
        }
    }

    bool value_of(Cell const& given)
    {
        switch (cell::type_of(given)) {
        case type_ids::none:
            put("null");
            return true;
        case type_ids::logic:
            put(logic::true_q(given) ? "true" : "false");
            return true;
        case type_ids::integer:
            put(integer::form_signed(integer::get(given)));
            return true;
        case type_ids::float_:
            formed(given);
            return true;
        case type_ids::percent:
            formed(float_::make(percent::get(given)));
            return true;
        case type_ids::string:
            text(given);
            return true;
        case type_ids::block:
            return list(given, false);
        case type_ids::map:
        case type_ids::object:
            return list(given, true);
        default:
            break;
        }
        TypeId const type = cell::type_of(given);
        if (block::is_any_block(type)) {
            Rooted converted(actions::to_typed(datatype::make(type_ids::block), given));
            return value_of(*converted);
        }
        Cell* made = stack::push(unset_value);
        *made = string::make(32);
        if (string::is_text_type(type))
            actions::form_typed(given, *made, nullptr, 0);
        else
            actions::mold_typed(given, *made, false, false, false, nullptr, 0, 0);
        text(*made);
        stack::pop(1);
        return true;
    }

    // The elements of a block, or the members of a map or object, between brackets.
    bool list(Cell const& given, bool members)
    {
        Cell* container = stack::push(given);
        SeriesBuffer* parents = series::buffer_of(*m_parents);
        for (Cell* parent = parents->head_cell(); parent < parents->tail_cell(); ++parent)
            if (actions::compare_typed(*parent, *container, CompareOp::Same) == 0) return false;
        if (parents->cell_count() >= deepest) stack::overflow_on_push();
        block::rs_append(*m_parents, *container);
        if (cell::type_of(given) == type_ids::map) return map_members(container);
        Cell* items = container;
        if (members) {
            TypeId const type = cell::type_of(given);
            items = stack::push(datatype::actions(type).reflect(given, words::symbol_of(words::Symbol::words)));
        }
        std::uint32_t const first = block::is_any_block(cell::type_of(*items)) ? items->word1 : 0;
        std::uint32_t const count = block::rs_length_q(*items);
        char const open = members ? '{' : '[';
        char const close = members ? '}' : ']';
        put(open);
        if (count == 0) {
            put(close);
            return leave(container);
        }
        if (m_pretty) {
            put('\n');
            ++m_level;
            indent();
        }
        for (std::uint32_t i = 0; i < count; ++i) {
            if (i > 0) {
                if (m_pretty) {
                    put(",\n");
                    indent();
                } else {
                    put(',');
                }
            }
            Cell* item = stack::push(block::rs_abs_at(*items, first + i)[0]);
            if (members) {
                if (!member(*container, *item)) return false;
            } else if (!value_of(*item)) {
                return false;
            }
            stack::pop(1);
        }
        if (m_pretty) {
            put('\n');
            --m_level;
            indent();
        }
        put(close);
        return leave(container);
    }

    bool leave(Cell* container)
    {
        block::remove_last(*m_parents);
        stack::cut_to(container);
        return true;
    }

    // The live pairs of a map in order: the keys words-of gives (a set-word as a word), each with its own
    // value, which is what select/case finds for it.
    bool map_members(Cell* container)
    {
        std::uint32_t written = 0;
        for (std::uint32_t position = 0; position + 1 < node::buffer(map::block_of(*container))->cell_count();
             position += 2) {
            Cell const* pair = node::buffer(map::block_of(*container))->head_cell() + position;
            if (pair[1].header == 0) continue;
            // Both are taken before the indentation, whose wide form allocates and may move the pairs.
            Cell* key = stack::push(pair[0]);
            if (cell::type_of(*key) == type_ids::set_word) cell::set_type(*key, type_ids::word);
            Cell* value = stack::push(pair[1]);
            put(written++ == 0 ? (m_pretty ? "{\n" : "{") : (m_pretty ? ",\n" : ","));
            if (written == 1 && m_pretty) ++m_level;
            if (m_pretty) indent();
            if (!key_value(*key, *value)) return false;
            stack::pop(2);
        }
        if (written == 0) {
            put("{}");
            return leave(container);
        }
        if (m_pretty) {
            put('\n');
            --m_level;
            indent();
        }
        put('}');
        return leave(container);
    }

    bool member(Cell const& object, Cell const& key)
    {
        FindOptions options {};
        options.case_sensitive = true;
        Cell* found = stack::push(actions::select_typed(object, key, options));
        bool const done = key_value(key, *found);
        stack::pop(1);
        return done;
    }

    bool key_value(Cell const& key, Cell const& value)
    {
        switch (cell::type_of(key)) {
        case type_ids::word:
            text(cell::make(type_ids::string, 0, symbol::cache_string(key.word2), 0));
            break;
        case type_ids::string:
            text(key);
            break;
        default:
            text(scratch_of(key, true));
        }
        put(m_pretty ? ": " : ":");
        return value_of(value);
    }

    Rooted m_output;
    Rooted m_indent;
    Rooted m_scratch;
    Rooted m_parents; // the blocks, maps and objects being written, outermost first
    bool m_ascii;
    bool m_pretty;
    std::uint32_t m_level = 0;
    std::string m_pending; // code points below 256, one a byte, not yet appended
    std::string m_indent_text;
    bool m_wide_indent = false;
};

}

// Appends the JSON text of the value to the output and answers the output, or none when the value holds
// itself.
void json_encode()
{
    Cell* const arguments = natives::argument(0);
    Writer writer(arguments[0], arguments[2], logic::true_q(arguments[3]));
    stack::set_last(writer.write(arguments[1]) ? arguments[0] : none_value);
}

}
