// The error catalogue: the ten categories in order, each with its title and its ids in order, each id
// with its message template. This table is the one place the messages live; the `errors` object that
// scripts see is built from it. Positions match runtime/error_ids.h: an id at index i of its category's
// list has the catalogue position i + 2 (positions 0 and 1 are the category's `code` and `type` fields).
//
// A template is written as its value would be loaded: a string ("stack overflow"), a block of strings and
// argument words ([:arg1 "has no value"]), or a bare word naming one field of the error (arg1).
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "runtime/error_ids.h"

namespace xol::error_catalog {

struct Entry {
    std::string_view id; // the id word's spelling
    std::string_view template_; // the template's source text
};

struct Category {
    std::string_view name; // the category word's spelling
    std::string_view title; // the category's `type` text, the title of its formed errors
    std::span<Entry const> ids;
};

inline constexpr std::uint32_t category_count = 10;

std::span<Category const> categories();

// The entry of an id; nullptr when the catalogue has no such category or position.
Entry const* find(ErrorId);

}
