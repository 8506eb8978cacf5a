// The datatype registry.

#include "datatypes/registry.h"

#include <cstring>

#include "runtime/assert.h"

namespace xol::datatype {

RegistryState registry;

void register_(DatatypeRecord const& record)
{
    TypeId const type = record.id;
    XOL_ASSERT(type > 0 && type < table_size, "datatype id out of range");
    XOL_ASSERT(record.parent == no_parent || registry.registered[record.parent], "a parent registers first");
    if (type > registry.highest) registry.highest = type;
    registry.types[type] = TypeEntry { record.name, static_cast<std::uint32_t>(std::strlen(record.name) - 1), 0 };

    static TypeActions const no_actions {};
    TypeActions const& parent = record.parent == no_parent ? no_actions : registry.actions[record.parent];
    for_each_action(record.actions, parent, registry.actions[type],
        [](auto const& slot, auto const& inherited, auto& resolved) {
            resolved = slot.inherits ? inherited : slot.function;
        });
    registry.registered[type] = true;
}

std::string_view name(TypeId type) { return is_registered(type) ? registry.types[type].name : ""; }

std::string_view name_without_bang(TypeId type)
{
    return is_registered(type) ? std::string_view(registry.types[type].name, registry.types[type].length) : "";
}

void reset() { registry = RegistryState {}; }

void register_all()
{
    reset();
    // TODO: the datatypes in their start-up order, parents first, as their modules come.
}

Cell make(TypeId denoted) { return cell::make(type_id, denoted); }

}
