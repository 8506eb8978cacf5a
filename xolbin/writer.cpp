// The XOLBIN writers of both forms: one walk over the value, the record layouts chosen by the form.
//
// Positions: a running counter holds the position of the next value at the current level; entering a
// series, object, function or error saves it on the path stack and restarts it at 0. A node (series or
// context) met the first time is stored with the path that leads to it; met again, it is written as a
// reference carrying that path, which the reader walks from the root block to the same value.

#include <cmath>
#include <cstring>
#include <unordered_map>

#include "datatypes/bitset.h"
#include "datatypes/context.h"
#include "datatypes/date.h"
#include "datatypes/error.h"
#include "datatypes/function.h"
#include "datatypes/image.h"
#include "datatypes/map.h"
#include "datatypes/money.h"
#include "datatypes/native.h"
#include "datatypes/object.h"
#include "datatypes/op.h"
#include "datatypes/symbol.h"
#include "datatypes/tuple.h"
#include "datatypes/vector.h"
#include "datatypes/word.h"
#include "runtime/assert.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/type_families.h"
#include "xolbin/xolbin.h"

namespace xol::xolbin {

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t magic[6] = { 'X', 'O', 'L', 'B', 'I', 'N' };

// Header bits of fixed-width records.
namespace fixed_bit {
constexpr std::uint32_t reference = 1u << 19;
constexpr std::uint32_t negative = 1u << 22;
constexpr std::uint32_t negated = 1u << 23;
constexpr std::uint32_t events = 1u << 24;
constexpr std::uint32_t global = 1u << 25;
constexpr std::uint32_t self = 1u << 28;
constexpr std::uint32_t on_stack = 1u << 29;
constexpr std::uint32_t values = 1u << 30;
constexpr std::uint32_t new_line = 1u << 31;
}

constexpr std::uint8_t compact_f = 0x40;

class Writer {
public:
    explicit Writer(Form form)
        : m_compact(form == Form::Compact)
    {
    }

    Bytes finish(Cell const& value);

private:
    // ---- Fields.
    void byte(std::uint32_t value) { m_records.push_back(static_cast<std::uint8_t>(value)); }
    void u32(std::uint32_t value)
    {
        for (int shift = 0; shift < 32; shift += 8) byte(value >> shift);
    }
    static void varint(Bytes& out, std::uint32_t value)
    {
        while (value >= 0x80) {
            out.push_back(static_cast<std::uint8_t>(value | 0x80));
            value >>= 7;
        }
        out.push_back(static_cast<std::uint8_t>(value));
    }
    void uv(std::uint32_t value) { varint(m_records, value); }
    void sv(std::int32_t value)
    {
        auto const bits = static_cast<std::uint32_t>(value);
        uv((bits << 1) ^ (value < 0 ? 0xFFFFFFFFu : 0u));
    }
    // A count or index: uv in the compact form, a word in the fixed one.
    void count(std::uint32_t value) { m_compact ? uv(value) : u32(value); }
    void signed_field(std::int32_t value) { m_compact ? sv(value) : u32(static_cast<std::uint32_t>(value)); }
    void raw(void const* data, std::size_t size)
    {
        auto const* bytes = static_cast<std::uint8_t const*>(data);
        m_records.insert(m_records.end(), bytes, bytes + size);
    }
    void pad_to(std::size_t multiple)
    {
        while (m_records.size() % multiple != 0) byte(0);
    }
    // A compact type byte: the id, F, and the escape for ids from 63.
    void type_byte(TypeId type, bool flag)
    {
        if (type < 63) {
            byte(type | (flag ? compact_f : 0u));
        } else {
            byte(0x3Fu | (flag ? compact_f : 0u));
            uv(type);
        }
    }

    std::uint32_t symbol_index(SymbolId);

    // ---- Positions and references.
    void enter() // a container begins: its values count from 0
    {
        m_path.push_back(m_counter);
        m_counter = 0;
    }
    void leave()
    {
        m_counter = m_path.back();
        m_path.pop_back();
    }
    std::vector<std::uint32_t> const* stored(NodeId node) const
    {
        auto const found = m_nodes.find(node);
        return found == m_nodes.end() ? nullptr : &found->second;
    }
    void remember(NodeId node) // after enter(): the path ends with this value's own position
    {
        m_nodes.emplace(node, m_path);
    }
    void path_fields(std::vector<std::uint32_t> const& path)
    {
        if (m_compact) {
            uv(static_cast<std::uint32_t>(path.size()));
            for (std::uint32_t position : path) uv(position);
        } else {
            u32(255);
            u32(static_cast<std::uint32_t>(path.size()));
            for (std::uint32_t position : path) u32(position);
        }
    }

    // ---- Records.
    void value(Cell const&); // one record and one position
    void record(Cell const&); // one record, the position left to the caller
    void refuse(Cell const& value) { fire_error(err::access::no_codec, &value); }
    void scalar_float(Cell const&, TypeId type, std::uint32_t header);
    void series(Cell const&, TypeId type, std::uint32_t header, bool new_line);
    void series_body(Cell const&, TypeId type);
    void context_record(NodeId context);
    void object_body(Cell const& object, std::uint32_t header, bool new_line);
    void function_body(Cell const& function, std::uint32_t header, bool new_line);
    void word(Cell const&, TypeId type, std::uint32_t header, bool new_line);
    void native(Cell const&, TypeId type, std::uint32_t header);
    void image_record(Cell const&, std::uint32_t header, bool new_line);
    // The fixed header word of a record, or the compact prefix and type byte.
    void head(TypeId type, std::uint32_t fixed_header, bool compact_flag, bool new_line, bool reference = false)
    {
        if (m_compact) {
            if (new_line) byte(0xC0);
            if (reference) byte(0xC1);
            type_byte(type, compact_flag);
        } else {
            u32(fixed_header | type | (new_line ? fixed_bit::new_line : 0) | (reference ? fixed_bit::reference : 0));
        }
    }

    bool m_compact;
    Bytes m_records;
    std::vector<SymbolId> m_symbols;
    std::unordered_map<SymbolId, std::uint32_t> m_symbol_index;
    std::vector<std::uint32_t> m_path;
    std::uint32_t m_counter = 0;
    std::uint32_t m_depth = 0;
    std::unordered_map<NodeId, std::vector<std::uint32_t>> m_nodes;
};

std::string_view name_of(SymbolId id)
{
    SeriesBuffer* buffer = node::buffer(symbol::cell_of(id).word3);
    return { reinterpret_cast<char const*>(buffer->head_address()), buffer->tail - buffer->head };
}

std::uint32_t Writer::symbol_index(SymbolId id)
{
    auto const [entry, added] = m_symbol_index.emplace(id, static_cast<std::uint32_t>(m_symbols.size()));
    if (added) m_symbols.push_back(id);
    return entry->second;
}

void Writer::value(Cell const& cell)
{
    record(cell);
    ++m_counter;
}

// A word's context as the writer sees it: the global context (no_node) unless the word is bound to the
// context of an object! or function!. Words of any other context are written as global words: the reader
// binds them by name there.
NodeId owning_context(Cell const& word)
{
    NodeId const context = word::context_of(word);
    if (context == no_node || context == context::global()) return no_node;
    TypeId const owner = cell::type_of(context::owner_of(context));
    return owner == type_ids::object || owner == type_ids::function ? context : no_node;
}

void Writer::record(Cell const& cell)
{
    if (++m_depth > max_depth) fire_error(err::internal::too_deep);
    TypeId const type = cell::type_of(cell);
    bool const new_line = cell::has_new_line(cell);
    std::uint32_t const nl = new_line ? fixed_bit::new_line : 0;
    switch (type) {
    case type_ids::unset:
    case type_ids::none:
        head(type, 0, false, new_line);
        break;
    case type_ids::datatype:
        head(type, 0, false, new_line);
        count(cell.word1 & 0xFF);
        break;
    case type_ids::logic:
        if (m_compact) {
            if (new_line) byte(0xC0);
            byte(cell.word1 != 0 ? 0xC2 : 0xC3);
        } else {
            u32(type | nl);
            u32(cell.word1 != 0 ? 1 : 0);
        }
        break;
    case type_ids::integer: {
        auto const number = static_cast<std::int32_t>(cell.word2);
        if (m_compact && number >= 0 && number <= 63) {
            if (new_line) byte(0xC0);
            byte(0x80u + static_cast<std::uint32_t>(number));
        } else {
            head(type, 0, false, new_line);
            signed_field(number);
        }
        break;
    }
    case type_ids::char_:
        head(type, 0, false, new_line);
        count(cell.word2);
        break;
    case type_ids::float_:
    case type_ids::percent:
    case type_ids::time:
        scalar_float(cell, type, nl);
        break;
    case type_ids::typeset: {
        std::uint8_t bytes[12];
        std::memcpy(bytes, &cell.word1, sizeof bytes);
        head(type, 0, false, new_line);
        if (m_compact) {
            std::uint32_t n = 12;
            while (n > 0 && bytes[n - 1] == 0) --n;
            byte(n);
            raw(bytes, n);
        } else {
            raw(bytes, sizeof bytes);
        }
        break;
    }
    case type_ids::pair:
        head(type, 0, false, new_line);
        signed_field(static_cast<std::int32_t>(cell.word2));
        signed_field(static_cast<std::int32_t>(cell.word3));
        break;
    case type_ids::tuple: {
        // Fixed: the count in header bits 8-15, then all 12 bytes. Compact: F and a count byte unless the
        // count is 3, then the components.
        std::uint32_t const n = tuple::count(cell);
        tuple::Bytes const components = tuple::bytes(cell);
        head(type, n << 8, n != 3, new_line);
        if (m_compact) {
            if (n != 3) byte(n);
            raw(components.at, n);
        } else {
            raw(components.at, tuple::most);
        }
        break;
    }
    case type_ids::date: {
        // The time halves follow only with the time flag in the compact form; the fixed form always has
        // them, high half first.
        bool const time = date::has_time(date::packed(cell));
        head(type, 0, time, new_line);
        u32(date::packed(cell));
        if (m_compact) {
            if (time) {
                u32(cell.word2);
                u32(cell.word3);
            }
        } else {
            u32(cell.word3);
            u32(cell.word2);
        }
        break;
    }
    case type_ids::money: {
        bool const negative = money::negative_bit(cell);
        head(type, negative ? fixed_bit::negative : 0, negative, new_line);
        byte(money::currency_of(cell));
        money::DigitBytes const digits = money::digit_bytes_of(cell);
        raw(digits.data(), digits.size());
        break;
    }
    case type_ids::point2d:
    case type_ids::point3d:
        head(type, 0, false, new_line);
        u32(cell.word1);
        u32(cell.word2);
        if (type == type_ids::point3d) u32(cell.word3);
        break;
    case type_ids::issue:
        head(type, 0, false, new_line);
        count(symbol_index(cell.word2));
        break;
    case type_ids::native:
    case type_ids::action:
        native(cell, type, nl);
        break;
    case type_ids::op: {
        TypeId const wrapped = op::wrapped_type(cell);
        if (wrapped == type_ids::routine) refuse(cell);
        head(type, static_cast<std::uint32_t>(wrapped) << 16, false, new_line);
        Cell inner = cell;
        inner.header = wrapped;
        if (wrapped == type_ids::function) inner = function::record_cell(cell, function::op_value_cell);
        cell::clear_new_line(inner);
        record(inner); // the op! and the value it wraps take one position
        break;
    }
    case type_ids::error: {
        head(type, 0, false, new_line);
        count(static_cast<std::uint32_t>(cell::integer_payload(*error::field(cell, error::Field::code))));
        // Error contexts are not stored as references: their fields count as one level of positions.
        enter();
        for (auto field = static_cast<std::uint32_t>(error::Field::arg1);
             field <= static_cast<std::uint32_t>(error::Field::stack); ++field)
            value(*context::values_at(object::context_of(cell), field));
        leave();
        break;
    }
    case type_ids::object:
        object_body(cell, nl, new_line);
        break;
    case type_ids::function:
        function_body(cell, nl, new_line);
        break;
    default:
        if (type_ids::is_bindable(type)) {
            word(cell, type, nl, new_line);
        } else if (type_ids::is_any_block(type) || type_ids::is_text(type) || type == type_ids::bitset
            || type == type_ids::map || type == type_ids::binary || type == type_ids::vector) {
            series(cell, type, nl, new_line);
        } else if (type == type_ids::image) {
            image_record(cell, nl, new_line);
        } else {
            refuse(cell); // routine!, triple!, handle!, port!, event!, context!, symbol!
        }
    }
    --m_depth;
}

void Writer::scalar_float(Cell const& cell, TypeId type, std::uint32_t nl)
{
    double const number = cell::float_payload(cell);
    bool const minus_zero = number == 0.0 && std::signbit(number);
    if (m_compact) {
        bool integral = false;
        std::int32_t as_integer = 0;
        if (type == type_ids::percent) {
            if (number >= -21474836.0 && number <= 21474836.0 && !minus_zero) {
                double const hundredths = number >= 0 ? number * 100.0 + 0.5 : number * 100.0 - 0.5;
                as_integer = static_cast<std::int32_t>(hundredths);
                integral = as_integer / 100.0 == number;
            }
        } else if (number >= -2147483000.0 && number <= 2147483000.0 && !minus_zero) {
            as_integer = static_cast<std::int32_t>(number);
            integral = as_integer == number;
        }
        if (nl) byte(0xC0);
        type_byte(type, integral);
        if (integral) {
            sv(as_integer);
        } else {
            u32(cell.word2);
            u32(cell.word3);
        }
        return;
    }
    pad_to(8); // padding words (type 0) put the double on an 8-byte boundary of the records
    u32(type | nl);
    u32(cell.word3); // high half first
    u32(cell.word2);
}

void Writer::native(Cell const& cell, TypeId type, std::uint32_t nl)
{
    head(type, 0, false, nl != 0);
    count(static_cast<std::uint32_t>(native::index_of(cell)));
    // The spec counts in the native's own position: its cells are the positions below it. It is not stored
    // as a reference, since its path leads to the native, not to a block.
    enter();
    Cell const spec = cell::make(type_ids::block, 0, cell.word2, 0);
    if (m_compact) {
        type_byte(type_ids::block, false);
    } else {
        u32(type_ids::block);
        u32(0);
    }
    series_body(spec, type_ids::block);
    leave();
}

void Writer::series(Cell const& cell, TypeId type, std::uint32_t nl, bool new_line)
{
    NodeId const node = cell.word2;
    std::uint32_t const index = cell.word1;
    // A bitset! and a map! have no head index; a bitset's F is its complement flag.
    bool const indexed = type != type_ids::bitset && type != type_ids::map;
    bool const flag = type == type_ids::bitset ? bitset::complemented_q(cell) : indexed && index != 0;
    std::uint32_t fixed_header = nl;
    if (type == type_ids::bitset && flag) fixed_header |= fixed_bit::negated;
    if (type_ids::is_text(type) || type == type_ids::binary || type == type_ids::vector)
        fixed_header |= node::buffer(node)->unit() << 8;
    if (auto const* path = stored(node)) {
        head(type, fixed_header, flag, new_line, true);
        if (indexed && (flag || !m_compact)) count(index);
        path_fields(*path);
        return;
    }
    head(type, fixed_header, flag, new_line);
    if (indexed && (flag || !m_compact)) count(index);
    enter();
    remember(node);
    series_body(cell, type);
    leave();
}

// The contents of a series from its first unit.
void Writer::series_body(Cell const& cell, TypeId type)
{
    NodeId const node = cell.word2;
    SeriesBuffer* buffer = node::buffer(node);
    std::uint32_t const length = buffer->length();
    if (type_ids::is_any_block(type)) {
        count(length);
        for (std::uint32_t i = 0; i < length; ++i) value(node::buffer(node)->head_cell()[i]);
        return;
    }
    if (type == type_ids::map) {
        // The live pairs only: a removed pair keeps its key in the block with a value cell of header 0.
        std::uint32_t live = 0;
        for (std::uint32_t i = 0; i + 1 < length; i += 2) live += buffer->head_cell()[i + 1].header != 0 ? 1u : 0u;
        count(2 * live);
        for (std::uint32_t i = 0; i + 1 < length; i += 2) {
            if (node::buffer(node)->head_cell()[i + 1].header == 0) continue;
            value(node::buffer(node)->head_cell()[i]);
            value(node::buffer(node)->head_cell()[i + 1]);
        }
        return;
    }
    std::uint32_t const bytes = buffer->tail - buffer->head;
    if (type == type_ids::vector) {
        // The element type with the width: a byte in the compact form (unit code in bits 0-1), a word in the
        // fixed one (the width is in the header).
        std::uint32_t const unit = buffer->unit();
        std::uint32_t const code = unit == 1 ? 0 : unit == 2 ? 1 : unit == 4 ? 2 : 3;
        if (m_compact) {
            byte(static_cast<std::uint32_t>(vector::element_type(cell)) << 2 | code);
            uv(length);
        } else {
            u32(length);
            u32(vector::element_type(cell));
        }
    } else if (type_ids::is_text(type)) {
        if (m_compact) {
            std::uint32_t const code = buffer->unit() == 1 ? 0 : buffer->unit() == 2 ? 1 : 2;
            uv(length << 2 | code);
        } else {
            u32(length);
        }
    } else {
        count(bytes); // binary!, bitset!
    }
    raw(buffer->head_address(), bytes);
    if (!m_compact) pad_to(4);
}

// An image!: head index, size and its pixels as 32-bit words. Images sharing pixels share one record node,
// so a second one is a reference; an image without pixels has no node and is always written whole.
void Writer::image_record(Cell const& cell, std::uint32_t nl, bool new_line)
{
    NodeId const node = cell.word2;
    std::uint32_t const index = cell.word1;
    bool const flag = index != 0;
    if (auto const* path = node != no_node ? stored(node) : nullptr) {
        head(type_ids::image, nl, flag, new_line, true);
        if (flag || !m_compact) count(index);
        path_fields(*path);
        return;
    }
    head(type_ids::image, nl, flag, new_line);
    if (flag || !m_compact) count(index);
    enter();
    if (node != no_node) remember(node);
    if (m_compact) {
        uv(image::width(cell));
        uv(image::height(cell));
    } else {
        u32(cell.word3);
    }
    if (pixel_store::PixelStore const* store = image::store_of(cell)) {
        std::uint64_t const pixels = pixel_store::pixel_count(*store);
        for (std::uint64_t i = 0; i < pixels; ++i) u32(store->pixels[i]);
    }
    leave();
}

void Writer::context_record(NodeId context)
{
    Cell const& head_cell = context::cell_of(context);
    bool const on_stack = context::is_on_stack(context);
    bool const self = (head_cell.header & context::has_self) != 0;
    auto const kind = static_cast<std::uint32_t>(context::kind_of(context));
    std::uint32_t const words = context::word_count(context);
    bool has_values = false;
    if (!on_stack && context::has_values(context))
        for (std::uint32_t i = 0; i < words && !has_values; ++i)
            has_values = cell::type_of(*context::values_at(context, i)) != type_ids::unset;
    if (m_compact) {
        type_byte(type_ids::context, false);
        byte(kind | (on_stack ? 4u : 0u) | (self ? 8u : 0u) | (has_values ? 16u : 0u));
    } else {
        u32(type_ids::context | kind << 26 | (self ? fixed_bit::self : 0) | (on_stack ? fixed_bit::on_stack : 0)
            | (has_values ? fixed_bit::values : 0));
    }
    count(words);
    for (std::uint32_t i = 0; i < words; ++i) count(symbol_index(context::word_at(context, i)->word2));
    if (has_values)
        for (std::uint32_t i = 0; i < words; ++i) value(*context::values_at(context, i));
}

// An object! record. With `new_line` false and `header` 0 it is also the owner written inside a word,
// whose position the word has already entered.
void Writer::object_body(Cell const& cell, std::uint32_t nl, bool new_line)
{
    NodeId const context = object::context_of(cell);
    if (context == context::global()) refuse(cell);
    if (auto const* path = stored(context)) {
        head(type_ids::object, nl, false, new_line, true);
        path_fields(*path);
        return;
    }
    enter();
    remember(context);
    NodeId const events = object::events_of(cell);
    head(type_ids::object, nl | (events != no_node ? fixed_bit::events : 0), events != no_node, new_line);
    signed_field(-1); // class ids belong to one run: the reader gives each object a new one
    if (events != no_node) {
        for (std::uint32_t i = 0; i < 2; ++i) {
            std::uint32_t const slot = node::buffer(events)->head_cell()[i].word2 >> 16;
            signed_field(slot == 0xFFFF ? -1 : static_cast<std::int32_t>(slot));
        }
    }
    context_record(context);
    leave();
}

void Writer::function_body(Cell const& cell, std::uint32_t nl, bool new_line)
{
    NodeId const context = function::context_of(cell);
    if (auto const* path = stored(context)) {
        head(type_ids::function, nl, false, new_line, true);
        path_fields(*path);
        return;
    }
    enter();
    remember(context);
    head(type_ids::function, nl, false, new_line);
    Cell const spec = function::spec_block(cell);
    Cell const body = function::record_cell(cell, function::body_cell);
    if (cell::type_of(body) != type_ids::block) refuse(cell); // a function without a body block
    count(node::buffer(spec.word2)->length());
    count(node::buffer(body.word2)->length());
    context_record(context);
    value(spec);
    Cell whole_body = body;
    whole_body.word1 = 0;
    value(whole_body);
    leave();
}

void Writer::word(Cell const& cell, TypeId type, std::uint32_t nl, bool new_line)
{
    NodeId const context = owning_context(cell);
    std::uint32_t const symbol = symbol_index(cell.word2);
    if (context == no_node) {
        head(type, nl | fixed_bit::global, false, new_line);
        count(symbol);
        if (!m_compact) u32(word::unresolved);
        return;
    }
    std::int32_t slot = word::index_of(cell);
    if (cell.word3 == word::unresolved || static_cast<std::uint32_t>(slot) >= context::word_count(context))
        slot = context::find_word(context, cell.word2, true);
    auto const* path = stored(context);
    head(type, nl, true, new_line, path != nullptr);
    count(symbol);
    signed_field(slot);
    if (path) {
        path_fields(*path);
        return;
    }
    Cell const owner = context::owner_of(context);
    if (cell::type_of(owner) == type_ids::object)
        object_body(owner, 0, false);
    else
        function_body(owner, 0, false);
}

Bytes Writer::finish(Cell const& root)
{
    [[maybe_unused]] std::uint64_t const epoch = memory::epoch();
    value(root);
    XOL_ASSERT(memory::epoch() == epoch, "a save allocated on the collector's heap");
    Bytes out(magic, magic + 6);
    out.push_back(written_version);
    bool const symbols = !m_symbols.empty();
    Bytes strings;
    std::vector<std::uint32_t> offsets;
    for (SymbolId id : m_symbols) {
        offsets.push_back(static_cast<std::uint32_t>(strings.size()));
        std::string_view const name = name_of(id);
        strings.insert(strings.end(), name.begin(), name.end());
        strings.push_back(0);
        if (!m_compact)
            while (strings.size() % 8 != 0) strings.push_back(0);
    }
    auto const word = [&out](std::uint32_t value) {
        for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
    };
    auto const field = [&](std::uint32_t value) { m_compact ? varint(out, value) : word(value); };
    out.push_back(static_cast<std::uint8_t>((m_compact ? flag_compact : 0) | (symbols ? flag_symbols : 0)));
    field(1);
    field(static_cast<std::uint32_t>(m_records.size()));
    if (symbols) {
        field(static_cast<std::uint32_t>(m_symbols.size()));
        field(static_cast<std::uint32_t>(strings.size()));
        for (std::uint32_t offset : offsets) word(offset);
        out.insert(out.end(), strings.begin(), strings.end());
    }
    out.insert(out.end(), m_records.begin(), m_records.end());
    return out;
}

}

std::vector<std::uint8_t> save(Cell const& value, Form form)
{
    Writer writer(form);
    return writer.finish(value);
}

}
