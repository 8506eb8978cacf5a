// The datatype registry.

#include "datatypes/registry.h"

#include <cstring>
#include <initializer_list>

#include "datatypes/binary.h"
#include "datatypes/bitset.h"
#include "datatypes/block.h"
#include "datatypes/char.h"
#include "datatypes/context.h"
#include "datatypes/datatype.h"
#include "datatypes/date.h"
#include "datatypes/email.h"
#include "datatypes/error.h"
#include "datatypes/file.h"
#include "datatypes/float.h"
#include "datatypes/function.h"
#include "datatypes/handle.h"
#include "datatypes/hash.h"
#include "datatypes/image.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/map.h"
#include "datatypes/money.h"
#include "datatypes/native.h"
#include "datatypes/none.h"
#include "datatypes/object.h"
#include "datatypes/op.h"
#include "datatypes/pair.h"
#include "datatypes/paren.h"
#include "datatypes/path.h"
#include "datatypes/percent.h"
#include "datatypes/point2d.h"
#include "datatypes/point3d.h"
#include "datatypes/port.h"
#include "datatypes/ref.h"
#include "datatypes/routine.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/tag.h"
#include "datatypes/time.h"
#include "datatypes/triple.h"
#include "datatypes/tuple.h"
#include "datatypes/typeset.h"
#include "datatypes/unset.h"
#include "datatypes/url.h"
#include "datatypes/vector.h"
#include "datatypes/word.h"
#include "runtime/assert.h"

namespace xol::datatype {

RegistryState registry;

void register_(DatatypeRecord const& entry)
{
    TypeId const type = entry.id;
    XOL_ASSERT(type > 0 && type < table_size, "datatype id out of range");
    XOL_ASSERT(entry.parent == no_parent || registry.registered[entry.parent], "a parent registers first");
    if (type > registry.highest) registry.highest = type;
    registry.types[type] = TypeEntry { entry.name, static_cast<std::uint32_t>(std::strlen(entry.name) - 1), 0 };

    static TypeActions const no_actions {};
    TypeActions const& parent = entry.parent == no_parent ? no_actions : registry.actions[entry.parent];
    for_each_action(
        entry.actions, parent, registry.actions[type], [](auto const& slot, auto const& inherited, auto& resolved) {
            resolved = slot.inherits ? inherited : slot.function;
        });
    registry.registered[type] = true;
}

std::string_view name(TypeId type)
{
    return is_registered(type) ? registry.types[type].name : "";
}

std::string_view name_without_bang(TypeId type)
{
    return is_registered(type) ? std::string_view(registry.types[type].name, registry.types[type].length) : "";
}

void reset()
{
    registry = RegistryState {};
}

// The fixed order of start-up: parents before their children.
void register_all()
{
    reset();
    for (DatatypeRecord const* each : {
             &datatype::record,
             &unset::record,
             &none::record,
             &logic::record,
             &series::record,
             &block::record,
             &string::record,
             &binary::record,
             &integer::record,
             &symbol::record,
             &context::record,
             &word::record,
             &lit_word::record,
             &set_word::record,
             &get_word::record,
             &refinement::record,
             &char_::record,
             &native::record,
             &action::record,
             &op::record,
             &path::record,
             &lit_path::record,
             &set_path::record,
             &get_path::record,
             &function::record,
             &routine::record,
             &paren::record,
             &issue::record,
             &object::record,
             &bitset::record,
             &triple::record,
             &float_::record,
             &typeset::record,
             &error::record,
             &vector::record,
             &map::record,
             &hash_::record,
             &pair::record,
             &percent::record,
             &tuple::record,
             &time::record,
             &tag::record,
             &email::record,
             &handle::record,
             &date::record,
             &money::record,
             &ref::record,
             &point2d::record,
             &point3d::record,
             &url::record,
             &file::record,
             &port::record,
             &image::record,
         })
        register_(*each);
}

Cell make(TypeId denoted)
{
    return cell::make(type_id, denoted);
}

}
