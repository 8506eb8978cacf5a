// The catalogue's shape, checked when the program is compiled: a fault in the table fails the build here,
// before start-up could build the `errors` object from it or a look-up could pick the wrong entry.

#include "runtime/error_catalog.h"

#include "runtime/error_ids.h"

namespace xol::error_catalog {

namespace {

// Codes count a category's ids within its hundred; category indexes are bytes.
consteval bool positions_fit()
{
    for (Category const& category : categories)
        if (category.ids.size() > 100) return false;
    return category_count <= 255;
}

// A look-up by spelling answers the first match, so a second entry of one spelling could never be raised.
consteval bool spellings_are_unique()
{
    for (std::uint32_t i = 0; i < category_count; ++i) {
        for (std::uint32_t j = i + 1; j < category_count; ++j)
            if (categories[i].name == categories[j].name) return false;
        std::span<Entry const> const ids = categories[i].ids;
        for (std::size_t a = 0; a < ids.size(); ++a)
            for (std::size_t b = a + 1; b < ids.size(); ++b)
                if (ids[a].id == ids[b].id) return false;
    }
    return true;
}

// One argument word: arg1, arg2 or arg3, as a word or a get-word.
consteval bool is_argument_word(std::string_view word)
{
    if (word.starts_with(':')) word.remove_prefix(1);
    return word == "arg1" || word == "arg2" || word == "arg3";
}

// A string without quotes inside, or an argument word, starting at `text`'s front; answers its length,
// or 0 when there is none.
consteval std::size_t item_length(std::string_view text)
{
    if (text.starts_with('"')) {
        std::size_t const end = text.find('"', 1);
        return end == std::string_view::npos ? 0 : end + 1;
    }
    std::size_t const end = text.find_first_of(" ]");
    std::string_view const word = text.substr(0, end);
    return is_argument_word(word) ? word.size() : 0;
}

// What the template reader of the `errors` object accepts: one string, one argument word, or a block of
// strings and argument words separated by single spaces.
consteval bool is_well_formed(std::string_view source)
{
    if (!source.starts_with('[')) return !source.empty() && item_length(source) == source.size();
    if (!source.ends_with(']')) return false;
    std::string_view items = source.substr(1, source.size() - 2);
    while (!items.empty()) {
        std::size_t const length = item_length(items);
        if (length == 0) return false;
        items.remove_prefix(length);
        if (items.empty()) break;
        if (!items.starts_with(' ') || items.size() == 1) return false;
        items.remove_prefix(1);
    }
    return true;
}

consteval bool templates_are_well_formed()
{
    for (Category const& category : categories)
        for (Entry const& entry : category.ids)
            if (!is_well_formed(entry.template_)) return false;
    return true;
}

static_assert(positions_fit(), "a category has more than 100 ids, or there are too many categories");
static_assert(spellings_are_unique(), "two categories, or two ids of one category, share a spelling");
static_assert(templates_are_well_formed(), "a template is not a string, an argument word or a block of them");

}

}
