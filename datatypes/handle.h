// handle!: an opaque 32-bit reference tagged with a kind, carried through the language, printed and
// compared; what it refers to is managed elsewhere. It holds an id, never an address.
// Cell: word 1 the kind, word 2 the handle value, word 3 always 0xFFFFFFFF.
#pragma once

#include <cstdint>

#include "datatypes/action_table.h"

namespace xol::handle {

inline constexpr TypeId type_id = type_ids::handle;

// The kinds with names; 0 has none.
enum class Kind : std::uint32_t { None = 0, Null = 1, Fd = 2, Monitor = 3, Window = 4, Font = 5, RichText = 6 };

inline Cell make(std::uint32_t value, Kind kind)
{
    return Cell { type_id, static_cast<std::uint32_t>(kind), value, 0xFFFF'FFFFu };
}
inline std::uint32_t value_of(Cell const& handle)
{
    return handle.word2;
}
inline Kind kind_of(Cell const& handle)
{
    return static_cast<Kind>(handle.word1);
}

void box(std::uint32_t value, Kind kind); // into the current call's result cell
Cell* make_in(Cell const& block, std::uint32_t value, Kind kind); // at the block's tail. May allocate.
Cell* push(std::uint32_t value, Kind kind); // a new handle! on the value stack
Cell* push_null(); // handle 0 of kind 0

// Sets the global word null-handle to handle 0 of kind 0: no literal writes a handle. May allocate.
void define_null_handle();

extern DatatypeRecord const record; // parent integer!, of which it takes no action

}
