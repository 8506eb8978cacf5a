// The datatype registry: every datatype registers once at start-up, parents first, and the registry
// keeps its name and its resolved action row. Dispatch reads one row by type id.
#pragma once

#include <string_view>

#include "datatypes/action_table.h"

namespace xol::datatype {

inline constexpr TypeId type_id = type_ids::datatype;
inline constexpr int table_size = 57; // ids 0 to 56

struct TypeEntry {
    char const* name = nullptr; // with its "!"
    std::uint32_t length = 0; // the name's length without the "!"
    SymbolId word = 0; // the symbol of the name's word, once words exist
};

struct RegistryState {
    TypeEntry types[table_size];
    TypeActions actions[table_size];
    bool registered[table_size];
    TypeId highest = 0;
};

extern RegistryState registry;

// Copies the record's slots into the type's row, taking the parent's resolved slot where the record says
// `inherit`: the parent must be registered first. An inherited slot that the parent leaves empty stays empty.
void register_(DatatypeRecord const&);

inline TypeActions const& actions(TypeId type)
{
    return registry.actions[type];
}
inline bool is_registered(TypeId type)
{
    return type < table_size && registry.registered[type];
}
std::string_view name(TypeId type); // with its "!"; "" when not registered
std::string_view name_without_bang(TypeId type);

// Registers every datatype that exists, in the fixed order of start-up.
void register_all();
void reset(); // for a fresh start-up in tests

Cell make(TypeId denoted); // a datatype! value: word 1 holds the id it denotes

}
