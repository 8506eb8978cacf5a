// block!: the set operations over records whose first cells are all integer!: membership in a table of
// machine integers, the kept records written straight into the answer. Integers are equal under every
// search equality exactly when their payloads are, so the answer is the one the general path gives.

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

#include "datatypes/block_private.h"
#include "runtime/errors.h"

namespace xol::block::detail {

namespace {

// A set of 32-bit integers by open addressing: 0 marks a free slot, so the integer 0 is kept apart.
class IntegerSet {
public:
    explicit IntegerSet(std::uint32_t expected)
    {
        std::uint32_t slots = 16;
        while (slots < 2 * std::min<std::uint64_t>(expected, 1u << 20)) slots *= 2;
        resize(slots);
    }

    bool contains(std::uint32_t key) const
    {
        if (key == 0) return m_has_zero;
        for (std::uint32_t slot = home(key);; slot = (slot + 1) & m_mask) {
            if (m_slots[slot] == key) return true;
            if (m_slots[slot] == 0) return false;
        }
    }

    // Answers whether the key was new.
    bool add(std::uint32_t key)
    {
        if (key == 0) return !std::exchange(m_has_zero, true);
        std::uint32_t slot = home(key);
        for (; m_slots[slot] != 0; slot = (slot + 1) & m_mask)
            if (m_slots[slot] == key) return false;
        m_slots[slot] = key;
        // At most half full: probes stay short.
        if (++m_count > m_mask / 2) resize((m_mask + 1) * 2);
        return true;
    }

private:
    std::uint32_t home(std::uint32_t key) const { return (key * 0x9E37'79B1u) >> m_shift; }

    void resize(std::uint32_t slots)
    {
        std::unique_ptr<std::uint32_t[]> old = std::move(m_slots);
        std::uint32_t const old_slots = old ? m_mask + 1 : 0;
        m_slots.reset(new (std::nothrow) std::uint32_t[slots]());
        if (!m_slots) fire_error(err::internal::no_memory);
        m_mask = slots - 1;
        m_shift = static_cast<std::uint32_t>(32 - std::countr_zero(slots));
        for (std::uint32_t i = 0; i < old_slots; ++i) {
            std::uint32_t const key = old[i];
            if (key == 0) continue;
            std::uint32_t slot = home(key);
            while (m_slots[slot] != 0) slot = (slot + 1) & m_mask;
            m_slots[slot] = key;
        }
    }

    std::unique_ptr<std::uint32_t[]> m_slots;
    std::uint32_t m_mask = 0;
    std::uint32_t m_shift = 0;
    std::uint32_t m_count = 0;
    bool m_has_zero = false;
};

bool integer_heads(Cell const& series, std::uint32_t size)
{
    Cell const* cells = buffer_of(series)->head_cell();
    std::uint32_t const total = total_of(series);
    for (std::uint32_t place = position_of(series); place < total; place += size)
        if (cell::type_of(cells[place]) != type_ids::integer) return false;
    return true;
}

}

bool integer_set_op(Cell const& result, Cell const& first, Cell const* second, std::uint32_t size, MathOp op)
{
    if (!integer_heads(first, size) || (second && !integer_heads(*second, size))) return false;
    std::uint32_t const length1 = total_of(first) - position_of(first);
    std::uint32_t const length2 = second ? total_of(*second) - position_of(*second) : 0;
    // Room for every cell the answer may take, made before any address is read: nothing allocates after.
    reserve(result.word2, std::uint64_t { length1 } + length2, false);
    SeriesBuffer* const target = buffer_of(result);
    Cell* out = target->tail_cell();

    auto heads_of = [size](Cell const& series, IntegerSet& set) {
        Cell const* cells = buffer_of(series)->head_cell();
        std::uint32_t const total = total_of(series);
        for (std::uint32_t place = position_of(series); place < total; place += size) set.add(cells[place].word2);
    };
    IntegerSet collected(length1 / size + 1);
    // Every record whose first integer is new to the answer (and, with `other`, is or is not in it) copied whole.
    auto collect = [&](Cell const& from, IntegerSet const* other, bool keep_members) {
        Cell const* cells = buffer_of(from)->head_cell();
        std::uint32_t const total = total_of(from);
        for (std::uint32_t place = position_of(from); place < total; place += size) {
            std::uint32_t const key = cells[place].word2;
            if (other && other->contains(key) != keep_members) continue;
            if (!collected.add(key)) continue;
            std::uint32_t const count = std::min(size, total - place);
            if (count == 1) {
                *out++ = cells[place];
            } else {
                std::memcpy(out, cells + place, std::size_t { count } * sizeof(Cell));
                out += count;
            }
        }
    };

    auto make_set = [](std::uint32_t count) { return IntegerSet(count); };
    run_set_passes(op, first, second, length1, length2, size, make_set, heads_of, collect);
    target->tail = static_cast<std::uint32_t>(reinterpret_cast<std::byte*>(out) - target->data());
    return true;
}

}
