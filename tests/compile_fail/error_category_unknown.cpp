// Must not compile: a constant for an id of a category the catalogue lacks.
#include "runtime/error_ids.h"

namespace xol::err::script {
inline constexpr ErrorId out_of_range_elsewhere = id_of("scripts", "out-of-range");
}
