// What the data codecs' routines share.
#pragma once

#include "runtime/cell.h"

namespace xol::routines {

// Resolves JSON escapes in `text` in place from its index; a bad escape raises script invalid-data with the
// text as it stands then. `text` must not lie in a series buffer. May allocate.
void json_unescape_in_place(Cell const& text);

}
