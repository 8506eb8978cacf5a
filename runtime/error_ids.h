// The error ids a raise names, each looked up by its spelling in the catalogue (runtime/error_catalog.h)
// when the program is compiled: a misspelt id, or one the catalogue lacks, does not compile, and nothing
// but that look-up makes an ErrorId. To add an error, add its entry to library/errors.xol: the build
// generates its constant, named by the mapping the rest of the code uses: category, then id, `-` read as
// `_`, a C++ keyword with a trailing `_` (script `out-of-range` is err::script::out_of_range).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "runtime/error_catalog.h"

namespace xol {

class ErrorId;
consteval ErrorId id_of(std::string_view category, std::string_view id);

// A catalogue position: the category's index and the id's position in it (from 2), read-only. A default
// ErrorId names no entry: it is the record of no error raised yet.
class ErrorId {
public:
    constexpr ErrorId() = default;
    constexpr std::uint8_t category() const { return m_category; }
    constexpr std::uint8_t position() const { return m_position; }
    constexpr std::int32_t code() const { return m_category * 100 + m_position - 2; }
    friend constexpr bool operator==(ErrorId, ErrorId) = default;

private:
    constexpr ErrorId(std::uint8_t category, std::uint8_t position)
        : m_category(category)
        , m_position(position)
    {
    }
    friend consteval ErrorId id_of(std::string_view, std::string_view);

    std::uint8_t m_category = 0;
    std::uint8_t m_position = 0;
};

namespace error_catalog {

// Called only when a compile-time look-up fails, so that the compiler names the fault in its error.
inline void no_such_entry_in_the_catalogue() { }
inline void template_is_not_one_string() { }

}

// The index of a category, by its spelling.
consteval std::uint8_t category_of(std::string_view name)
{
    for (std::uint32_t i = 0; i < error_catalog::category_count; ++i)
        if (error_catalog::categories[i].name == name) return static_cast<std::uint8_t>(i);
    error_catalog::no_such_entry_in_the_catalogue();
    return 0;
}

// The position of an id, by the spellings of its category and of the id.
consteval ErrorId id_of(std::string_view category, std::string_view id)
{
    std::uint8_t const category_position = category_of(category);
    std::span<error_catalog::Entry const> const ids = error_catalog::categories[category_position].ids;
    for (std::size_t i = 0; i < ids.size(); ++i)
        if (ids[i].id == id) return ErrorId(category_position, static_cast<std::uint8_t>(i + 2));
    error_catalog::no_such_entry_in_the_catalogue();
    return ErrorId();
}

namespace error_catalog {

// The entry of an id; nullptr for a default ErrorId.
constexpr Entry const* find(ErrorId error)
{
    if (error.category() >= category_count) return nullptr;
    std::span<Entry const> const ids = categories[error.category()].ids;
    if (error.position() < 2 || error.position() - 2u >= ids.size()) return nullptr;
    return &ids[error.position() - 2u];
}

// The text of a template written as one string, without its quotes; only such a template has one.
consteval std::string_view string_template_text(ErrorId error)
{
    std::string_view const source = find(error)->template_;
    if (source.size() < 2 || source.front() != '"' || source.back() != '"') template_is_not_one_string();
    return source.substr(1, source.size() - 2);
}

}

}

// One constant for each id, named as above: generated from library/errors.xol.
#include "runtime/error_id_constants.h"
