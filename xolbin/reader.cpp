// The XOLBIN readers of both forms. Every field is read through one cursor that checks the end of its
// area; every count is checked against the bytes left before anything is allocated for it; every value
// is appended to a block reachable from the destination before its contents are decoded, so that the
// collector keeps it and a reference inside it can reach it.

#include <cmath>
#include <cstring>
#include <string_view>

#include "datatypes/binary.h"
#include "datatypes/bitset.h"
#include "datatypes/block.h"
#include "datatypes/calendar.h"
#include "datatypes/char.h"
#include "datatypes/context.h"
#include "datatypes/datatype.h"
#include "datatypes/date.h"
#include "datatypes/error.h"
#include "datatypes/float.h"
#include "datatypes/function.h"
#include "datatypes/hash.h"
#include "datatypes/image.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/map.h"
#include "datatypes/money.h"
#include "datatypes/native.h"
#include "datatypes/none.h"
#include "datatypes/object.h"
#include "datatypes/object_events.h"
#include "datatypes/op.h"
#include "datatypes/pair.h"
#include "datatypes/point2d.h"
#include "datatypes/point3d.h"
#include "datatypes/registry.h"
#include "datatypes/symbol.h"
#include "datatypes/tuple.h"
#include "datatypes/unset.h"
#include "datatypes/vector.h"
#include "datatypes/word.h"
#include "runtime/collector.h"
#include "runtime/errors.h"
#include "runtime/hashtable.h"
#include "runtime/host/lz.h"
#include "runtime/output.h"
#include "runtime/quit.h"
#include "runtime/roots.h"
#include "runtime/series.h"
#include "runtime/text_encoding.h"
#include "runtime/type_families.h"
#include "runtime/unicode.h"
#include "xolbin/xolbin.h"

namespace xol::xolbin {

namespace {

constexpr std::uint32_t max_path = 65536;

// What a record header says, in either form.
struct Header {
    std::size_t start; // offset of the record's first byte
    TypeId type;
    bool new_line;
    bool reference;
    bool flag; // compact F; in the fixed form the bit the type gives it meaning (or head index present)
    std::uint32_t word; // the fixed header word (0 in the compact form)
    bool assignment = false; // compact boot data: the word is set to the next record, and neither stays
};

class Reader {
public:
    Reader(std::span<std::uint8_t const> data, Mode mode, Cell const* subject)
        : m_data(data)
        , m_mode(mode)
        , m_subject(subject ? *subject : none_value)
    {
    }

    void run(Cell const& destination);
    void set_name_hashes(std::span<std::uint32_t const> hashes) { m_name_hashes = hashes; }

private:
    [[noreturn]] void invalid(std::size_t at) const
    {
        Cell const position = integer::make(static_cast<std::int32_t>(at + 1));
        fire_error(err::script::xb_invalid_record, &position);
    }
    // Data that is no XOLBIN at all: an error for a script, the end of the run for start-up.
    [[noreturn]] void refuse_data(std::string_view boot_line) const
    {
        if (m_mode == Mode::Codec) fire_error(err::script::invalid_data, &m_subject);
        conout::write_latin1_line(boot_line.data(), boot_line.size());
        throw runtime::QuitRequest { 1 };
    }
    void need(std::uint64_t bytes) const
    {
        if (bytes > m_end - m_position) invalid(m_position);
    }
    std::uint8_t byte()
    {
        need(1);
        return m_data[m_position++];
    }
    std::uint32_t u32()
    {
        need(4);
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) value |= std::uint32_t { m_data[m_position++] } << (8 * i);
        return value;
    }
    std::uint32_t uv()
    {
        std::uint32_t value = 0;
        for (int i = 0; i < 5; ++i) {
            std::size_t const at = m_position;
            std::uint8_t const next = byte();
            if (i == 4 && next >= 0x10) invalid(at); // only 4 bits are left for a fifth byte
            value |= std::uint32_t { next & 0x7Fu } << (7 * i);
            if ((next & 0x80) == 0) return value;
        }
        return value; // unreachable: a fifth byte below 0x10 has no continuation bit
    }
    std::int32_t sv()
    {
        std::uint32_t const value = uv();
        return static_cast<std::int32_t>((value >> 1) ^ (0u - (value & 1)));
    }
    // A count, size or index: never negative.
    std::uint32_t count()
    {
        std::size_t const at = m_position;
        std::uint32_t const value = m_compact ? uv() : u32();
        if (value > 0x7FFFFFFF) invalid(at);
        return value;
    }
    std::int32_t signed_field() { return m_compact ? sv() : static_cast<std::int32_t>(u32()); }
    void align4()
    {
        if (!m_compact) m_position += std::min<std::size_t>((4 - m_position % 4) % 4, m_end - m_position);
    }
    // Each record takes at least this many bytes: counts of records are checked against it.
    std::uint64_t record_size() const { return m_compact ? 1 : 4; }

    SymbolId symbol();
    std::vector<std::uint32_t> path();
    Cell resolve(std::vector<std::uint32_t> const&, std::size_t at);
    Header header();
    void decode(Cell const& into);
    void decode_value(Header const&, Cell const& into);
    void decode_into_new_series(Header const&, Cell const& into);
    void decode_text(Header const&, Cell const& into, std::uint32_t head);
    void decode_map(Header const&, Cell const& into);
    void decode_vector(Header const&, Cell const& into, std::uint32_t head);
    void decode_image(Cell const& into, std::uint32_t head, Header const&);
    NodeId decode_context(bool function, std::size_t& values_at, std::uint32_t& count, bool& has_values);
    void decode_values(NodeId context, std::uint32_t count);
    Cell decode_owner(Header const&, Cell const* into, bool standalone = false);
    Cell decode_function(Header const&, Cell const* into);
    void decode_function_block(Cell const& block, std::size_t at);
    void decode_word(Header const&, Cell const& into);
    void decode_boot_word(Header const&, Cell const& into);
    bool decode_global_word(Cell const& into);
    bool decode_plain_block(Cell const& into);
    bool record_lead(std::size_t& at, bool& new_line) const;
    Cell global_word(SymbolId name);
    void decode_native(Header const&, Cell const& into);
    void decode_op(Header const&, Cell const& into);
    void decode_error(Header const&, Cell const& into);
    void read_sizes();
    void read_records(Cell const& destination);
    Cell append(Cell const& into, Cell value, Header const& h)
    {
        if (h.new_line) value.header |= cell::new_line_flag;
        block::rs_append(into, value);
        return value;
    }

    std::span<std::uint8_t const> m_data;
    std::vector<std::uint8_t> m_inflated; // a compressed body, decompressed
    Mode m_mode;
    Cell m_subject;
    bool m_compact = false;
    std::size_t m_position = 0;
    std::size_t m_end = 0;
    bool m_has_symbols = false;
    std::uint32_t m_symbol_count = 0;
    std::uint32_t m_strings_size = 0;
    std::size_t m_offsets = 0;
    std::size_t m_strings = 0;
    Cell const* m_root = nullptr;
    std::uint32_t m_root_offset = 0; // the destination's cells before the load: boot data's root indexes follow
    std::uint32_t m_depth = 0;
    std::vector<SymbolId> m_symbol_ids; // by symbol index, 0 until first used
    std::uint32_t m_symbol_index = 0; // the index the last symbol() read
    // By symbol index, the global word of that spelling (header 0 until first met): the global context's
    // slots never move, and the boot image names the same globals thousands of times.
    std::vector<Cell> m_globals;
    std::span<std::uint32_t const> m_name_hashes; // boot data: by symbol index, the name's hash, when known
};

SymbolId Reader::symbol()
{
    std::size_t const at = m_position;
    std::uint32_t const index = count();
    if (!m_has_symbols || index >= m_symbol_count) invalid(at);
    m_symbol_index = index;
    // Symbols live as long as the run: each name is checked and interned once, at its first use.
    if (m_symbol_ids.empty()) m_symbol_ids.resize(m_symbol_count);
    if (m_symbol_ids[index] != 0) return m_symbol_ids[index];
    std::size_t const entry = m_offsets + 4 * std::size_t { index };
    std::uint32_t offset = 0;
    for (int i = 0; i < 4; ++i) offset |= std::uint32_t { m_data[entry + static_cast<std::size_t>(i)] } << (8 * i);
    if (offset >= m_strings_size) invalid(at);
    // The strings area ends with a NUL (checked with the sections): the name ends within it.
    auto const* name = reinterpret_cast<char const*>(m_data.data() + m_strings + offset);
    std::size_t const length = std::strlen(name);
    if (length == 0) invalid(at);
    // Names are UTF-8: everything that prints or compares them relies on it. The boot image is the
    // program's own, written from names the lexer made.
    auto const* bytes = reinterpret_cast<std::uint8_t const*>(name);
    for (std::uint8_t const* p = bytes; m_mode == Mode::Codec && p < bytes + length;) {
        std::int32_t code_point = 0;
        p = unicode::utf8_decode(p, bytes + length, code_point);
        if (code_point < 0) invalid(at);
    }
    if (index < m_name_hashes.size())
        return m_symbol_ids[index] = symbol::make_hashed(std::string_view(name, length), m_name_hashes[index]);
    return m_symbol_ids[index] = symbol::make(std::string_view(name, length));
}

std::vector<std::uint32_t> Reader::path()
{
    std::size_t const at = m_position;
    if (!m_compact && u32() != 255) invalid(at);
    std::uint32_t const length = count();
    if (length == 0 || length > max_path) invalid(at);
    need(std::uint64_t { length } * record_size());
    std::vector<std::uint32_t> positions(length);
    for (std::uint32_t& position : positions) position = count();
    return positions;
}

// The context of a value a word or owner reference may name: an object's, a function's (an op! of a
// function stands for it) or a bound word's. no_node for anything else.
NodeId context_of_value(Cell const& value)
{
    TypeId const type = cell::type_of(value);
    if (type == type_ids::object || type == type_ids::function) return value.word1;
    if (type == type_ids::op && op::wrapped_type(value) == type_ids::function) return value.word1;
    if (type_ids::is_bindable(type) && value.word1 != no_node && value.word1 != context::global()) return value.word1;
    return no_node;
}

// The cells a path step may enter: a block-like series, the values of a series-valued context, or a spec.
Cell Reader::resolve(std::vector<std::uint32_t> const& positions, std::size_t at)
{
    Cell current = *m_root;
    current.word1 = 0;
    for (std::uint32_t position : positions) {
        TypeId const type = cell::type_of(current);
        NodeId values = no_node; // a series of cells to index
        std::uint32_t first = 0;
        std::uint32_t limit = 0xFFFFFFFF;
        if (type_ids::is_any_block(type) || type == type_ids::map) {
            values = current.word2;
        } else if (type == type_ids::native || type == type_ids::action) {
            values = current.word2;
        } else if (type == type_ids::function || type == type_ids::op
            || (type_ids::is_bindable(type) && current.word1 != no_node && context::is_on_stack(current.word1))) {
            Cell const owner = type_ids::is_bindable(type) ? context::owner_of(current.word1) : current;
            TypeId const owner_type = cell::type_of(owner);
            if (owner_type == type_ids::op && op::wrapped_type(owner) != type_ids::function) {
                values = owner.word2; // an op! of a native: its spec
            } else if (owner_type == type_ids::function || owner_type == type_ids::op) {
                if (position == 0) {
                    current = function::spec_block(owner);
                    continue;
                }
                if (position != 1 || owner_type != type_ids::function) invalid(at);
                current = function::record_cell(owner, function::body_cell);
                if (cell::type_of(current) != type_ids::block) invalid(at);
                continue;
            } else {
                invalid(at);
            }
        } else if (type == type_ids::object || type == type_ids::error
            || (type_ids::is_bindable(type) && current.word1 != no_node)) {
            NodeId const context = current.word1;
            if (context::is_on_stack(context) || !context::has_values(context)) invalid(at);
            values = context::cell_of(context).word2;
            limit = context::word_count(context);
            if (type == type_ids::error) first = static_cast<std::uint32_t>(error::Field::arg1);
        } else {
            invalid(at);
        }
        std::uint32_t const length = std::min(node::buffer(values)->length(), limit);
        if (position >= length - std::min(first, length)) invalid(at);
        current = node::buffer(values)->head_cell()[first + position];
    }
    return current;
}

// Whether a date! cell keeps its module's invariants: a real calendar date; without the time flag no time
// and no zone; with it a finite time whose local time of day lies in 0 to 86,400 seconds; a zone sign only
// on a zone that is not zero.
bool valid_date(Cell const& value)
{
    std::uint32_t const packed = date::packed(value);
    std::int32_t const year = date::year_of(packed);
    std::int32_t const month = date::month_of(packed);
    std::int32_t const day = date::day_of(packed);
    if (month < 1 || month > 12 || day < 1) return false;
    date::CivilDate const civil = date::civil_from_days(date::to_days(year, month, day));
    if (civil.year != year || civil.month != month || civil.day != day) return false;
    std::uint32_t const zone = date::zone_of(packed);
    if (zone == date::zone_sign) return false;
    double const seconds = date::seconds(value);
    if (!date::has_time(packed)) return zone == 0 && value.word2 == 0 && value.word3 == 0;
    double const local = seconds + date::zone_seconds(zone);
    return std::isfinite(seconds) && local >= 0.0 && local < date::seconds_per_day;
}

// ---- Sections -----------------------------------------------------------------------------------------

void Reader::run(Cell const& destination)
{
    Rooted root(destination);
    m_root = &*root;
    m_root_offset = series::buffer_of(*root)->length();
    if (m_data.size() < 8 || std::memcmp(m_data.data(), "XOLBIN", 6) != 0) refuse_data("Error: Not a Xolbin file!");
    std::uint8_t const flags = m_data[7];
    if (flags & flag_compressed) {
        // The body decompressed takes the place of the compressed one, behind the same 8-byte header.
        std::optional<std::vector<std::uint8_t>> body = lz::decompress(m_data.subspan(8));
        if (!body) refuse_data("Error: Xolbin compressed data corrupted!");
        body->insert(body->begin(), m_data.begin(), m_data.begin() + 8);
        m_inflated = std::move(*body);
        m_data = m_inflated;
    }
    m_compact = (flags & flag_compact) != 0;
    m_has_symbols = (flags & flag_symbols) != 0;
    m_position = 8;
    m_end = m_data.size();
    read_sizes();
    read_records(*root);
}

// The root count (not relied on), the records' size and the symbol table, in either form.
void Reader::read_sizes()
{
    if (m_compact) {
        uv();
    } else {
        if (m_end - m_position < 8) refuse_data("Error: Not a Xolbin file!");
        u32();
    }
    std::size_t const size_at = m_position;
    std::uint32_t const records = count();
    if (m_has_symbols) {
        std::size_t const at = m_position;
        m_symbol_count = count();
        m_strings_size = count();
        m_offsets = m_position;
        if (m_symbol_count > (m_end - m_position) / 4) invalid(at);
        m_strings = m_offsets + 4 * std::size_t { m_symbol_count };
        if (m_strings_size > m_end - m_strings) invalid(at);
        if (m_strings_size > 0 && m_data[m_strings + m_strings_size - 1] != 0) invalid(at);
        m_position = m_strings + m_strings_size;
    }
    if (records > m_end - m_position) invalid(size_at);
    m_end = m_position + records;
}

void Reader::read_records(Cell const& destination)
{
    while (m_position < m_end) decode(destination);
}

// ---- Records ------------------------------------------------------------------------------------------

Header Reader::header()
{
    Header h {};
    h.start = m_position;
    if (!m_compact) {
        h.word = u32();
        h.type = static_cast<TypeId>(h.word & 0xFF);
        h.new_line = (h.word & (1u << 31)) != 0;
        h.reference = (h.word & (1u << 19)) != 0;
        return h;
    }
    bool assignment = false;
    for (;;) {
        std::size_t const at = m_position;
        std::uint8_t const lead = byte();
        if (lead == 0xC0) {
            h.new_line = true;
        } else if (lead == 0xC1) {
            h.reference = true;
        } else if (lead == 0xC4) {
            if (m_mode == Mode::Codec) invalid(at); // assignments belong to boot data
            assignment = true;
        } else if (lead >= 0x80) {
            if (h.reference || assignment) invalid(at);
            h.start = at;
            h.word = lead; // a value in the lead byte itself
            h.type = 0;
            return h;
        } else {
            h.flag = (lead & 0x40) != 0;
            std::uint32_t id = lead & 0x3Fu;
            if (id == 63) id = uv();
            if (id == 0 || id > 255) invalid(at);
            // Only a word can be assigned (an issue! names no value).
            if (assignment && (id < type_ids::word || id > type_ids::refinement)) invalid(at);
            h.assignment = assignment;
            h.type = static_cast<TypeId>(id);
            h.start = at;
            return h;
        }
    }
}

void Reader::decode(Cell const& into)
{
    if (m_position >= m_end) invalid(m_position);
    if (m_compact && m_mode == Mode::Boot && (decode_global_word(into) || decode_plain_block(into))) return;
    if (++m_depth > max_depth) invalid(m_position);
    Header const h = header();
    decode_value(h, into);
    --m_depth;
}

void Reader::decode_value(Header const& h, Cell const& into)
{
    if (m_compact && h.type == 0) {
        std::uint32_t const lead = h.word;
        if (lead <= 0xBF)
            append(into, integer::make(static_cast<std::int32_t>(lead - 0x80)), h);
        else if (lead == 0xC2 || lead == 0xC3)
            append(into, logic::make(lead == 0xC2), h);
        else if (lead == 0xFF)
            append(into, resolve(path(), h.start), h);
        else
            invalid(h.start);
        return;
    }
    TypeId const type = h.type;
    if (!m_compact) {
        if (type == 0) { // padding word
            if (h.word != 0) invalid(h.start);
            decode(into);
            return;
        }
        if (type == 255) {
            m_position = h.start; // the path reads its own header word
            Cell const copy = resolve(path(), h.start);
            append(into, copy, Header { h.start, 0, (h.word & (1u << 31)) != 0, false, false, 0 });
            return;
        }
    }
    if (!datatype::is_registered(type) || type == type_ids::symbol || type == type_ids::series) invalid(h.start);
    if (h.reference && !type_ids::is_series(type) && type != type_ids::bitset && type != type_ids::map
        && type != type_ids::object && type != type_ids::function && !type_ids::is_bindable(type))
        invalid(h.start);
    switch (type) {
    case type_ids::unset:
        append(into, unset_value, h);
        return;
    case type_ids::none:
        append(into, none_value, h);
        return;
    case type_ids::datatype: {
        std::size_t const at = m_position;
        std::uint32_t const id = count();
        if (id > 255 || !datatype::is_registered(static_cast<TypeId>(id))) invalid(at);
        append(into, datatype::make(static_cast<TypeId>(id)), h);
        return;
    }
    case type_ids::logic:
        if (m_compact) invalid(h.start); // only as 0xC2 and 0xC3
        append(into, logic::make(u32() != 0), h);
        return;
    case type_ids::char_: {
        std::size_t const at = m_position;
        std::uint32_t const code_point = m_compact ? uv() : u32();
        if (code_point > 0x10FFFF) invalid(at);
        append(into, char_::make(code_point), h);
        return;
    }
    case type_ids::integer:
        append(into, integer::make(signed_field()), h);
        return;
    case type_ids::float_:
    case type_ids::percent:
    case type_ids::time: {
        Cell value = cell::make(type);
        if (m_compact && h.flag) {
            std::int32_t const number = sv();
            cell::set_float_payload(value, type == type_ids::percent ? number / 100.0 : number);
        } else if (m_compact) {
            value.word2 = u32();
            value.word3 = u32();
        } else {
            value.word3 = u32(); // high half first
            value.word2 = u32();
        }
        append(into, value, h);
        return;
    }
    case type_ids::typeset: {
        std::uint8_t bytes[12] = {};
        std::size_t const at = m_position;
        std::uint32_t const n = m_compact ? byte() : 12;
        if (n > 12) invalid(at);
        need(n);
        std::memcpy(bytes, m_data.data() + m_position, n);
        m_position += n;
        Cell value = cell::make(type);
        std::memcpy(&value.word1, bytes, sizeof bytes);
        append(into, value, h);
        return;
    }
    case type_ids::tuple: {
        // 1 to 12 components; fewer than 3 are padded with zeros to 3.
        std::size_t const at = m_position;
        std::uint32_t const n = m_compact ? (h.flag ? byte() : 3) : (h.word >> 8) & 0xFFu;
        if (n < 1 || n > tuple::most) invalid(at);
        std::uint32_t const stored = m_compact ? n : tuple::most;
        need(stored);
        std::uint8_t components[tuple::most] = {};
        std::memcpy(components, m_data.data() + m_position, n);
        m_position += stored;
        append(into, tuple::make(components, n), h);
        return;
    }
    case type_ids::pair: {
        std::int32_t const x = signed_field();
        std::int32_t const y = signed_field();
        append(into, pair::make(x, y), h);
        return;
    }
    case type_ids::date: {
        std::size_t const at = m_position;
        std::uint32_t const packed = u32();
        // The time flag and F say the same in the compact form: the time halves follow only with both.
        if (m_compact && date::has_time(packed) != h.flag) invalid(at);
        Cell value = date::make(packed, 0.0);
        if (!m_compact) {
            value.word3 = u32();
            value.word2 = u32();
        } else if (h.flag) {
            value.word2 = u32();
            value.word3 = u32();
        }
        if (!valid_date(value)) invalid(at);
        append(into, value, h);
        return;
    }
    case type_ids::money: {
        std::size_t const at = m_position;
        bool const negative = m_compact ? h.flag : (h.word & (1u << 22)) != 0;
        std::uint32_t const currency = byte();
        money::DigitBytes digits {};
        need(digits.size());
        std::memcpy(digits.data(), m_data.data() + m_position, digits.size());
        m_position += digits.size();
        // Every nibble a decimal digit, and a currency the list holds.
        for (std::uint8_t pair : digits)
            if ((pair >> 4) > 9 || (pair & 0xF) > 9) invalid(at);
        if (currency != 0 && cell::type_of(money::currency_word(currency)) == type_ids::none) invalid(at);
        Cell value = cell::make(type);
        money::make_at(value, negative, currency, digits);
        append(into, value, h);
        return;
    }
    case type_ids::point2d: {
        std::uint32_t const x = u32();
        std::uint32_t const y = u32();
        append(into, Cell { type, x, y, 0 }, h);
        return;
    }
    case type_ids::point3d: {
        std::uint32_t const x = u32();
        std::uint32_t const y = u32();
        std::uint32_t const z = u32();
        append(into, Cell { type, x, y, z }, h);
        return;
    }
    case type_ids::issue: {
        SymbolId const name = symbol();
        append(into, Cell { type, context::global(), name, word::unresolved }, h);
        return;
    }
    case type_ids::native:
    case type_ids::action:
        decode_native(h, into);
        return;
    case type_ids::op:
        decode_op(h, into);
        return;
    case type_ids::error:
        decode_error(h, into);
        return;
    case type_ids::object:
        decode_owner(h, &into);
        return;
    case type_ids::function:
        decode_function(h, &into);
        return;
    case type_ids::context: {
        // A context on its own comes back as an object of its words.
        decode_owner(h, &into, true);
        return;
    }
    default:
        break;
    }
    if (type_ids::is_bindable(type)) {
        decode_word(h, into);
        return;
    }
    if (type_ids::is_any_block(type) || type_ids::is_text(type) || type == type_ids::bitset || type == type_ids::map
        || type == type_ids::binary || type == type_ids::vector || type == type_ids::image) {
        decode_into_new_series(h, into);
        return;
    }
    Cell const refused = datatype::make(type);
    fire_error(err::access::no_codec, &refused);
}

void Reader::decode_into_new_series(Header const& h, Cell const& into)
{
    TypeId const type = h.type;
    bool const bitset = type == type_ids::bitset;
    bool const negated = bitset && (m_compact ? h.flag : (h.word & (1u << 23)) != 0);
    bool const indexed = !bitset && type != type_ids::map;
    std::uint32_t head = 0;
    if (indexed && (!m_compact || h.flag)) head = count();
    if (h.reference) {
        std::size_t const at = m_position;
        Cell copy = resolve(path(), at);
        TypeId const found = cell::type_of(copy);
        // A reference shares the series as a type its own family allows: cells as cells (a hash! or map!
        // only as itself, its table goes with the series), text as text, any other series as its own type.
        bool const retyped = type_ids::is_text(type) || (type_ids::is_any_block(type) && type != type_ids::hash);
        bool const fits = type_ids::is_text(type) ? type_ids::is_text(found)
            : retyped                             ? type_ids::is_any_block(found) && found != type_ids::hash
                                                  : found == type;
        if (!fits) invalid(at);
        if (retyped) copy.header = (copy.header & ~cell::type_mask) | type;
        if (indexed) copy.word1 = head;
        copy.header &= ~cell::new_line_flag;
        append(into, copy, h);
        return;
    }
    if (type_ids::is_text(type)) {
        decode_text(h, into, head);
        return;
    }
    if (type == type_ids::map) {
        decode_map(h, into);
        return;
    }
    if (type == type_ids::vector) {
        decode_vector(h, into, head);
        return;
    }
    if (type == type_ids::image) {
        decode_image(into, head, h);
        return;
    }
    std::size_t const at = m_position;
    std::uint32_t const length = count();
    if (bitset || type == type_ids::binary) {
        if (!m_compact && type == type_ids::binary && ((h.word >> 8) & 0xFF) != 1) invalid(h.start);
        need(length);
        Rooted made(bitset ? bitset::make(length, negated) : binary::make(length));
        if (length > 0) {
            void* bytes = bitset ? static_cast<void*>(node::buffer(made->word2)->head_address())
                                 : binary::append_space(*made, length);
            std::memcpy(bytes, m_data.data() + m_position, length);
        }
        if (!bitset) made->word1 = head;
        m_position += length;
        align4();
        append(into, *made, h);
        return;
    }
    if (std::uint64_t { length } * record_size() > m_end - m_position) invalid(at);
    Rooted made(unset_value);
    block::make_at(*made, static_cast<std::int32_t>(length));
    made->word1 = head;
    // A hash! has its table before its cells are read, so that a reference to it inside them shares the
    // table; the table indexes the cells once they are all there.
    if (type == type_ids::hash) hash_::index_cells(*made);
    made->header = type;
    append(into, *made, h);
    for (std::uint32_t i = 0; i < length; ++i) decode(*made);
    if (type == type_ids::hash) hashtable::rebuild(made->word3);
}

// A map! record: the map is appended before its pairs are read, so that a reference inside them reaches it;
// its table loads the keys once they are all there (a key repeated folds into the first).
void Reader::decode_map(Header const& h, Cell const& into)
{
    std::size_t const at = m_position;
    std::uint32_t const cells = count();
    if (cells % 2 != 0 || std::uint64_t { cells } * record_size() > m_end - m_position) invalid(at);
    Rooted made(map::make(nullptr, cells / 2));
    append(into, *made, h);
    Cell const pairs = cell::make(type_ids::block, 0, map::block_of(*made), 0);
    for (std::uint32_t i = 0; i < cells; ++i) decode(pairs);
    SeriesBuffer* buffer = node::buffer(map::block_of(*made));
    if (buffer->length() != cells) invalid(at);
    for (std::uint32_t i = 0; i < cells; i += 2)
        if (!map::valid_key_q(cell::type_of(buffer->head_cell()[i]))) invalid(at);
    hashtable::load_pairs(map::table_of(*made), 0, 2);
}

// An image!: its size (each side at most 65535), then its pixels, which must all be there before a store is
// made for them; the head index lies within the pixels.
void Reader::decode_image(Cell const& into, std::uint32_t head, Header const& h)
{
    std::size_t const at = m_position;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    if (m_compact) {
        width = count();
        height = count();
    } else {
        std::uint32_t const size = u32();
        width = size & 0xFFFF;
        height = size >> 16;
    }
    if (width > pixel_store::max_side || height > pixel_store::max_side) invalid(at);
    std::uint64_t const pixels = std::uint64_t { width } * height;
    if (head > pixels) invalid(at);
    need(pixels * 4);
    image::OwnedStore store;
    if (pixels > 0) {
        store = image::new_store(width, height);
        for (std::uint64_t i = 0; i < pixels; ++i) store->pixels[i] = u32();
    }
    Rooted made(image::make_with_store(std::move(store), width, height));
    made->word1 = head;
    append(into, *made, h);
}

void Reader::decode_vector(Header const& h, Cell const& into, std::uint32_t head)
{
    std::size_t const at = m_position;
    std::uint32_t length = 0;
    std::uint32_t unit = 0;
    TypeId element = 0;
    if (m_compact) {
        std::uint8_t const layout = byte();
        element = static_cast<TypeId>(layout >> 2);
        unit = 1u << (layout & 3);
        length = count();
    } else {
        unit = (h.word >> 8) & 0xFF;
        length = count();
        std::uint32_t const type = u32();
        if (type > 255) invalid(at);
        element = static_cast<TypeId>(type);
    }
    if (!vector::valid_layout(element, unit)) invalid(at);
    need(std::uint64_t { length } * unit);
    Rooted made(vector::make(element, unit, length));
    if (length > 0)
        std::memcpy(
            node::buffer(made->word2)->head_address(), m_data.data() + m_position, std::size_t { length } * unit);
    made->word1 = head;
    m_position += std::size_t { length } * unit;
    align4();
    append(into, *made, h);
}

void Reader::decode_text(Header const& h, Cell const& into, std::uint32_t head)
{
    std::size_t const at = m_position;
    std::uint32_t length = 0;
    std::uint32_t unit = 0;
    if (m_compact) {
        std::uint32_t const field = uv();
        if ((field & 3) == 3) invalid(at);
        length = field >> 2;
        unit = 1u << (field & 3);
    } else {
        length = count();
        unit = (h.word >> 8) & 0xFF;
        if (unit != 1 && unit != 2 && unit != 4) invalid(h.start);
    }
    need(std::uint64_t { length } * unit);
    std::uint8_t const* data = m_data.data() + m_position;
    // One-byte units hold ASCII and two-byte units no surrogate: text wider than its unit is widened.
    std::uint32_t widest = 1;
    if (unit == 1) {
        if (string::ascii_prefix(data, length, false) != length) widest = 2;
    } else {
        for (std::uint32_t i = 0; i < length; ++i) {
            std::uint32_t code_point = 0;
            for (std::uint32_t b = 0; b < unit; ++b) code_point |= std::uint32_t { data[i * unit + b] } << (8 * b);
            if (code_point > 0x10FFFF || (code_point >= 0xD800 && code_point <= 0xDFFF)) invalid(at);
            widest = std::max(widest, code_point <= 0x7F ? 1u : code_point <= 0xFFFF ? 2u : 4u);
        }
    }
    if (widest < unit) widest = unit;
    NodeId const node = series::alloc_units(length, widest);
    SeriesBuffer* buffer = node::buffer(node);
    // Units of the stored width are the buffer's bytes as they are (a little-endian host); wider ones are
    // widened one by one.
    if (widest == unit) {
        if (length > 0) std::memcpy(buffer->data(), m_data.data() + m_position, std::size_t { length } * unit);
    } else {
        for (std::uint32_t i = 0; i < length; ++i) {
            std::uint32_t code_point = 0;
            for (std::uint32_t b = 0; b < unit; ++b)
                code_point |= std::uint32_t { m_data[m_position + i * unit + b] } << (8 * b);
            std::memcpy(buffer->data() + std::size_t { i } * widest, &code_point, widest);
        }
    }
    buffer->tail = length * widest;
    m_position += std::size_t { length } * unit;
    align4();
    append(into, Cell { h.type, head, node, 0 }, h);
}

// A context record: the header (type 14), flags, the words; answers the new context. The values are read
// by the caller once the owner exists.
NodeId Reader::decode_context(bool function, std::size_t& values_at, std::uint32_t& count_out, bool& has_values)
{
    std::size_t const at = m_position;
    std::uint32_t flags = 0;
    if (m_compact) {
        std::uint8_t const lead = byte();
        if (lead != type_ids::context) invalid(at);
        flags = byte();
    } else {
        std::uint32_t const word = u32();
        if ((word & 0xFF) != type_ids::context) invalid(at);
        flags = ((word >> 26) & 3) | ((word >> 29) & 1) << 2 | ((word >> 28) & 1) << 3 | ((word >> 30) & 1) << 4;
    }
    bool const on_stack = (flags & 4) != 0;
    auto const kind = static_cast<context::Kind>(flags & 3);
    // An object keeps its values in a series, a function on the value stack while it runs.
    if (on_stack != function || (function && kind != context::Kind::Function)
        || (!function && kind == context::Kind::Function))
        invalid(at);
    has_values = (flags & 16) != 0 && !on_stack;
    std::size_t const count_at = m_position;
    std::uint32_t const n = count();
    if (std::uint64_t { n } * record_size() > m_end - m_position) invalid(count_at);
    RootedNode made(context::make(n, on_stack, (flags & 8) != 0, no_node, kind));
    for (std::uint32_t i = 0; i < n; ++i) {
        std::size_t const word_at = m_position;
        SymbolId const name = symbol();
        Cell const entry { type_ids::word, *made, name, i };
        if (context::add_word(*made, entry) != i) invalid(word_at); // a name twice
    }
    values_at = m_position;
    count_out = n;
    return *made;
}

void Reader::decode_values(NodeId given, std::uint32_t count)
{
    RootedNode context(given);
    Rooted values(Cell { type_ids::block, 0, context::cell_of(*context).word2, 0 });
    block::rs_set_tail_at(*values, 0);
    for (std::uint32_t i = 0; i < count; ++i) {
        std::size_t const at = m_position;
        decode(*values);
        if (node::buffer(values->word2)->length() != i + 1) invalid(at);
    }
}

// An object! record (also the owner written inside a word, with `into` null): the new object is appended
// before its values are read, so that they may refer to it.
Cell Reader::decode_owner(Header const& h, Cell const* into, bool standalone)
{
    if (h.reference) {
        std::size_t const at = m_position;
        NodeId const context = context_of_value(resolve(path(), at));
        if (context == no_node || cell::type_of(context::owner_of(context)) != type_ids::object) invalid(at);
        Cell const owner = context::owner_of(context);
        if (into) append(*into, owner, h);
        return owner;
    }
    bool const events = !standalone && (m_compact ? h.flag : (h.word & (1u << 24)) != 0);
    if (standalone)
        m_position = h.start; // the context record itself
    else
        signed_field(); // the class id of another run: every object read gets a class of its own
    std::int32_t slots[2] = { object::no_handler, object::no_handler };
    std::size_t const slots_at = m_position;
    if (events)
        for (std::int32_t& slot : slots) slot = signed_field();
    std::size_t values_at = 0;
    std::uint32_t count = 0;
    bool has_values = false;
    RootedNode context(decode_context(false, values_at, count, has_values));
    // An event slot names the handler's own word in the context.
    char const* names[2] = { "on-change*", "on-deep-change*" };
    for (int i = 0; i < 2; ++i) {
        if (slots[i] == object::no_handler) continue;
        if (slots[i] < 0 || static_cast<std::uint32_t>(slots[i]) >= count) invalid(slots_at);
        SymbolId const expected = symbol::make(names[i]);
        if (symbol::resolve(context::word_at(*context, static_cast<std::uint32_t>(slots[i]))->word2)
            != symbol::resolve(expected))
            invalid(slots_at);
    }
    NodeId const event_record = events ? object::event_record(no_node, no_node, slots[0], 0, slots[1], 0) : no_node;
    Cell const owner { type_ids::object, *context, object::class_id(), event_record };
    context::owner_of(*context) = owner;
    {
        NodeId const values = context::cell_of(*context).word2;
        block::rs_set_tail_at(Cell { type_ids::block, 0, values, 0 }, 0);
        for (std::uint32_t i = 0; i < count; ++i) *series::append_cell_raw(values) = unset_value;
    }
    if (into) append(*into, owner, h);
    if (has_values) decode_values(*context, count);
    return context::owner_of(*context);
}

// The spec or body block of a function! record, read into the block the function already holds.
void Reader::decode_function_block(Cell const& block, std::size_t)
{
    Header h {};
    h.start = m_position;
    if (m_compact) {
        for (;;) {
            std::size_t const at = m_position;
            std::uint8_t const lead = byte();
            if (lead == 0xC0) continue;
            if (lead == 0xC1) {
                h.reference = true;
                continue;
            }
            if ((lead & 0x3F) != type_ids::block) invalid(at);
            if (lead & 0x40) count(); // a head index, not kept
            break;
        }
    } else {
        std::uint32_t const word = u32();
        if ((word & 0xFF) != type_ids::block) invalid(h.start);
        h.reference = (word & (1u << 19)) != 0;
        count(); // the head index, not kept
    }
    if (h.reference) {
        // A shared spec or body comes back as a copy of its cells.
        std::size_t const at = m_position;
        Cell const found = resolve(path(), at);
        if (!type_ids::is_any_block(cell::type_of(found)) || cell::type_of(found) == type_ids::hash) invalid(at);
        Rooted source(found);
        source->word1 = 0;
        block::append_cells(block, *source);
        return;
    }
    std::size_t const at = m_position;
    std::uint32_t const length = count();
    if (std::uint64_t { length } * record_size() > m_end - m_position) invalid(at);
    for (std::uint32_t i = 0; i < length; ++i) decode(block);
}

Cell Reader::decode_function(Header const& h, Cell const* into)
{
    if (h.reference) {
        std::size_t const at = m_position;
        NodeId const context = context_of_value(resolve(path(), at));
        if (context == no_node || cell::type_of(context::owner_of(context)) != type_ids::function) invalid(at);
        Cell const owner = context::owner_of(context);
        if (into) append(*into, owner, h);
        return owner;
    }
    std::size_t const sizes_at = m_position;
    std::uint32_t const spec_size = count();
    std::uint32_t const body_size = count();
    if ((std::uint64_t { spec_size } + body_size) * record_size() > m_end - m_position) invalid(sizes_at);
    std::size_t values_at = 0;
    std::uint32_t count_words = 0;
    bool has_values = false;
    RootedNode context(decode_context(true, values_at, count_words, has_values));
    Rooted spec(unset_value);
    block::make_at(*spec, static_cast<std::int32_t>(spec_size));
    Rooted body(unset_value);
    block::make_at(*body, static_cast<std::int32_t>(body_size));
    RootedNode record(series::alloc_cells(function::record_size));
    *series::append_cell_raw(*record) = *body;
    for (std::uint32_t i = 1; i < function::record_size; ++i) *series::append_cell_raw(*record) = unset_value;
    Cell const function { type_ids::function, *context, spec->word2, *record };
    context::owner_of(*context) = function;
    if (into) append(*into, function, h);
    std::size_t const spec_at = m_position;
    decode_function_block(*spec, spec_at);
    decode_function_block(*body, m_position);
    // The spec must name the context's words, in order: calls take their arguments by the spec.
    NodeId const from_spec = context::make_from_spec(*spec, true, false, context::Kind::Function);
    if (context::word_count(from_spec) != context::word_count(*context)) invalid(spec_at);
    for (std::uint32_t i = 0; i < context::word_count(from_spec); ++i)
        if (context::word_at(from_spec, i)->word2 != context::word_at(*context, i)->word2) invalid(spec_at);
    return context::owner_of(*context);
}

// The global word of the symbol symbol() just read, added when new.
Cell Reader::global_word(SymbolId name)
{
    if (m_globals.empty()) m_globals.resize(m_symbol_count, cell::make(0));
    Cell& known = m_globals[m_symbol_index];
    if (cell::type_of(known) == 0) known = context::add_global(name, true, true);
    return known;
}

// The slot of the word spelled `name` in the context: the stored slot when it names that word, else the
// word found by name (a slot of -1 asks for that); -1 when the context lacks it.
std::int32_t slot_in(NodeId context, SymbolId name, std::int32_t slot)
{
    std::uint32_t const words = context::word_count(context);
    if (slot < 0 || static_cast<std::uint32_t>(slot) >= words
        || symbol::resolve(context::word_at(context, static_cast<std::uint32_t>(slot))->word2) != symbol::resolve(name))
        return context::find_word(context, name, true);
    return slot;
}

// Moves `at` from a record's first byte past its new-line prefix (0xC0), when it has one, to its type byte;
// false when the data ends there.
bool Reader::record_lead(std::size_t& at, bool& new_line) const
{
    new_line = m_data[at] == 0xC0;
    return !new_line || ++at < m_end;
}

// The record most boot data holds, a global word (new-line prefix allowed), read without the general
// header and dispatch; false, with nothing read, for any other record.
bool Reader::decode_global_word(Cell const& into)
{
    if (m_depth >= max_depth) return false; // the general path reports it
    std::size_t at = m_position;
    bool new_line = false;
    if (!record_lead(at, new_line)) return false;
    // A type byte without F (no binding) of a word type below the escape id.
    TypeId const type = m_data[at];
    if (type < type_ids::word || type > type_ids::refinement) return false;
    m_position = at + 1;
    // A name met before (its index in one or two varint bytes) has its global word at hand.
    Cell word = cell::make(0);
    std::size_t const index_at = m_position;
    if (index_at + 1 < m_end) {
        std::uint32_t index = m_data[index_at];
        std::size_t width = 1;
        if (index >= 0x80) {
            index = (index & 0x7Fu) | std::uint32_t { m_data[index_at + 1] } << 7;
            width = 2;
        }
        if (index < m_globals.size() && index <= 0x3FFF) {
            word = m_globals[index];
            if (cell::type_of(word) != 0) m_position = index_at + width;
        }
    }
    if (cell::type_of(word) == 0) word = global_word(symbol());
    word.header = type;
    if (new_line) word.header |= cell::new_line_flag;
    // Blocks of the image are made to their length: the cell is there.
    SeriesBuffer* buffer = node::buffer(into.word2);
    if (buffer->tail + sizeof(Cell) <= buffer->capacity) {
        *buffer->tail_cell() = word;
        buffer->tail += sizeof(Cell);
    } else {
        block::rs_append(into, word);
    }
    return true;
}

// A block-like record of boot data without a head index (not a hash!), read without the general header
// and dispatch; false, with nothing read, for any other record.
bool Reader::decode_plain_block(Cell const& into)
{
    if (m_depth >= max_depth) return false; // the general path reports it
    std::size_t at = m_position;
    bool new_line = false;
    if (!record_lead(at, new_line)) return false;
    std::uint8_t const lead = m_data[at];
    TypeId const type = lead;
    if (lead >= 0x40 || !type_ids::is_any_block(type) || type == type_ids::hash || !datatype::is_registered(type))
        return false;
    m_position = at + 1;
    std::size_t const count_at = m_position;
    std::uint32_t const length = count();
    if (std::uint64_t { length } * record_size() > m_end - m_position) invalid(count_at);
    ++m_depth;
    Rooted made(unset_value);
    block::make_at(*made, static_cast<std::int32_t>(length));
    made->header = type;
    node::buffer(made->word2)->flags |= series_flags::image_literal;
    Cell listed = *made;
    if (new_line) listed.header |= cell::new_line_flag;
    block::rs_append(into, listed);
    for (std::uint32_t i = 0; i < length; ++i) decode(*made);
    --m_depth;
    return true;
}

// Words of boot data: global, or bound to the context of a value among the roots this load appended (by
// its index from the first of them). An assignment sets the word to the next record, which is dropped
// with it: neither stays in the block.
void Reader::decode_boot_word(Header const& h, Cell const& into)
{
    std::size_t const at = m_position;
    SymbolId const name = symbol();
    if (h.reference) invalid(h.start); // boot data binds by root index, never by path
    Cell word = unset_value;
    if (!h.flag) {
        word = global_word(name);
    } else {
        std::size_t const root_at = m_position;
        std::uint64_t const root = std::uint64_t { m_root_offset } + count();
        std::int32_t const stored = sv();
        SeriesBuffer* const roots = series::buffer_of(*m_root);
        if (root >= roots->length()) invalid(root_at);
        NodeId const context = context_of_value(roots->head_cell()[root]);
        if (context == no_node) invalid(root_at);
        std::int32_t const slot = slot_in(context, name, stored);
        if (slot < 0) invalid(at);
        word = Cell { h.type, context, name, static_cast<std::uint32_t>(slot) };
    }
    word.header = h.type;
    if (!h.assignment) {
        append(into, word, h);
        return;
    }
    std::uint32_t const before = series::buffer_of(into)->length();
    std::size_t const value_at = m_position;
    decode(into);
    if (series::buffer_of(into)->length() != before + 1) invalid(value_at); // the value is one record
    Rooted value(*block::rs_abs_at(into, before));
    block::rs_set_tail_at(into, before);
    word::set(word, *value);
}

void Reader::decode_word(Header const& h, Cell const& into)
{
    if (m_compact && m_mode == Mode::Boot) {
        decode_boot_word(h, into);
        return;
    }
    std::size_t const at = m_position;
    SymbolId const name = symbol();
    bool const bound = m_compact ? h.flag : (h.word & (1u << 25)) == 0;
    std::int32_t slot = -1;
    if (!m_compact) slot = signed_field();
    if (!bound) {
        Cell global = global_word(name);
        global.header = h.type;
        append(into, global, h);
        return;
    }
    if (m_compact) slot = sv();
    NodeId context = no_node;
    if (h.reference) {
        std::size_t const path_at = m_position;
        context = context_of_value(resolve(path(), path_at));
        if (context == no_node) invalid(path_at);
        TypeId const owner = cell::type_of(context::owner_of(context));
        if (owner != type_ids::object && owner != type_ids::function) invalid(path_at);
    } else {
        std::size_t const owner_at = m_position;
        Header owner {};
        owner.start = owner_at;
        if (m_compact) {
            std::uint8_t const lead = byte();
            owner.type = static_cast<TypeId>(lead & 0x3F);
            owner.flag = (lead & 0x40) != 0;
        } else {
            owner.word = u32();
            owner.type = static_cast<TypeId>(owner.word & 0xFF);
            owner.reference = (owner.word & (1u << 19)) != 0;
            if (owner.reference) invalid(owner_at);
        }
        if (++m_depth > max_depth) invalid(owner_at);
        if (owner.type != type_ids::object && owner.type != type_ids::function) invalid(owner_at);
        Cell const made
            = owner.type == type_ids::object ? decode_owner(owner, nullptr) : decode_function(owner, nullptr);
        --m_depth;
        context = made.word1;
    }
    slot = slot_in(context, name, slot);
    if (slot < 0) invalid(at);
    append(into, Cell { h.type, context, name, static_cast<std::uint32_t>(slot) }, h);
}

void Reader::decode_native(Header const& h, Cell const& into)
{
    std::size_t const at = m_position;
    std::uint32_t const index = count();
    Rooted spec_holder(unset_value);
    block::make_at(*spec_holder, 1);
    std::size_t const spec_at = m_position;
    decode(*spec_holder);
    Cell const spec = block::rs_head(*spec_holder)[0];
    if (cell::type_of(spec) != type_ids::block) invalid(spec_at);
    if (!native::loadable_q(h.type, static_cast<std::int32_t>(index), spec)) invalid(at);
    Rooted kept(spec);
    append(into, native::make_value(h.type, *kept, static_cast<std::int32_t>(index), true), h);
}

void Reader::decode_op(Header const& h, Cell const& into)
{
    Rooted wrapped_holder(unset_value);
    block::make_at(*wrapped_holder, 1);
    std::size_t const at = m_position;
    decode(*wrapped_holder);
    Rooted wrapped(block::rs_head(*wrapped_holder)[0]);
    TypeId const type = cell::type_of(*wrapped);
    if (type != type_ids::native && type != type_ids::action && type != type_ids::function) invalid(at);
    if (!m_compact && ((h.word >> 16) & 0xFF) != type) invalid(h.start);
    Cell const spec = cell::make(type_ids::block, 0, wrapped->word2, 0);
    if (!op::valid_spec_q(spec)) invalid(at);
    wrapped->header &= ~cell::new_line_flag;
    append(into, op::make(none_value, *wrapped, type_ids::op), h);
}

void Reader::decode_error(Header const& h, Cell const& into)
{
    std::size_t const at = m_position;
    std::uint32_t const code = count();
    Rooted made(error::from_code(static_cast<std::int32_t>(code)));
    if (cell::type_of(*made) != type_ids::error) invalid(at);
    append(into, *made, h);
    Rooted fields(unset_value);
    block::make_at(*fields, 6);
    for (std::uint32_t i = 0; i < 6; ++i) decode(*fields);
    for (std::uint32_t i = 0; i < 6; ++i) {
        Cell value = block::rs_head(*fields)[i];
        auto const field = static_cast<error::Field>(static_cast<std::uint32_t>(error::Field::arg1) + i);
        // A call trace is a block once captured; a raw frame position means nothing in another run.
        if (field == error::Field::stack && cell::type_of(value) != type_ids::block) value = none_value;
        *error::field(*made, field) = value;
    }
}

}

void load(std::span<std::uint8_t const> data, Cell const& destination, Mode mode, Cell const* subject)
{
    Reader reader(data, mode, subject);
    reader.run(destination);
}

void load_boot(std::span<std::uint8_t const> image, Cell const& destination, std::span<std::uint32_t const> name_hashes)
{
    struct CollectorOff {
        bool saved = gc::state.enabled;
        CollectorOff() { gc::state.enabled = false; }
        ~CollectorOff() { gc::state.enabled = saved; }
    } const off;
    Reader reader(image, Mode::Boot, nullptr);
    reader.set_name_hashes(name_hashes);
    reader.run(destination);
}

}
