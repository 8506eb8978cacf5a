// Must not compile: a constant for an id its category lacks (a slip of the keyboard).
#include "runtime/error_ids.h"

namespace xol::err::script {
inline constexpr ErrorId out_of_range_misspelt = id_of("script", "out-of-rnage");
}
