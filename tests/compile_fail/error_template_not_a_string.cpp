// Must not compile: the text of a template that is a block of strings and arguments, not one string.
#include "runtime/error_ids.h"

namespace xol {
inline constexpr std::string_view no_value_text = error_catalog::string_template_text(err::script::no_value);
}
