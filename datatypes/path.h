// path! and its children lit-path!, set-path! and get-path!: cell series with the layout of block! that the
// evaluator walks step by step. As data they behave like blocks; they differ in their text and in a few
// actions (no random, sort or trim).
#pragma once

#include <cstdint>

#include "datatypes/action_table.h"

namespace xol::path {

inline constexpr TypeId type_id = type_ids::path;

// Sets the type of `cell` to path! and pushes a copy of it on the value stack.
Cell* push(Cell& cell);
// An empty path! (index 0) with room for n cells (below 1 counts as 1). May allocate.
void make_at(Cell& cell, std::int32_t n);

Cell make(Cell const& prototype, Cell const& spec, TypeId type);
Cell to(Cell const& prototype, Cell const& spec, TypeId type);
std::int32_t form(Cell const& value, Cell& buffer, Refinement part, std::int32_t limit);
std::int32_t mold(Cell const& value, Cell& buffer, bool only, bool all, bool flat, Refinement part, std::int32_t limit,
    std::int32_t indent);

extern DatatypeRecord const record; // registered after block!

}

namespace xol::lit_path {

inline constexpr TypeId type_id = type_ids::lit_path;
Cell* push(Cell& cell);
void make_at(Cell& cell, std::int32_t n); // May allocate.
extern DatatypeRecord const record; // registered after path!

}

namespace xol::set_path {

inline constexpr TypeId type_id = type_ids::set_path;
Cell* push(Cell& cell);
void make_at(Cell& cell, std::int32_t n); // May allocate.
extern DatatypeRecord const record; // registered after path!

}

namespace xol::get_path {

inline constexpr TypeId type_id = type_ids::get_path;
Cell* push(Cell& cell);
void make_at(Cell& cell, std::int32_t n); // May allocate.
extern DatatypeRecord const record; // registered after path!

}
