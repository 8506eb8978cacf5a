// The services record, empty until start-up fills it.

#include "runtime/services.h"

#include <algorithm>
#include <array>
#include <bit>
#include <type_traits>

namespace xol {

Services services;

// Pointers only, no padding: the record reads as an array of words, each of which must be set.
static_assert(std::has_unique_object_representations_v<Services>, "the services record holds pointers only");
static_assert(sizeof(Services) % sizeof(std::uintptr_t) == 0);

bool is_complete(Services const& record)
{
    auto const words = std::bit_cast<std::array<std::uintptr_t, sizeof(Services) / sizeof(std::uintptr_t)>>(record);
    return std::ranges::none_of(words, [](std::uintptr_t word) { return word == 0; });
}

}
