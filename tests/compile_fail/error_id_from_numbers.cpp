// Must not compile: an id made from positions instead of looked up by its spelling.
#include "runtime/error_ids.h"

namespace xol::err::script {
inline constexpr ErrorId out_of_range_by_number { 3, 43 };
}
