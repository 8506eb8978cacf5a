// binary!: helpers shared by the binary module's own files; nothing outside the module includes this.
#pragma once

#include <cstdint>
#include <vector>

#include "datatypes/binary.h"

namespace xol::binary::detail {

// Makes room for `extra` more bytes at the tail, doubling the capacity or more; answers the buffer. A size
// beyond the largest buffer raises internal no-memory. May allocate.
SeriesBuffer* reserve(NodeId, std::uint64_t extra);

// How the bytes of a value are taken: for append, insert and `to`, a value of no bytes of its own raises
// script bad-to-arg; for change, it brings the UTF-8 of its formed text.
enum class BytesMode { Insert, Change };

// Appends the bytes of `value` to `out`. `limit` (-1: none) cuts a value's bytes to it; for a block it
// counts values, or output bytes with `byte_limit`. Nothing but `out` changes, so the editing actions
// gather first and a value refused midway leaves the series as it was. May allocate (forming, in change
// mode).
void gather(std::vector<std::uint8_t>& out, Cell const& value, std::int64_t limit, bool byte_limit, BytesMode);

}
