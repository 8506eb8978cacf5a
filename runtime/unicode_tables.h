// The Unicode tables that tools/unicode_tables.py generates into the build tree (unicode_tables.cpp):
// simple case pairs and display-width ranges. Every table is sorted by its first member.
#pragma once

#include <cstdint>
#include <span>

namespace xol::unicode::tables {

struct CasePair {
    std::uint32_t code_point;
    std::uint32_t mapping;
};

struct CodeRange {
    std::uint32_t first;
    std::uint32_t last; // inclusive
};

// Case pairs up to U+FFFF (their mappings stay below U+10000) and above it.
extern std::span<CasePair const> const upper_bmp;
extern std::span<CasePair const> const lower_bmp;
extern std::span<CasePair const> const upper_above;
extern std::span<CasePair const> const lower_above;

// Combining and enclosing marks; East Asian Wide and Fullwidth characters.
extern std::span<CodeRange const> const zero_width;
extern std::span<CodeRange const> const double_width;

}
