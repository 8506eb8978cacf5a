// Operation codes shared by many datatypes: the comparisons every compare action takes and the
// arithmetic, bitwise and set operations of the numeric and set natives.
#pragma once

#include <cstdint>

namespace xol {

// For Equal, NotEqual, StrictEqual, Same and FindEqual a compare action answers 0 when equal and
// 1 when not; for the orderings -1, 0 or 1. Any code answers compare_incomparable when the two
// values cannot be compared.
enum class CompareOp : std::int32_t {
    Equal = 0,
    NotEqual = 1,
    StrictEqual = 2, // also the case-sensitive search
    Lesser = 3,
    LesserOrEqual = 4,
    Greater = 5,
    GreaterOrEqual = 6,
    Sort = 7,
    CaseSort = 8,
    Same = 9,
    FindPathEqual = 10, // search equalities under which path! and lit-path! compare as one type
    FindStrictPathEqual = 11,
    FindEqual = 12, // the ordinary search equality
};

inline constexpr std::int32_t compare_incomparable = -2;

enum class MathOp : std::int32_t {
    Add = 0,
    Subtract = 1,
    Multiply = 2,
    Divide = 3,
    Remainder = 4,
    Or = 5,
    And = 6,
    Xor = 7,
    // The set natives only.
    Unique = 8,
    Union = 9,
    Intersect = 10,
    Exclude = 11,
    Difference = 12,
};

}
