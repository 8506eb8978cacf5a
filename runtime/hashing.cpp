// Hashing for the runtime hash tables: MurmurHash3 of bytes, and the hash of every kind of key cell.
// Keys that are equal must hash alike: text hashes through the same case fold as its case-blind
// equality, words through their canonical symbol, and the few payloads that carry bits equality ignores
// (the sign of a zero) are normalised first.

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "runtime/hashtable.h"
#include "runtime/int_map.h"
#include "runtime/memory.h"
#include "runtime/type_families.h"
#include "runtime/unicode.h"

namespace xol {

namespace hash {

namespace {

constexpr std::uint32_t seed = 0x9747B28C;

// The block mixing of MurmurHash3, fed one 32-bit block at a time so that callers can transform the
// input on the way (lowered names) without a scratch copy.
class Murmur3 {
public:
    explicit Murmur3(std::uint32_t start)
        : m_hash(start)
    {
    }
    void block(std::uint32_t k)
    {
        m_hash ^= scramble(k);
        m_hash = std::rotl(m_hash, 13);
        m_hash = m_hash * 5 + 0xE6546B64u;
    }
    void tail(std::uint32_t k) { m_hash ^= scramble(k); } // the last 1-3 bytes, little-endian
    std::uint32_t finish(std::uint32_t length) { return mix32(m_hash ^ length); }

private:
    static std::uint32_t scramble(std::uint32_t k)
    {
        k *= 0xCC9E2D51u;
        k = std::rotl(k, 15);
        return k * 0x1B873593u;
    }
    std::uint32_t m_hash;
};

template <typename Transform>
std::uint32_t bytes_hash(std::uint8_t const* bytes, std::uint32_t length, std::uint32_t start, Transform transform)
{
    Murmur3 murmur(start);
    std::uint32_t const whole = length & ~3u;
    for (std::uint32_t i = 0; i < whole; i += 4)
        murmur.block(std::uint32_t { transform(bytes[i]) } | std::uint32_t { transform(bytes[i + 1]) } << 8
            | std::uint32_t { transform(bytes[i + 2]) } << 16 | std::uint32_t { transform(bytes[i + 3]) } << 24);
    std::uint32_t rest = 0;
    for (std::uint32_t i = length; i > whole; --i) rest = rest << 8 | transform(bytes[i - 1]);
    if (length & 3) murmur.tail(rest);
    return murmur.finish(length);
}

}

std::uint32_t murmur3(void const* bytes, std::uint32_t length, std::uint32_t start)
{
    return bytes_hash(static_cast<std::uint8_t const*>(bytes), length, start, [](std::uint8_t byte) { return byte; });
}

std::uint32_t string(void const* bytes, std::uint32_t length)
{
    return murmur3(bytes, length, seed);
}

std::uint32_t lowered_name(void const* bytes, std::uint32_t length)
{
    return bytes_hash(
        static_cast<std::uint8_t const*>(bytes), length, seed, [](std::uint8_t byte) { return lower_ascii(byte); });
}

}

namespace hashtable {

std::uint32_t symbol_name_hash(NodeId name)
{
    SeriesBuffer* buffer = node::buffer(name);
    return hash::lowered_name(buffer->head_address(), buffer->tail - buffer->head);
}

namespace {

constexpr std::uint32_t money_sign = 0x4000;
constexpr std::uint32_t tuple_length_shift = 19;
constexpr std::uint32_t date_time_flag = 0x10000;

// The hash is of the code points (folded unless `case_sensitive`), so a text hashes alike whatever the width
// it is stored in; one loop per unit width reads the units directly. The code points go in runs of eight: a
// run whose eight (folded) values all fit a byte is one 64-bit word and one multiply into the state, any
// other run and the last few code points one multiply each. Which way a run goes depends on its code points
// only, never on the width. After a run's multiply the state turns its high bits, where the products gather,
// to the low end that the next multiply spreads upwards; the final mix spreads the bits over those that
// pick a bucket.
constexpr std::uint64_t text_multiplier = 0x9E3779B97F4A7C15u;
constexpr std::uint32_t run_length = 8;
constexpr std::uint64_t byte_ones = 0x0101010101010101u;

inline void mix_run(std::uint64_t& state, std::uint64_t run)
{
    state = std::rotl((state ^ run) * text_multiplier, 31);
}

inline void mix_code_point(std::uint64_t& state, std::uint32_t code_point)
{
    state = (state ^ code_point) * text_multiplier;
}

inline std::uint32_t fold(std::uint32_t code_point, bool case_sensitive)
{
    return case_sensitive ? code_point : unicode::change_case(code_point, unicode::Case::Upper);
}

template <typename Unit> std::uint32_t units_hash(std::byte const* at, std::uint32_t count, bool case_sensitive)
{
    auto const* units = reinterpret_cast<Unit const*>(at);
    std::uint64_t state = hash::seed ^ std::uint64_t { count } << 32;
    std::uint32_t i = 0;
    for (; i + run_length <= count; i += run_length) {
        if constexpr (sizeof(Unit) == 1) {
            std::uint64_t word;
            std::memcpy(&word, units + i, sizeof word);
            if ((word & byte_ones * 0x80) == 0) {
                // ASCII, whose fold is a-z to A-Z: a byte below 0x80 plus 0x1F reaches bit 7 from 'a' up,
                // plus 0x05 from '{' up, and neither carries into the next byte.
                if (!case_sensitive)
                    word ^= ((word + byte_ones * 0x1F) & ~(word + byte_ones * 0x05) & byte_ones * 0x80) >> 2;
                mix_run(state, word);
                continue;
            }
        }
        std::uint32_t folded[run_length];
        std::uint32_t wide = 0;
        for (std::uint32_t k = 0; k < run_length; ++k) {
            folded[k] = fold(units[i + k], case_sensitive);
            wide |= folded[k];
        }
        if (wide < 0x100) {
            std::uint64_t word = 0;
            for (std::uint32_t k = run_length; k-- > 0;) word = word << 8 | folded[k];
            mix_run(state, word);
        } else {
            for (std::uint32_t const code_point : folded) mix_code_point(state, code_point);
        }
    }
    for (; i < count; ++i) mix_code_point(state, fold(units[i], case_sensitive));
    return hash::mix32(static_cast<std::uint32_t>(state ^ state >> 32));
}

std::uint32_t text_hash(Cell const& text, bool case_sensitive)
{
    SeriesBuffer* buffer = node::buffer(text.word2);
    std::uint32_t const unit = buffer->unit();
    std::uint32_t const length = buffer->length();
    std::uint32_t const start = std::min(text.word1, length);
    std::byte const* at = buffer->head_address() + std::uint64_t { start } * unit;
    if (unit == 1) return units_hash<std::uint8_t>(at, length - start, case_sensitive);
    if (unit == 2) return units_hash<std::uint16_t>(at, length - start, case_sensitive);
    return units_hash<std::uint32_t>(at, length - start, case_sensitive);
}

std::uint32_t words_hash(std::uint32_t const* first, std::uint32_t count)
{
    return hash::string(first, count * 4);
}

// -0.0 equals 0.0: both hash as 0.0.
std::uint32_t double_hash(Cell const& key)
{
    Cell normal = key;
    if (cell::float_payload(key) == 0.0) cell::set_float_payload(normal, 0.0);
    return words_hash(&normal.word2, 2);
}

// The header keeps the type and the sign; a zero amount is the same key whatever its sign bit says.
std::uint32_t money_hash(Cell const& key)
{
    Cell normal = key;
    normal.header = key.header & (cell::type_mask | money_sign);
    auto const* bytes = reinterpret_cast<std::uint8_t const*>(&normal);
    bool const zero = std::all_of(bytes + 5, bytes + 16, [](std::uint8_t byte) { return byte == 0; });
    if (zero) normal.header &= ~money_sign;
    return hash::string(&normal, sizeof normal);
}

// A date is one key with every date of the same instant, whatever its zone, and a date without a time is
// its midnight, as date! compares them: the hash is of the whole seconds of the instant, counted from the
// local date's day number (bits 17-31 the year, 12-15 the month, 7-11 the day, 16 the time flag) and the
// seconds in words 2-3, which are the local time less the zone's offset.
std::uint32_t date_hash(Cell const& key)
{
    auto const floor_div = [](std::int64_t a, std::int64_t b) { return a / b - (a % b < 0 ? 1 : 0); };
    std::int64_t const year = static_cast<std::int32_t>(key.word1) >> 17;
    std::int64_t const month = (key.word1 >> 12) & 0xF;
    std::int64_t const day = (key.word1 >> 7) & 0x1F;
    std::int64_t const from_march = (month + 9) % 12;
    std::int64_t const y = year - from_march / 10;
    std::int64_t const days
        = 365 * y + floor_div(y, 4) - floor_div(y, 100) + floor_div(y, 400) + (from_march * 306 + 5) / 10 + day - 1;
    double const seconds = (key.word1 & date_time_flag) != 0 ? cell::float_payload(key) : 0.0;
    std::int64_t const whole = std::isfinite(seconds) ? static_cast<std::int64_t>(std::floor(seconds)) : 0;
    auto const instant = static_cast<std::uint64_t>(days * 86'400 + whole);
    std::uint32_t const words[2] = { static_cast<std::uint32_t>(instant), static_cast<std::uint32_t>(instant >> 32) };
    return words_hash(words, 2);
}

std::uint32_t tuple_hash(Cell const& key)
{
    std::uint32_t const length = std::min((key.header >> tuple_length_shift) & 0xFu, 12u);
    return hash::string(&key.word1, length);
}

std::uint32_t binary_hash(Cell const& key)
{
    SeriesBuffer* buffer = node::buffer(key.word2);
    std::uint32_t const length = buffer->tail - buffer->head;
    std::uint32_t const start = std::min(key.word1, length);
    return hash::string(buffer->head_address() + start, length - start);
}

}

namespace {

// How each datatype's key hashes, by type id: one entry per datatype.
enum class KeyHash : std::uint8_t {
    Zero, // types that are never keys
    Unset,
    None,
    Word1, // mix32 of payload word 1
    Word2, // mix32 of payload word 2
    Word3, // mix32 of payload word 3
    Symbol, // mix32 of the canonical symbol in word 2: every spelling of a word is one key
    Name, // the symbol's own name, lowered
    Text, // the characters from the index, folded
    Words12, // the bytes of payload words 1-2
    Words23,
    Words123,
    Double, // a double in words 2-3, -0.0 taken as 0.0
    Tuple,
    Binary,
    Money,
    Date, // the instant: equal in every zone
};

constexpr auto key_hash_table = [] {
    std::array<KeyHash, 256> table {};
    using namespace type_ids;
    table[unset] = KeyHash::Unset;
    table[none] = KeyHash::None;
    for (TypeId id : { datatype, logic, object, error, port }) table[id] = KeyHash::Word1;
    for (TypeId id : { char_, integer, map, handle, event }) table[id] = KeyHash::Word2;
    for (TypeId id : { native, action }) table[id] = KeyHash::Word3;
    table[symbol] = KeyHash::Name;
    for (TypeId id = 1; id <= last; ++id) {
        if (is_all_word(id)) table[id] = KeyHash::Symbol;
        if (is_text(id)) table[id] = KeyHash::Text;
        // Series hash by index and node: a table finds only the same series, never an equal copy.
        if (is_any_block(id)) table[id] = KeyHash::Words12;
    }
    for (TypeId id : { image, point2d }) table[id] = KeyHash::Words12;
    table[pair] = KeyHash::Words23;
    for (TypeId id : { op, function, triple, typeset, point3d }) table[id] = KeyHash::Words123;
    for (TypeId id : { float_, percent, time }) table[id] = KeyHash::Double;
    table[tuple] = KeyHash::Tuple;
    table[binary] = KeyHash::Binary;
    table[money] = KeyHash::Money;
    table[date] = KeyHash::Date;
    return table;
}();

// The types whose hash is a node or a context: tables holding them rehash after nodes move.
constexpr auto identity_table = [] {
    std::array<bool, 256> table {};
    using namespace type_ids;
    for (TypeId id = 1; id <= last; ++id)
        if (is_any_block(id) || is_object(id)) table[id] = true;
    for (TypeId id : { native, action, op, function, map, image, event }) table[id] = true;
    return table;
}();

}

bool hashes_by_identity(TypeId type)
{
    return identity_table[type];
}

std::uint32_t hash_cell(Cell const& key, bool case_sensitive)
{
    switch (key_hash_table[cell::type_of(key)]) {
    case KeyHash::Zero:
        return 0;
    case KeyHash::Unset:
        return static_cast<std::uint32_t>(-2);
    case KeyHash::None:
        return static_cast<std::uint32_t>(-1);
    case KeyHash::Word1:
        return hash::mix32(key.word1);
    case KeyHash::Word2:
        return hash::mix32(key.word2);
    case KeyHash::Word3:
        return hash::mix32(key.word3);
    case KeyHash::Symbol:
        return hash::mix32(canonical_symbol(key.word2));
    case KeyHash::Name:
        return symbol_name_hash(key.word3);
    case KeyHash::Text:
        return text_hash(key, case_sensitive);
    case KeyHash::Words12:
        return words_hash(&key.word1, 2);
    case KeyHash::Words23:
        return words_hash(&key.word2, 2);
    case KeyHash::Words123:
        return words_hash(&key.word1, 3);
    case KeyHash::Double:
        return double_hash(key);
    case KeyHash::Tuple:
        return tuple_hash(key);
    case KeyHash::Binary:
        return binary_hash(key);
    case KeyHash::Money:
        return money_hash(key);
    case KeyHash::Date:
        return date_hash(key);
    }
    return 0;
}

}

}
