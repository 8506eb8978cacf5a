// The error catalogue as C++ sees it: the ten categories in order, each with its title and its ids in order,
// each id with its message template. The one place where error ids and their messages live is
// library/errors.xol, the catalogue as Xol source in the boot image; the build generates the tables here from
// it (tools/error_catalog.py). The constants raise sites name (runtime/error_ids.h) are looked up in these
// tables by spelling when the program is compiled; the runtime builds its `errors` object from them at
// start-up (datatypes/error.cpp), for the errors raised before the library has run, and takes the object the
// library's source makes, system/catalog/errors, once it has.
//
// Positions count as the `errors` object does: an id at index i of its category's list has position i + 2
// (positions 0 and 1 are the category's `code` and `type` fields), and its code is category x 100 + i.
//
// A template is written as its value would be loaded: a string ("stack overflow"), a block of strings and
// argument words ([:arg1 "has no value"]), or a bare word naming one field of the error (arg1). Argument
// words name fields of the error (arg1, arg2, arg3); when the message is formed, strings are written as
// they are and the items are joined by single spaces.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace xol::error_catalog {

// Whose words a message is. A standard message is the language's own text, which scripts and users may
// match word for word; ours is this implementation's wording for an id the language names without giving
// its text, and may be reworded.
enum class Wording : std::uint8_t { standard, ours };
using enum Wording;

struct Entry {
    std::string_view id; // the id word's spelling
    std::string_view template_; // the template's source text
    Wording wording;
};

struct Category {
    std::string_view name; // the category word's spelling
    std::string_view title; // the category's `type` text, the title of its formed errors
    std::span<Entry const> ids;
};

}

// Each category's ids with their templates, and the categories in order: generated from library/errors.xol.
#include "runtime/error_catalog_tables.h"

namespace xol::error_catalog {

inline constexpr std::uint32_t category_count = static_cast<std::uint32_t>(std::size(categories));

}
