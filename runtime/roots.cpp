// The chains of rooted values.

#include "runtime/roots.h"

namespace xol::roots {

RootsState state;

}
