// The runtime hash tables: sizing and growth, duplicates and positions of a hash! index, map! loading and
// removal, case-blind keys, word and name indexes, node-keyed records across node relocation, copies that
// share nothing, and a randomized soak against a shadow multimap.

#include <algorithm>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "runtime/collector.h"
#include "runtime/hashtable.h"
#include "runtime/output.h"
#include "runtime/roots.h"
#include "runtime/series.h"
#include "runtime_fixture.h"

using namespace xol;
using hashtable::Kind;

namespace {

// ---- Stand-ins for the services that modules above the runtime provide.

// Symbols 100 and up are case variants of the symbol 100 below them.
SymbolId test_resolve(SymbolId symbol)
{
    return symbol >= 100 ? symbol - 100 : symbol;
}

std::uint32_t upper_ascii(std::uint32_t code_point)
{
    return code_point >= 'a' && code_point <= 'z' ? code_point - 0x20 : code_point;
}

std::string_view text_of(Cell const& text)
{
    SeriesBuffer* buffer = node::buffer(text.word2);
    auto const* start = reinterpret_cast<char const*>(buffer->head_address());
    std::uint32_t const length = buffer->length();
    std::uint32_t const index = std::min(text.word1, length);
    return { start + index, length - index };
}

// The compare actions of integer!, string! and the words, as far as equality goes.
std::int32_t test_compare(Cell const& a, Cell const& b, CompareOp op)
{
    bool const exact = op == CompareOp::StrictEqual;
    switch (cell::type_of(a)) {
    case type_ids::integer:
        return a.word2 == b.word2 ? 0 : 1;
    case type_ids::string: {
        if (op == CompareOp::Same) return a.word1 == b.word1 && a.word2 == b.word2 ? 0 : 1;
        std::string_view const x = text_of(a);
        std::string_view const y = text_of(b);
        if (x.size() != y.size()) return 1;
        for (std::size_t i = 0; i < x.size(); ++i) {
            auto cx = static_cast<std::uint32_t>(static_cast<unsigned char>(x[i]));
            auto cy = static_cast<std::uint32_t>(static_cast<unsigned char>(y[i]));
            if (!exact) {
                cx = upper_ascii(cx);
                cy = upper_ascii(cy);
            }
            if (cx != cy) return 1;
        }
        return 0;
    }
    case type_ids::word:
    case type_ids::set_word:
    case type_ids::lit_word:
    case type_ids::get_word:
        return (exact ? a.word2 == b.word2 : test_resolve(a.word2) == test_resolve(b.word2)) ? 0 : 1;
    case type_ids::block:
        return a.word1 == b.word1 && a.word2 == b.word2 ? 0 : 1;
    default:
        return 1;
    }
}

// A table lives through the hash! or map! cell that holds it: the collector marks word 3 of such a cell
// with hashtable::mark, and so keeps every array of the table.
bool collector_marks_tables()
{
    Rooted value(cell::make(type_ids::map, 0, no_node, hashtable::init(0, nullptr, Kind::Map)));
    gc::collect();
    return !node::is_free(hashtable::record(value->word3).keys);
}

struct HashtableTest : RuntimeTest {
    void SetUp() override
    {
        RuntimeTest::SetUp();
        services.canonical_symbol = test_resolve;
        services.compare_keys = test_compare;
        ASSERT_TRUE(collector_marks_tables()) << "the collector must mark a table through hashtable::mark";
    }
    void TearDown() override
    {
        app::fill_services();
        RuntimeTest::TearDown();
    }
};

Cell integer(std::uint32_t value)
{
    return cell::make(type_ids::integer, 0, value);
}
Cell word(SymbolId symbol, TypeId type = type_ids::word)
{
    return cell::make(type, 0, symbol);
}
Cell make_block(std::uint32_t capacity)
{
    return cell::make(type_ids::block, 0, series::alloc_cells(capacity));
}

Cell text(std::string_view content)
{
    NodeId const node = series::alloc_units(content.size(), 1);
    SeriesBuffer* buffer = node::buffer(node);
    std::memcpy(buffer->data(), content.data(), content.size());
    buffer->tail = static_cast<std::uint32_t>(content.size());
    return cell::make(type_ids::string, 0, node);
}

void append(Cell const& block, Cell const& value)
{
    Rooted item(value);
    Rooted target(block);
    *series::append_cell_raw(target->word2) = *item;
}

std::uint32_t length(Cell const& block)
{
    return node::buffer(block.word2)->length();
}
Cell at(Cell const& block, std::uint32_t position)
{
    return node::buffer(block.word2)->head_cell()[position];
}

// A hash! or map! value: the block in word 2 and its table in word 3, as the collector marks them.
Cell indexed(TypeId type, Cell const& block, NodeId table)
{
    return cell::make(type, 0, block.word2, table);
}

NodeId table_of(Rooted const& value)
{
    return (*value).word3;
}

// A map has no flags: its 32-bit slot of a pair number and hash bits is 0xFFFFFFFF when empty.
std::uint32_t flag_of(NodeId table, std::uint32_t bucket)
{
    hashtable::TableRecord const& record = hashtable::record(table);
    if (record.kind == Kind::Map) {
        auto const* slots = reinterpret_cast<std::uint32_t const*>(node::buffer(record.keys)->head_address());
        return slots[bucket] == 0xFFFFFFFF ? 2u : 0u;
    }
    auto const* flags = reinterpret_cast<std::uint8_t const*>(node::buffer(record.flags)->head_address());
    return (flags[bucket >> 2] >> ((bucket & 3) * 2)) & 3u;
}

std::uint32_t buckets_with(NodeId table, std::uint32_t flag)
{
    std::uint32_t found = 0;
    for (std::uint32_t bucket = 0; bucket < hashtable::record(table).bucket_count; ++bucket)
        found += flag_of(table, bucket) == flag;
    return found;
}

std::vector<std::uint32_t> index_entries(NodeId table)
{
    NodeId const index = hashtable::record(table).index;
    SeriesBuffer* buffer = node::buffer(index);
    auto const* words = reinterpret_cast<std::uint32_t const*>(buffer->head_address());
    return { words, words + (buffer->tail - buffer->head) / 4 };
}

// Every position of a hash! block is found at itself: the smallest equal key from a position is the key there.
void expect_index_right(NodeId table, Cell const& block)
{
    std::uint32_t const n = length(block);
    ASSERT_EQ(hashtable::count(table), n);
    for (std::uint32_t position = 0; position < n; ++position)
        ASSERT_EQ(
            hashtable::get(table, at(block, position), { .start = position }), static_cast<std::int32_t>(position))
            << "position " << position;
}

// A hash! over a block of integers, every cell indexed.
Cell make_hash(std::vector<std::uint32_t> const& keys, std::uint32_t size = 0)
{
    Rooted block(make_block(static_cast<std::uint32_t>(keys.size()) + 1));
    for (std::uint32_t key : keys) append(*block, integer(key));
    NodeId const table = hashtable::init(size, &*block, Kind::Hash);
    return indexed(type_ids::hash, *block, table);
}

}

TEST(Murmur3, KnownValues)
{
    struct Case {
        std::string_view bytes;
        std::uint32_t seed, hash;
    };
    Case const cases[] = {
        { "", 0, 0 },
        { "", 1, 0x514E28B7 },
        { "", 0xFFFFFFFF, 0x81F16F39 },
        { std::string_view("\0\0\0\0", 4), 0, 0x2362F9DE },
        { "a", 0x9747B28C, 0x7FA09EA6 },
        { "ab", 0x9747B28C, 0x74875592 },
        { "abc", 0x9747B28C, 0xC84A62DD },
        { "abcd", 0x9747B28C, 0xF0478627 },
        { "aaaa", 0x9747B28C, 0x5A97808A },
        { "Hello, world!", 0x9747B28C, 0x24884CBA },
        { "The quick brown fox jumps over the lazy dog", 0x9747B28C, 0x2FA826CD },
    };
    for (auto const& c : cases)
        EXPECT_EQ(hash::murmur3(c.bytes.data(), static_cast<std::uint32_t>(c.bytes.size()), c.seed), c.hash)
            << '"' << c.bytes << "\" seed " << c.seed;
}

// Buckets: the next power of two of max(size, 4) / 0.77; the bound is 0.77 of them. A symbol or word index
// asked for 4,000 keys or more is sized for twice as many.
TEST_F(HashtableTest, InitSizing)
{
    struct Case {
        std::uint32_t size;
        Kind kind;
        std::uint32_t bucket_count, upper_bound;
    };
    Case const cases[] = {
        { 0, Kind::Hash, 8, 6 },
        { 0, Kind::Map, 8, 6 },
        { 6, Kind::Symbols, 8, 6 },
        { 7, Kind::NodeKeys, 16, 12 },
        { 100, Kind::Ownership, 256, 197 },
        { 3999, Kind::Symbols, 8192, 6307 },
        { 4000, Kind::Symbols, 16384, 12615 },
        { 4000, Kind::Map, 8192, 6307 },
    };
    for (auto const& c : cases) {
        Rooted value(indexed(type_ids::map, cell::make(type_ids::none), hashtable::init(c.size, nullptr, c.kind, 1)));
        NodeId const table = table_of(value);
        hashtable::TableRecord const& record = hashtable::record(table);
        EXPECT_EQ(record.bucket_count, c.bucket_count) << c.size;
        EXPECT_EQ(record.upper_bound, c.upper_bound) << c.size;
        EXPECT_EQ(record.count, 0u);
        EXPECT_EQ(record.occupied, 0u);
        EXPECT_EQ(record.kind, c.kind);
        EXPECT_EQ(buckets_with(table, 2), c.bucket_count) << "every bucket empty";
    }
    Rooted hash(indexed(type_ids::hash, cell::make(type_ids::none), hashtable::init(0, nullptr, Kind::Hash)));
    std::vector<std::uint32_t> const index = index_entries(table_of(hash));
    EXPECT_EQ(index.size(), 4u);
    EXPECT_TRUE(std::all_of(index.begin(), index.end(), [](std::uint32_t e) { return e == hashtable::none_bucket; }));
    EXPECT_EQ(hashtable::record(table_of(hash)).stamp, 0u);

    Rooted nodes(indexed(type_ids::map, cell::make(type_ids::none), hashtable::init(0, nullptr, Kind::Ownership, 3)));
    EXPECT_EQ(hashtable::record(table_of(nodes)).record_size, 64u);
    EXPECT_EQ(hashtable::record(table_of(nodes)).stamp, gc::state.node_relocations + 1);
}

// A table made for 0 keys has 8 buckets and grows to 16 at the seventh key, whatever its kind.
TEST_F(HashtableTest, SeventhKeyGrowsTheTable)
{
    Rooted block(make_block(8));
    Rooted hash(indexed(type_ids::hash, *block, hashtable::init(0, &*block, Kind::Hash)));
    for (std::uint32_t i = 0; i < 6; ++i) {
        append(*block, integer(i));
        EXPECT_EQ(hashtable::insert(table_of(hash), i), hashtable::InsertResult::Added);
    }
    EXPECT_EQ(hashtable::record(table_of(hash)).bucket_count, 8u);
    append(*block, integer(6));
    EXPECT_EQ(hashtable::insert(table_of(hash), 6), hashtable::InsertResult::Rebuilt);
    EXPECT_EQ(hashtable::record(table_of(hash)).bucket_count, 16u);
    EXPECT_EQ(hashtable::record(table_of(hash)).upper_bound, 12u);
    expect_index_right(table_of(hash), *block);

    Rooted map_block(make_block(16));
    Rooted map(indexed(type_ids::map, *map_block, hashtable::init(0, &*map_block, Kind::Map)));
    for (std::uint32_t i = 0; i < 7; ++i) {
        append(*map_block, integer(i));
        append(*map_block, integer(100 + i));
        EXPECT_EQ(hashtable::insert(table_of(map), 2 * i), hashtable::InsertResult::Added);
    }
    EXPECT_EQ(hashtable::record(table_of(map)).bucket_count, 16u);
    EXPECT_EQ(hashtable::record(table_of(map)).upper_bound, 12u);
    for (std::uint32_t i = 0; i < 7; ++i)
        EXPECT_EQ(hashtable::get(table_of(map), integer(i)), static_cast<std::int32_t>(2 * i));

    Rooted nodes(indexed(type_ids::map, cell::make(type_ids::none), hashtable::init(0, nullptr, Kind::NodeKeys, 1)));
    Rooted keys(make_block(8));
    for (std::uint32_t i = 0; i < 7; ++i) {
        append(*keys, make_block(1));
        hashtable::put_node_key(table_of(nodes), at(*keys, i).word2)->word2 = i;
    }
    EXPECT_EQ(hashtable::record(table_of(nodes)).bucket_count, 16u);
    for (std::uint32_t i = 0; i < 7; ++i) {
        Cell const* values = hashtable::get_node_key(table_of(nodes), at(*keys, i).word2);
        ASSERT_NE(values, nullptr);
        EXPECT_EQ(values->word2, i);
    }
}

// Equal keys share one bucket through a duplicate list; a look-up answers by position.
TEST_F(HashtableTest, HashDuplicatesAndPositions)
{
    Rooted block(make_block(8));
    for (std::string_view s : { "a", "b", "A", "a" }) append(*block, text(s));
    Rooted hash(indexed(type_ids::hash, *block, hashtable::init(0, &*block, Kind::Hash)));
    NodeId const table = table_of(hash);
    EXPECT_EQ(hashtable::count(table), 4u);
    EXPECT_EQ(hashtable::record(table).occupied, 2u) << "a, A and a share a bucket";
    EXPECT_EQ(node::buffer(hashtable::record(table).chain)->length(), 1u) << "one duplicate list";

    Rooted a(text("a"));
    struct Case {
        hashtable::GetOptions options;
        std::int32_t found;
    };
    Case const cases[] = {
        { {}, 0 },
        { { .start = 1 }, 2 },
        { { .start = 1, .op = CompareOp::StrictEqual }, 3 },
        { { .start = 0, .op = CompareOp::StrictEqual, .last = true }, 3 },
        { { .start = 0, .last = true }, 3 },
        { { .start = 3, .reverse = true }, 2 },
        { { .start = 3, .op = CompareOp::StrictEqual, .reverse = true }, 0 },
        { { .start = 0, .reverse = true }, -1 },
        { { .start = 1, .step = 2 }, 3 },
        { { .start = 0, .step = 2 }, 0 },
        { { .start = 4 }, -1 },
    };
    for (auto const& c : cases)
        EXPECT_EQ(hashtable::get(table, *a, c.options), c.found)
            << "start " << c.options.start << " step " << c.options.step << " last " << c.options.last << " reverse "
            << c.options.reverse << " op " << static_cast<int>(c.options.op);
    Rooted missing(text("c"));
    EXPECT_EQ(hashtable::get(table, *missing), -1);

    // The walk over equal keys meets every duplicate once.
    std::vector<std::int32_t> walked;
    hashtable::ProbeState walk;
    for (std::int32_t position; (position = hashtable::find_next(table, *a, walk)) >= 0;) walked.push_back(position);
    std::sort(walked.begin(), walked.end());
    EXPECT_EQ(walked, (std::vector<std::int32_t> { 0, 2, 3 }));
}

// Deleting a duplicate leaves the bucket in use; deleting the last key marks it deleted, and the next
// equal key takes the deleted bucket back.
TEST_F(HashtableTest, HashDeletionAndReuse)
{
    Rooted hash(make_hash({ 5, 5, 7 }));
    NodeId table = table_of(hash);
    EXPECT_EQ(hashtable::record(table).occupied, 2u);
    hashtable::delete_(table, 0);
    EXPECT_EQ(hashtable::count(table), 2u);
    EXPECT_EQ(hashtable::get(table, integer(5)), 1);
    EXPECT_EQ(node::buffer(hashtable::record(table).chain)->length(), 0u) << "a list of one is a plain entry again";
    hashtable::delete_(table, 1);
    EXPECT_EQ(hashtable::get(table, integer(5)), -1);
    EXPECT_EQ(buckets_with(table, 1), 1u) << "one deleted bucket";
    EXPECT_EQ(hashtable::record(table).occupied, 2u) << "a deleted bucket stays occupied";
    EXPECT_EQ(index_entries(table)[0], hashtable::none_bucket);

    // Position 1 holds another key now: indexing it reuses the deleted bucket on its chain when they meet.
    node::buffer(hash->word2)->head_cell()[1] = integer(5);
    hashtable::insert(table_of(hash), 1);
    table = table_of(hash);
    EXPECT_EQ(hashtable::get(table, integer(5)), 1);
    EXPECT_EQ(buckets_with(table, 1), 0u);
    EXPECT_EQ(hashtable::record(table).occupied, 2u) << "reusing a deleted bucket adds to the count only";
    EXPECT_EQ(hashtable::count(table), 2u);

    // Re-indexing a position that is indexed takes it out first: no key is counted twice.
    hashtable::insert(table, 1);
    EXPECT_EQ(hashtable::count(table), 2u);
    EXPECT_EQ(hashtable::get(table, integer(5)), 1);
    EXPECT_EQ(hashtable::get(table, integer(7)), 2);
}

TEST_F(HashtableTest, RemovingEveryKeyFromTheHeadResetsTheTable)
{
    Rooted hash(make_hash({ 1, 2, 2, 3 }));
    NodeId const table = table_of(hash);
    hashtable::remove_range(table, 1, 2);
    EXPECT_EQ(hashtable::count(table), 2u);
    EXPECT_EQ(hashtable::get(table, integer(2)), -1);
    EXPECT_EQ(hashtable::get(table, integer(3)), 3);

    hashtable::remove_range(table, 0, 100); // clamped to the block
    hashtable::TableRecord const& record = hashtable::record(table);
    EXPECT_EQ(record.count, 0u);
    EXPECT_EQ(record.occupied, 0u);
    EXPECT_EQ(buckets_with(table, 2), record.bucket_count) << "every bucket empty";
    std::vector<std::uint32_t> const index = index_entries(table);
    EXPECT_TRUE(std::all_of(index.begin(), index.end(), [](std::uint32_t e) { return e == hashtable::none_bucket; }));
    EXPECT_EQ(node::buffer(record.chain)->length(), 0u);
}

// The same code points in 2-byte units, which the hash reads one at a time.
Cell wide_text(std::string_view content)
{
    NodeId const node = series::alloc_units(content.size(), 2);
    SeriesBuffer* buffer = node::buffer(node);
    for (std::size_t i = 0; i < content.size(); ++i) {
        auto const unit = static_cast<std::uint16_t>(static_cast<unsigned char>(content[i]));
        std::memcpy(buffer->data() + 2 * i, &unit, 2);
    }
    buffer->tail = static_cast<std::uint32_t>(2 * content.size());
    return cell::make(type_ids::string, 0, node);
}

// A byte text hashes as the same code points stored wider, folded or not, whatever its length and
// wherever a non-ASCII byte stops the fast path; texts that fold apart hash apart.
TEST_F(HashtableTest, TextHashIsOfCodePoints)
{
    std::mt19937 random(20);
    for (std::uint32_t length = 0; length < 40; ++length) {
        for (int round = 0; round < 20; ++round) {
            std::string content;
            for (std::uint32_t i = 0; i < length; ++i)
                content += static_cast<char>(round % 4 == 0 ? random() % 256 : random() % 128);
            Rooted narrow(text(content));
            Rooted wide(wide_text(content));
            EXPECT_EQ(hashtable::hash_cell(*narrow), hashtable::hash_cell(*wide)) << length;
            EXPECT_EQ(hashtable::hash_cell(*narrow, true), hashtable::hash_cell(*wide, true)) << length;
            std::string upper = content;
            for (char& c : upper)
                if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
            Rooted upper_text(text(upper));
            EXPECT_EQ(hashtable::hash_cell(*narrow), hashtable::hash_cell(*upper_text)) << length;
        }
    }
    // The neighbours of the letters are no letters: @ [ ` { stay as they are.
    Rooted edges(text("@[`{@[`{az"));
    Rooted folded(text("@[`{@[`{AZ"));
    Rooted shifted(text("`{@[`{@[AZ"));
    EXPECT_EQ(hashtable::hash_cell(*edges), hashtable::hash_cell(*folded));
    EXPECT_NE(hashtable::hash_cell(*edges), hashtable::hash_cell(*shifted));
}

// Code points in units of `unit` bytes.
Cell units_text(std::vector<std::uint32_t> const& code_points, std::uint32_t unit)
{
    NodeId const node = series::alloc_units(code_points.size(), unit);
    SeriesBuffer* buffer = node::buffer(node);
    for (std::size_t i = 0; i < code_points.size(); ++i) std::memcpy(buffer->data() + unit * i, &code_points[i], unit);
    buffer->tail = static_cast<std::uint32_t>(unit * code_points.size());
    return cell::make(type_ids::string, 0, node);
}

// Code points beyond a byte, and Latin-1 letters whose upper case is beyond a byte, hash alike in every
// width that holds them, wherever they fall among whole runs of eight and the rest; case-blind, as their
// upper case.
TEST_F(HashtableTest, WideTextHashIsOfCodePoints)
{
    struct Case {
        std::vector<std::uint32_t> text; // fits 2 bytes; `upper` is the same in upper case
        std::vector<std::uint32_t> upper;
        bool latin1;
    };
    std::vector<std::uint32_t> const letters = { 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h' };
    std::vector<std::uint32_t> const upper_letters = { 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H' };
    auto joined = [](std::vector<std::uint32_t> a, std::vector<std::uint32_t> const& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    std::vector<Case> const cases = {
        { { 0x3B1, 0x3B2 }, { 0x391, 0x392 }, false }, // alpha, beta: the tail only
        { joined(letters, { 0x3B1 }), joined(upper_letters, { 0x391 }), false }, // a whole run, then the tail
        { joined({ 0x3B1 }, joined(letters, letters)), joined({ 0x391 }, joined(upper_letters, upper_letters)), false },
        { joined(letters, { 0xFF, 0xE4, 'x', 'y', 'z', '1', '2', '3' }),
            joined(upper_letters, { 0x178, 0xC4, 'X', 'Y', 'Z', '1', '2', '3' }),
            true }, // y-umlaut's upper case is wide
        { joined(letters, { 0xE4, 0xE9, 'x', 'y', 'z', '1', '2', '3' }),
            joined(upper_letters, { 0xC4, 0xC9, 'X', 'Y', 'Z', '1', '2', '3' }), true },
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        Case const& c = cases[i];
        Rooted narrow(units_text(c.text, c.latin1 ? 1 : 2));
        Rooted two(units_text(c.text, 2));
        Rooted four(units_text(c.text, 4));
        Rooted upper(units_text(c.upper, 2));
        Rooted upper_four(units_text(c.upper, 4));
        for (bool case_sensitive : { false, true }) {
            EXPECT_EQ(hashtable::hash_cell(*narrow, case_sensitive), hashtable::hash_cell(*four, case_sensitive)) << i;
            EXPECT_EQ(hashtable::hash_cell(*two, case_sensitive), hashtable::hash_cell(*four, case_sensitive)) << i;
            EXPECT_EQ(hashtable::hash_cell(*upper, case_sensitive), hashtable::hash_cell(*upper_four, case_sensitive))
                << i;
        }
        EXPECT_EQ(hashtable::hash_cell(*narrow), hashtable::hash_cell(*upper)) << i;
        EXPECT_NE(hashtable::hash_cell(*narrow, true), hashtable::hash_cell(*upper, true)) << i;
    }
}

// Texts that differ only in their last characters, as numbered keys do, spread over the low bits that pick
// a bucket: one and two runs of eight, and the rest.
TEST_F(HashtableTest, NumberedTextsHashApart)
{
    // One buffer rewritten for each key: under the stress switch every allocation would collect.
    Rooted key(text("key-00000000000000"));
    SeriesBuffer* buffer = node::buffer(key->word2);
    for (std::string const prefix : { "k", "key", "keyword", "a longer key", "a key of two runs" }) {
        constexpr std::uint32_t keys = 50'000;
        std::vector<bool> buckets(std::size_t { 1 } << 18);
        std::uint32_t distinct = 0;
        for (std::uint32_t i = 0; i < keys; ++i) {
            std::string const content = prefix + std::to_string(i);
            std::memcpy(buffer->data(), content.data(), content.size());
            buffer->tail = static_cast<std::uint32_t>(content.size());
            std::uint32_t const bucket = hashtable::hash_cell(*key) & ((1u << 18) - 1);
            if (!buckets[bucket]) ++distinct;
            buckets[bucket] = true;
        }
        // Random placement fills about 2^18 x (1 - e^(-keys / 2^18)) buckets, some 45,600.
        EXPECT_GT(distinct, 44'000u) << prefix;
    }
}

// Words and strings that differ only in case are one key; the case-sensitive look-up tells them apart.
TEST_F(HashtableTest, CaseBlindKeys)
{
    EXPECT_EQ(hashtable::hash_cell(word(7)), hashtable::hash_cell(word(107)));
    EXPECT_EQ(hashtable::hash_cell(word(7)), hashtable::hash_cell(word(7, type_ids::set_word)));
    Rooted lower(text("Key"));
    Rooted upper(text("KEY"));
    EXPECT_EQ(hashtable::hash_cell(*lower), hashtable::hash_cell(*upper));
    EXPECT_NE(hashtable::hash_cell(*lower, true), hashtable::hash_cell(*upper, true));

    Rooted block(make_block(4));
    append(*block, word(7));
    append(*block, text("Key"));
    append(*block, word(107));
    Rooted hash(indexed(type_ids::hash, *block, hashtable::init(0, &*block, Kind::Hash)));
    NodeId const table = table_of(hash);
    EXPECT_EQ(hashtable::record(table).occupied, 2u) << "a and A are one key";
    EXPECT_EQ(hashtable::get(table, word(107)), 0);
    EXPECT_EQ(hashtable::get(table, word(107), { .op = CompareOp::StrictEqual }), 2);
    EXPECT_EQ(hashtable::get(table, *upper), 1);
    EXPECT_EQ(hashtable::get(table, *upper, { .op = CompareOp::StrictEqual }), -1);
    EXPECT_EQ(hashtable::get(table, *lower, { .op = CompareOp::StrictEqual }), 1);
    EXPECT_EQ(hashtable::get(table, word(7, type_ids::set_word)), -1) << "a hash! key keeps its word kind";
}

// Hashes of keys that are equal however their bits differ.
TEST_F(HashtableTest, EqualKeysHashAlike)
{
    Cell zero = cell::make(type_ids::float_);
    Cell negative_zero = zero;
    cell::set_float_payload(zero, 0.0);
    cell::set_float_payload(negative_zero, -0.0);
    EXPECT_EQ(hashtable::hash_cell(zero), hashtable::hash_cell(negative_zero));

    Cell money = cell::make(type_ids::money);
    Cell negative_money = cell::make(type_ids::money);
    negative_money.header |= 0x4000; // the sign
    EXPECT_EQ(hashtable::hash_cell(money), hashtable::hash_cell(negative_money)) << "a zero amount has no sign";
    money.word2 = negative_money.word2 = 0x12;
    EXPECT_NE(hashtable::hash_cell(money), hashtable::hash_cell(negative_money));

    Cell line_start = integer(3);
    line_start.header |= cell::new_line_flag;
    EXPECT_EQ(hashtable::hash_cell(line_start), hashtable::hash_cell(integer(3)));
    EXPECT_EQ(hashtable::hash_cell(cell::make(type_ids::none)), 0xFFFFFFFFu);
    EXPECT_EQ(hashtable::hash_cell(cell::make(type_ids::unset)), 0xFFFFFFFEu);
    EXPECT_TRUE(hashtable::hashes_by_identity(type_ids::object));
    EXPECT_FALSE(hashtable::hashes_by_identity(type_ids::string));
}

// A map keeps the last value of a repeated key and drops the earlier pair; words of every kind are one key.
TEST_F(HashtableTest, MapLoadingKeepsTheLastValue)
{
    Rooted block(make_block(8));
    for (Cell const& cell : { word(1), integer(1), word(2), integer(2), word(101, type_ids::lit_word), integer(3) })
        append(*block, cell);
    Rooted map(indexed(type_ids::map, *block, hashtable::init(3, &*block, Kind::Map)));
    NodeId const table = table_of(map);
    ASSERT_EQ(length(*block), 6u) << "strictly different spellings are two keys";
    EXPECT_EQ(hashtable::count(table), 3u);

    Rooted repeated(make_block(8));
    for (Cell const& cell : { word(1), integer(1), word(2), integer(2), word(1, type_ids::get_word), integer(3) })
        append(*repeated, cell);
    Rooted second(indexed(type_ids::map, *repeated, hashtable::init(3, &*repeated, Kind::Map)));
    ASSERT_EQ(length(*repeated), 4u);
    EXPECT_EQ(hashtable::count(table_of(second)), 2u);
    EXPECT_EQ(cell::type_of(at(*repeated, 0)), type_ids::set_word) << "keys are stored as set-words";
    EXPECT_EQ(at(*repeated, 1).word2, 3u) << "the last value wins, in the first pair's place";
    EXPECT_EQ(at(*repeated, 2).word2, 2u);
    for (TypeId type : { type_ids::word, type_ids::set_word, type_ids::lit_word, type_ids::get_word })
        EXPECT_EQ(hashtable::get(table_of(second), word(1, type)), 0) << static_cast<int>(type);
    EXPECT_EQ(hashtable::get(table_of(second), word(101)), 0);
    EXPECT_EQ(hashtable::get(table_of(second), word(101), { .op = CompareOp::StrictEqual }), -1);
}

// Deleting a map key keeps its bucket in use: the value cell gets header 0 and the count drops.
TEST_F(HashtableTest, MapDeletionKeepsTheBucket)
{
    Rooted block(make_block(8));
    for (std::uint32_t i = 0; i < 3; ++i) {
        append(*block, integer(i));
        append(*block, integer(10 * i));
    }
    Rooted map(indexed(type_ids::map, *block, hashtable::init(3, &*block, Kind::Map)));
    NodeId const table = table_of(map);
    std::uint32_t const occupied = hashtable::record(table).occupied;
    hashtable::delete_(table, 2);
    EXPECT_EQ(at(*block, 3).header, 0u);
    EXPECT_EQ(hashtable::count(table), 2u);
    EXPECT_EQ(hashtable::record(table).occupied, occupied);
    EXPECT_EQ(buckets_with(table, 1), 0u);
    EXPECT_EQ(hashtable::get(table, integer(1)), 2) << "the key stays indexed, for the pair to come back in place";
    hashtable::delete_(table, 2);
    EXPECT_EQ(hashtable::count(table), 2u) << "a removed pair is not counted twice";
}

// Spellings of one key, added far apart while the table grows many times, are met in the order they were
// added: a case-blind look-up answers the first, and a walk meets the rest after it in order.
TEST_F(HashtableTest, MapGrowthKeepsSpellingsInOrder)
{
    Rooted block(make_block(16));
    Rooted map(indexed(type_ids::map, *block, hashtable::init(0, &*block, Kind::Map)));
    std::uint32_t const groups = 300;
    char const* const spellings[] = { "key", "KEY", "Key", "kEY" };
    std::uint32_t position = 0;
    for (char const* spelling : spellings) {
        for (std::uint32_t group = 0; group < groups; ++group) {
            append(*block, text(std::string(spelling) + std::to_string(group)));
            append(*block, integer(group));
            hashtable::insert(table_of(map), position);
            position += 2;
        }
    }
    EXPECT_GE(hashtable::record(table_of(map)).bucket_count, 2048u);
    for (std::uint32_t group = 0; group < groups; ++group) {
        Rooted probe(text("kEy" + std::to_string(group)));
        hashtable::ProbeState walk;
        for (std::uint32_t spelling = 0; spelling < 4; ++spelling)
            EXPECT_EQ(hashtable::find_next(table_of(map), *probe, walk),
                static_cast<std::int32_t>(2 * (spelling * groups + group)))
                << group;
        EXPECT_EQ(hashtable::find_next(table_of(map), *probe, walk), -1);
    }
}

// Strings a and A are two map keys (loading compares strictly); an ordinary look-up may meet either.
TEST_F(HashtableTest, MapCaseVariantsAndTheWalk)
{
    Rooted block(make_block(8));
    append(*block, text("a")); // one at a time: a string is rooted only once it is in the block
    append(*block, integer(1));
    append(*block, text("A"));
    append(*block, integer(2));
    Rooted map(indexed(type_ids::map, *block, hashtable::init(2, &*block, Kind::Map)));
    NodeId const table = table_of(map);
    EXPECT_EQ(hashtable::count(table), 2u);
    Rooted upper(text("A"));
    EXPECT_EQ(hashtable::get(table, *upper, { .op = CompareOp::StrictEqual }), 2);
    std::int32_t const any = hashtable::get(table, *upper);
    EXPECT_TRUE(any == 0 || any == 2);
    std::vector<std::int32_t> walked;
    hashtable::ProbeState walk;
    for (std::int32_t position; (position = hashtable::find_next(table, *upper, walk)) >= 0;)
        walked.push_back(position);
    std::sort(walked.begin(), walked.end());
    EXPECT_EQ(walked, (std::vector<std::int32_t> { 0, 2 }));
}

// Keys stay in the order they were added, through every growth.
TEST_F(HashtableTest, MapInsertionOrder)
{
    Rooted block(make_block(4));
    Rooted map(indexed(type_ids::map, *block, hashtable::init(0, &*block, Kind::Map)));
    for (std::uint32_t i = 0; i < 200; ++i) {
        std::uint32_t const key = (i * 7919) % 1000;
        ASSERT_EQ(hashtable::get(table_of(map), integer(key)), -1);
        append(*block, integer(key));
        append(*block, integer(i));
        hashtable::insert(table_of(map), 2 * i);
    }
    EXPECT_EQ(hashtable::count(table_of(map)), 200u);
    EXPECT_GE(hashtable::record(table_of(map)).bucket_count, 256u);
    for (std::uint32_t i = 0; i < 200; ++i) {
        EXPECT_EQ(at(*block, 2 * i).word2, (i * 7919) % 1000);
        EXPECT_EQ(hashtable::get(table_of(map), integer((i * 7919) % 1000)), static_cast<std::int32_t>(2 * i));
    }
}

// Case variants share a chain in the order they were added, through every growth: a case-blind look-up
// answers the earliest spelling, and the walk meets them in position order.
TEST_F(HashtableTest, MapGrowthKeepsCaseVariantsInOrder)
{
    std::vector<std::string> const spellings { "ab", "aB", "Ab", "AB" };
    Rooted block(make_block(4));
    Rooted map(indexed(type_ids::map, *block, hashtable::init(0, &*block, Kind::Map)));
    std::uint32_t const names = 60;
    std::uint32_t added = 0;
    for (std::string const& spelling : spellings) {
        for (std::uint32_t name = 0; name < names; ++name) {
            append(*block, text(spelling + std::to_string(name)));
            append(*block, integer(added));
            ASSERT_EQ(hashtable::get(table_of(map), at(*block, 2 * added), { .op = CompareOp::StrictEqual }), -1);
            hashtable::insert(table_of(map), 2 * added);
            ++added;
        }
    }
    ASSERT_GE(hashtable::record(table_of(map)).bucket_count, 256u) << "the table grew past the first variants";
    for (std::uint32_t name = 0; name < names; ++name) {
        Rooted probe(text("AB" + std::to_string(name)));
        EXPECT_EQ(hashtable::get(table_of(map), *probe), static_cast<std::int32_t>(2 * name));
        EXPECT_EQ(hashtable::get(table_of(map), *probe, { .op = CompareOp::StrictEqual }),
            static_cast<std::int32_t>(2 * (3 * names + name)));
        std::vector<std::int32_t> walked;
        hashtable::ProbeState walk;
        for (std::int32_t position; (position = hashtable::find_next(table_of(map), *probe, walk)) >= 0;)
            walked.push_back(position);
        std::vector<std::int32_t> expected;
        for (std::uint32_t variant = 0; variant < spellings.size(); ++variant)
            expected.push_back(static_cast<std::int32_t>(2 * (variant * names + name)));
        EXPECT_EQ(walked, expected) << name;
    }
}

// A context's word index: exact and case-blind look-ups, and words added at the end of the word list.
TEST_F(HashtableTest, WordIndex)
{
    Rooted words(make_block(4));
    Rooted context(make_block(2)); // stands for the context node
    Rooted index(indexed(type_ids::map, *words, hashtable::init(2, &*words, Kind::Symbols)));
    for (SymbolId symbol = 1; symbol <= 50; ++symbol) {
        std::uint32_t added = 0xFFFF;
        EXPECT_EQ(hashtable::put_index(table_of(index), symbol, true, context->word2, &added), -1);
        EXPECT_EQ(added, symbol - 1);
    }
    ASSERT_EQ(length(*words), 50u);
    Cell const entry = at(*words, 4);
    EXPECT_EQ(cell::type_of(entry), type_ids::word);
    EXPECT_EQ(entry.word1, context->word2);
    EXPECT_EQ(entry.word2, 5u);
    EXPECT_EQ(entry.word3, 4u);

    NodeId const table = table_of(index);
    EXPECT_EQ(hashtable::put_index(table, 5, false), 4);
    EXPECT_EQ(hashtable::put_index(table, 105, false), -1) << "an exact look-up of a case variant";
    EXPECT_EQ(hashtable::put_index(table, 105, true), 4);
    EXPECT_EQ(hashtable::put_index(table, 77, true), -1);
    EXPECT_EQ(length(*words), 50u) << "look-ups without a context add nothing";
    EXPECT_EQ(hashtable::put_index(table, 105, true, context->word2), 4) << "found case-blind: nothing added";
    std::uint32_t added = 0;
    EXPECT_EQ(hashtable::put_index(table, 105, false, context->word2, &added), -1);
    EXPECT_EQ(added, 50u);
    EXPECT_EQ(hashtable::put_index(table, 105, false), 50);
    EXPECT_EQ(hashtable::put_index(table, 105, true), 4) << "the first spelling comes first on the chain";
}

namespace {

Cell symbol_cell(std::string_view name)
{
    NodeId const node = series::alloc_units(name.size() + 1, 1);
    SeriesBuffer* buffer = node::buffer(node);
    std::memcpy(buffer->data(), name.data(), name.size());
    buffer->data()[name.size()] = std::byte { 0 };
    buffer->tail = static_cast<std::uint32_t>(name.size());
    return cell::make(type_ids::symbol, static_cast<std::uint32_t>(-1), 0, node);
}

}

// The symbol table's name index: exact and ASCII-case-blind look-ups, and spellings of one name kept in
// interning order along their chain through growth.
TEST_F(HashtableTest, NameIndex)
{
    Rooted symbols(make_block(4));
    Rooted index(indexed(type_ids::map, *symbols, hashtable::init(0, &*symbols, Kind::Symbols)));
    auto intern = [&](std::string_view name) {
        append(*symbols, symbol_cell(name));
        hashtable::insert(table_of(index), length(*symbols) - 1);
    };
    intern("foo");
    for (int i = 0; i < 100; ++i) intern("name" + std::to_string(i));
    intern("Foo");
    intern("FOO");
    for (int i = 100; i < 300; ++i) intern("name" + std::to_string(i));
    intern("é");

    NodeId const table = table_of(index);
    EXPECT_GE(hashtable::record(table).bucket_count, 512u);
    EXPECT_EQ(hashtable::get_string_key(table, "foo", false), 0);
    EXPECT_EQ(hashtable::get_string_key(table, "Foo", false), 101);
    EXPECT_EQ(hashtable::get_string_key(table, "FOO", false), 102);
    EXPECT_EQ(hashtable::get_string_key(table, "fOO", false), -1);
    EXPECT_EQ(hashtable::get_string_key(table, "fOO", true), 0) << "the first-interned spelling";
    EXPECT_EQ(hashtable::get_string_key(table, "FOO", true), 0);
    EXPECT_EQ(hashtable::get_string_key(table, "name250", false), 253);
    EXPECT_EQ(hashtable::get_string_key(table, "NAME250", true), 253);
    EXPECT_EQ(hashtable::get_string_key(table, "fo", true), -1) << "lengths differ";
    EXPECT_EQ(hashtable::get_string_key(table, "\xC3\x89", true), -1) << "letters outside ASCII are not folded";
    EXPECT_EQ(hashtable::get_string_key(table, "\xC3\xA9", false), 303);

    // One walk answers both look-ups, as the two calls above do.
    struct Case {
        std::string_view name;
        std::int32_t exact;
        std::int32_t variant;
    };
    Case const cases[] = { { "foo", 0, 0 }, { "FOO", 102, 0 }, { "fOO", -1, 0 }, { "name250", 253, 253 },
        { "NAME250", -1, 253 }, { "fo", -1, -1 }, { "\xC3\x89", -1, -1 } };
    for (Case const& c : cases) {
        std::uint32_t const hash = hash::lowered_name(c.name.data(), static_cast<std::uint32_t>(c.name.size()));
        std::int32_t variant = -2;
        EXPECT_EQ(hashtable::find_name(table, c.name, hash, variant), c.exact) << c.name;
        EXPECT_EQ(variant, c.variant) << c.name;
    }
}

// Node-keyed records: fresh records are unset, deleted buckets give their record back, and a sweep
// deletes what its predicate rejects.
TEST_F(HashtableTest, NodeKeyedRecords)
{
    Rooted nodes(indexed(type_ids::map, cell::make(type_ids::none), hashtable::init(4, nullptr, Kind::Ownership, 3)));
    Rooted keys(make_block(8));
    for (std::uint32_t i = 0; i < 5; ++i) append(*keys, make_block(1));
    auto key = [&](std::uint32_t i) { return at(*keys, i).word2; };

    Cell* values = hashtable::put_node_key(table_of(nodes), key(0));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(cell::type_of(values[i]), type_ids::unset);
    values[0] = integer(42);
    values = hashtable::put_node_key(table_of(nodes), key(0));
    EXPECT_EQ(values[0].word2, 42u) << "a present key keeps its values";
    EXPECT_EQ(hashtable::get_node_key(table_of(nodes), key(1)), nullptr);

    std::uint32_t const records = node::buffer(hashtable::key_series(table_of(nodes)))->length();
    EXPECT_NE(hashtable::delete_node_key(table_of(nodes), key(0)), nullptr);
    EXPECT_EQ(hashtable::delete_node_key(table_of(nodes), key(0)), nullptr);
    EXPECT_EQ(hashtable::count(table_of(nodes)), 0u);
    EXPECT_EQ(hashtable::get_node_key(table_of(nodes), key(0)), nullptr);
    values = hashtable::put_node_key(table_of(nodes), key(0));
    EXPECT_EQ(cell::type_of(values[0]), type_ids::unset) << "a new record";
    EXPECT_EQ(node::buffer(hashtable::key_series(table_of(nodes)))->length(), records) << "the old record reused";

    for (std::uint32_t i = 1; i < 5; ++i) hashtable::put_node_key(table_of(nodes), key(i))->word2 = i;
    static NodeId rejected;
    rejected = key(3);
    hashtable::sweep_node_keys(table_of(nodes), [](NodeId node, Cell const*) { return node != rejected; });
    EXPECT_EQ(hashtable::count(table_of(nodes)), 4u);
    EXPECT_EQ(hashtable::get_node_key(table_of(nodes), key(3)), nullptr);
    EXPECT_NE(hashtable::get_node_key(table_of(nodes), key(4)), nullptr);
}

// A table full of deleted buckets rehashes at its own size instead of doubling.
TEST_F(HashtableTest, DeletedBucketsAreReclaimedAtTheSameSize)
{
    Rooted nodes(indexed(type_ids::map, cell::make(type_ids::none), hashtable::init(0, nullptr, Kind::NodeKeys)));
    Rooted keys(make_block(16));
    for (std::uint32_t i = 0; i < 8; ++i) append(*keys, make_block(1));
    for (std::uint32_t i = 0; i < 6; ++i) hashtable::put_node_key(table_of(nodes), at(*keys, i).word2);
    for (std::uint32_t i = 0; i < 5; ++i) hashtable::delete_node_key(table_of(nodes), at(*keys, i).word2);
    EXPECT_EQ(hashtable::record(table_of(nodes)).occupied, 6u);
    hashtable::put_node_key(table_of(nodes), at(*keys, 6).word2);
    hashtable::TableRecord const& record = hashtable::record(table_of(nodes));
    EXPECT_EQ(record.bucket_count, 8u);
    EXPECT_EQ(record.count, 2u);
    EXPECT_EQ(record.occupied, 2u);
    EXPECT_EQ(node::buffer(record.key_series)->length(), 2u) << "the dead records are dropped";
    EXPECT_NE(hashtable::get_node_key(table_of(nodes), at(*keys, 5).word2), nullptr);
    EXPECT_NE(hashtable::get_node_key(table_of(nodes), at(*keys, 6).word2), nullptr);
}

namespace {

// Fills the current node frame, so that what is made next sits in a frame of its own, which the
// collector empties after a few stable collections.
struct FreshNodeFrame {
    std::vector<NodeId> garbage;
    FreshNodeFrame()
    {
        while (memory::state.node_current->free_head != no_node) garbage.push_back(node::alloc());
    }
    void release()
    {
        for (NodeId node : garbage) node::free(node);
        garbage.clear();
    }
};

void collect_until_nodes_move()
{
    std::uint32_t const relocations = gc::state.node_relocations;
    for (std::uint32_t i = 0; i < gc::history_depth + 3 && gc::state.node_relocations == relocations; ++i)
        gc::collect();
    ASSERT_GT(gc::state.node_relocations, relocations) << "a stable, sparse frame was emptied";
}

}

// After a collection that moved nodes, tables hashed by node find every key again.
TEST_F(HashtableTest, LookUpsAfterNodeRelocation)
{
    FreshNodeFrame frame;
    Rooted keys(make_block(64));
    Rooted nodes(indexed(type_ids::map, cell::make(type_ids::none), hashtable::init(0, nullptr, Kind::Ownership, 1)));
    for (std::uint32_t i = 0; i < 40; ++i) {
        append(*keys, make_block(1));
        hashtable::put_node_key(table_of(nodes), at(*keys, i).word2)->word2 = i;
    }
    // A hash! whose keys are blocks: hashed by their nodes.
    Rooted block(make_block(64));
    for (std::uint32_t i = 0; i < 40; ++i) append(*block, at(*keys, i));
    Rooted hash(indexed(type_ids::hash, *block, hashtable::init(0, &*block, Kind::Hash)));
    EXPECT_NE(hashtable::record(table_of(hash)).stamp, 0u);
    std::vector<NodeId> before;
    for (std::uint32_t i = 0; i < 40; ++i) before.push_back(at(*keys, i).word2);
    frame.release();

    collect_until_nodes_move();
    std::uint32_t moved = 0;
    for (std::uint32_t i = 0; i < 40; ++i) moved += at(*keys, i).word2 != before[i];
    ASSERT_GT(moved, 0u);
    for (std::uint32_t i = 0; i < 40; ++i) {
        Cell const* values = hashtable::get_node_key(table_of(nodes), at(*keys, i).word2);
        ASSERT_NE(values, nullptr) << i;
        EXPECT_EQ(values->word2, i);
        EXPECT_EQ(hashtable::get(table_of(hash), at(*keys, i)), static_cast<std::int32_t>(i));
    }
    EXPECT_EQ(hashtable::record(table_of(nodes)).stamp, gc::state.node_relocations + 1);
    EXPECT_EQ(hashtable::record(table_of(hash)).stamp, gc::state.node_relocations + 1);
}

namespace {

// Moves `count` cells of the block so that they begin at `to`, as the series move does, and tells the table.
void move_cells(Rooted& hash, std::uint32_t to, std::uint32_t from, std::uint32_t count)
{
    Cell* cells = node::buffer(hash->word2)->head_cell();
    std::vector<Cell> moved(cells + from, cells + from + count);
    if (to < from) {
        std::memmove(cells + to + count, cells + to, (from - to) * sizeof(Cell));
    } else {
        std::memmove(cells + from, cells + from + count, (to - from) * sizeof(Cell));
    }
    std::copy(moved.begin(), moved.end(), cells + to);
    hashtable::move_range(table_of(hash), to, from, count);
}

// Removes `count` cells at `position`, as the series remove does, and tells the table.
void remove_cells(Rooted& hash, std::uint32_t position, std::uint32_t count)
{
    hashtable::remove_range(table_of(hash), position, count);
    SeriesBuffer* buffer = node::buffer(hash->word2);
    std::uint32_t const rest = buffer->length() - position - count;
    Cell* cells = buffer->head_cell();
    std::memmove(cells + position, cells + position + count, rest * sizeof(Cell));
    buffer->tail -= count * static_cast<std::uint32_t>(sizeof(Cell));
    hashtable::reindex_range(table_of(hash), -static_cast<std::int32_t>(count), position + count, rest);
}

// Inserts cells holding `keys` at `position`, as the block insert does: room at the tail, the later
// cells moved up and their keys shifted, then the new cells indexed.
void insert_cells(Rooted& hash, std::uint32_t position, std::vector<std::uint32_t> const& keys)
{
    auto const count = static_cast<std::uint32_t>(keys.size());
    for (std::uint32_t i = 0; i < count; ++i) append(cell::make(type_ids::block, 0, hash->word2), integer(0));
    SeriesBuffer* buffer = node::buffer(hash->word2);
    std::uint32_t const rest = buffer->length() - count - position;
    Cell* cells = buffer->head_cell();
    std::memmove(cells + position + count, cells + position, rest * sizeof(Cell));
    for (std::uint32_t i = 0; i < count; ++i) cells[position + i] = integer(keys[i]);
    hashtable::reindex_range(table_of(hash), static_cast<std::int32_t>(count), position, rest);
    for (std::uint32_t i = 0; i < count; ++i)
        if (hashtable::insert(table_of(hash), position + i) == hashtable::InsertResult::Rebuilt) break;
}

}

// Moves of any size keep every position right, duplicates included.
TEST_F(HashtableTest, MovesKeepTheIndexRight)
{
    std::vector<std::uint32_t> keys;
    for (std::uint32_t i = 0; i < 40; ++i) keys.push_back(i % 13);
    Rooted hash(make_hash(keys));
    struct Move {
        std::uint32_t to, from, count;
    };
    Move const moves[]
        = { { 0, 10, 5 }, { 30, 2, 4 }, { 5, 6, 20 }, { 6, 5, 20 }, { 0, 39, 1 }, { 39, 0, 1 }, { 3, 3, 9 } };
    for (auto const& m : moves) {
        move_cells(hash, m.to, m.from, m.count);
        expect_index_right(table_of(hash), cell::make(type_ids::block, 0, hash->word2));
    }
    remove_cells(hash, 7, 11);
    expect_index_right(table_of(hash), cell::make(type_ids::block, 0, hash->word2));
    remove_cells(hash, 0, 3);
    expect_index_right(table_of(hash), cell::make(type_ids::block, 0, hash->word2));
    insert_cells(hash, 4, { 1, 2, 3, 1 });
    expect_index_right(table_of(hash), cell::make(type_ids::block, 0, hash->word2));
    insert_cells(hash, 0, { 7 });
    expect_index_right(table_of(hash), cell::make(type_ids::block, 0, hash->word2));
}

TEST_F(HashtableTest, LargeMovesKeepTheIndexRight)
{
    std::vector<std::uint32_t> keys;
    for (std::uint32_t i = 0; i < 70'000; ++i) keys.push_back(i);
    Rooted hash(make_hash(keys));
    move_cells(hash, 0, 35'000, 35'000);
    move_cells(hash, 10, 20, 40'000);
    Cell const block = cell::make(type_ids::block, 0, hash->word2);
    for (std::uint32_t position = 0; position < 70'000; position += 997)
        ASSERT_EQ(hashtable::get(table_of(hash), at(block, position), { .start = position }),
            static_cast<std::int32_t>(position));
    EXPECT_EQ(hashtable::count(table_of(hash)), 70'000u);
}

// A copied hash! index shares no duplicate list with its source: deleting from one leaves the other whole.
TEST_F(HashtableTest, CopiesShareNothing)
{
    Rooted source(make_hash({ 1, 2, 1, 2, 1, 3 }));
    Rooted copied_block(cell::make(type_ids::block, 0, series::copy_buffer(source->word2)));
    Rooted copy(indexed(type_ids::hash, *copied_block, hashtable::copy(table_of(source), copied_block->word2)));
    hashtable::TableRecord const& from = hashtable::record(table_of(source));
    hashtable::TableRecord const& to = hashtable::record(table_of(copy));
    EXPECT_EQ(to.key_series, copied_block->word2);
    EXPECT_NE(to.flags, from.flags);
    EXPECT_NE(to.keys, from.keys);
    EXPECT_NE(to.index, from.index);
    EXPECT_NE(to.chain, from.chain);
    SeriesBuffer* source_chain = node::buffer(from.chain);
    SeriesBuffer* copy_chain = node::buffer(to.chain);
    ASSERT_EQ(source_chain->length(), 2u);
    ASSERT_EQ(copy_chain->length(), 2u);
    for (std::uint32_t i = 0; i < 2; ++i)
        EXPECT_NE(reinterpret_cast<NodeId*>(copy_chain->head_address())[i],
            reinterpret_cast<NodeId*>(source_chain->head_address())[i]);

    for (std::uint32_t position : { 0u, 2u, 1u }) hashtable::delete_(table_of(copy), position);
    EXPECT_EQ(hashtable::get(table_of(copy), integer(1)), 4);
    expect_index_right(table_of(source), cell::make(type_ids::block, 0, source->word2));
    EXPECT_EQ(hashtable::get(table_of(source), integer(2), { .start = 2 }), 3);

    // A node-keyed table's copy gets its own records.
    Rooted nodes(indexed(type_ids::map, cell::make(type_ids::none), hashtable::init(0, nullptr, Kind::NodeKeys, 1)));
    hashtable::put_node_key(table_of(nodes), source->word2)->word2 = 9;
    Rooted nodes_copy(indexed(type_ids::map, cell::make(type_ids::none), hashtable::copy(table_of(nodes), no_node)));
    EXPECT_NE(hashtable::key_series(table_of(nodes_copy)), hashtable::key_series(table_of(nodes)));
    hashtable::get_node_key(table_of(nodes_copy), source->word2)->word2 = 10;
    EXPECT_EQ(hashtable::get_node_key(table_of(nodes), source->word2)->word2, 9u);
}

TEST_F(HashtableTest, ClearEmptiesTheTableAndItsBlock)
{
    Rooted hash(make_hash({ 4, 4, 5 }));
    hashtable::clear(table_of(hash));
    EXPECT_EQ(hashtable::count(table_of(hash)), 0u);
    EXPECT_EQ(length(cell::make(type_ids::block, 0, hash->word2)), 0u);
    EXPECT_EQ(buckets_with(table_of(hash), 2), hashtable::record(table_of(hash)).bucket_count);
    EXPECT_EQ(hashtable::get(table_of(hash), integer(4)), -1);
}

TEST_F(HashtableTest, DumpListsDeletedThenLiveBuckets)
{
    Rooted hash(make_hash({ 1, 1, 2 }));
    hashtable::delete_(table_of(hash), 2);
    conout::capture_for_tests(true);
    hashtable::dump(table_of(hash));
    std::string const output(conout::captured_for_tests());
    conout::capture_for_tests(false);
    std::size_t const deleted = output.find("\n== Deleted keys ==\n");
    std::size_t const alive = output.find("== Alive keys ==\n");
    ASSERT_NE(deleted, std::string::npos);
    ASSERT_NE(alive, std::string::npos);
    std::string const live_part = output.substr(alive + 17);
    EXPECT_NE(live_part.find(" 0 1\n"), std::string::npos) << output;
    EXPECT_NE(output.substr(deleted, alive - deleted).find(" 2\n"), std::string::npos) << output;
}

// Random appends, overwrites, insertions, removals and moves of a hash! block, checked against a shadow
// multimap of key -> position.
TEST_F(HashtableTest, SoakAgainstAShadowMultimap)
{
    std::mt19937 random(2024);
    Rooted hash(make_hash({}));
    std::unordered_multimap<std::uint32_t, std::uint32_t> shadow; // key -> position
    std::vector<std::uint32_t> keys; // the block, as the shadow sees it
    auto rebuild_shadow = [&] {
        shadow.clear();
        for (std::uint32_t p = 0; p < keys.size(); ++p) shadow.emplace(keys[p], p);
    };
    auto check = [&] {
        ASSERT_EQ(hashtable::count(table_of(hash)), shadow.size());
        std::map<std::uint32_t, std::vector<std::int32_t>> expected;
        for (auto [key, position] : shadow) expected[key].push_back(static_cast<std::int32_t>(position));
        for (auto& [key, positions] : expected) {
            std::vector<std::int32_t> walked;
            hashtable::ProbeState walk;
            for (std::int32_t p; (p = hashtable::find_next(table_of(hash), integer(key), walk)) >= 0;)
                walked.push_back(p);
            std::sort(walked.begin(), walked.end());
            std::sort(positions.begin(), positions.end());
            ASSERT_EQ(walked, positions) << "key " << key;
            ASSERT_EQ(hashtable::get(table_of(hash), integer(key)), positions.front());
            ASSERT_EQ(hashtable::get(table_of(hash), integer(key), { .last = true }), positions.back());
        }
        ASSERT_EQ(hashtable::get(table_of(hash), integer(999'999)), -1);
    };
    for (int round = 0; round < 1500; ++round) {
        std::uint32_t const choice = random() % 10;
        std::uint32_t const size = static_cast<std::uint32_t>(keys.size());
        if (choice < 4 || size < 2) { // append a key
            std::uint32_t const key = random() % 40;
            append(cell::make(type_ids::block, 0, hash->word2), integer(key));
            hashtable::insert(table_of(hash), size);
            keys.push_back(key);
            shadow.emplace(key, size);
        } else if (choice < 6) { // overwrite a key in place
            std::uint32_t const position = random() % size;
            std::uint32_t const key = random() % 40;
            hashtable::delete_(table_of(hash), position);
            node::buffer(hash->word2)->head_cell()[position] = integer(key);
            hashtable::insert(table_of(hash), position);
            auto range = shadow.equal_range(keys[position]);
            for (auto it = range.first; it != range.second; ++it)
                if (it->second == position) {
                    shadow.erase(it);
                    break;
                }
            keys[position] = key;
            shadow.emplace(key, position);
        } else if (choice < 8) { // insert a run before a position
            std::uint32_t const position = random() % (size + 1);
            std::vector<std::uint32_t> run(1 + random() % 4);
            for (std::uint32_t& key : run) key = random() % 40;
            insert_cells(hash, position, run);
            keys.insert(keys.begin() + position, run.begin(), run.end());
            rebuild_shadow();
        } else if (choice < 9) { // remove a run
            std::uint32_t const position = random() % size;
            std::uint32_t const count = 1 + random() % std::min(5u, size - position);
            remove_cells(hash, position, count);
            keys.erase(keys.begin() + position, keys.begin() + position + count);
            rebuild_shadow();
        } else { // move a run
            std::uint32_t const from = random() % size;
            std::uint32_t const count = 1 + random() % std::min(8u, size - from);
            std::uint32_t const to = random() % (size - count + 1);
            move_cells(hash, to, from, count);
            std::vector<std::uint32_t> run(keys.begin() + from, keys.begin() + from + count);
            keys.erase(keys.begin() + from, keys.begin() + from + count);
            keys.insert(keys.begin() + to, run.begin(), run.end());
            rebuild_shadow();
        }
        if (round % 100 == 0) gc::collect(); // the table's arrays and lists move under it
        if (round % 25 == 0) check();
        if (HasFatalFailure()) return;
    }
    check();
}
