// port!: the handle on an external resource reached through a scheme. A port is an object whose behaviour
// lives in its scheme's actor: the series and I/O actions applied to it go, with the port and the action's
// own arguments as cells, to the actor's function of the same name. The type itself makes ports from specs,
// prints them, and runs read and write as sequences of other port actions.
//
// Cell: an object! cell with type 48 and class id 2, on a copy of the context of system/standard/port,
// whose first fields are spec (the spec object), scheme (its scheme word) and actor (the scheme's actor).
//
// Actors are object!s. A handle! actor would name a table of typed entries that native code registers;
// none is registered, so making a port from a scheme whose actor is a handle! raises access invalid-actor,
// and an action on a port whose actor field holds anything but an object! raises access invalid-port.
#pragma once

#include <cstdint>

#include "datatypes/action_table.h"

namespace xol::port {

inline constexpr TypeId type_id = type_ids::port;
inline constexpr std::uint32_t class_id = 2;

// The field slots of a port and of its spec object.
inline constexpr std::uint32_t spec_field = 0;
inline constexpr std::uint32_t scheme_field = 1;
inline constexpr std::uint32_t actor_field = 2;

// make with port!: a spec object as it is, or a block (any spec make object! takes) made over a copy of
// system/standard/url-parts. Raises access no-scheme, unknown-scheme or invalid-actor. May allocate.
Cell make(Cell const& prototype, Cell const& spec, TypeId type);

// What the actor's length? answers: an integer! as it is (a negative count included) or none!; any other
// answer raises script invalid-type with its type. May allocate.
Cell length_answer(Cell const& port);

// The actions other types reach ports through (url! for its schemes other than http). open forwards to the
// actor; read runs open, copy and close; write runs open, insert, copy and close, each step applied to the
// port itself. May allocate.
Cell open(Cell const& port, OpenOptions const&);
Cell read(Cell const& port, ReadOptions const&);
Cell write(Cell const& port, Cell const& data, WriteOptions const&);

extern DatatypeRecord const record; // parent object!

}
