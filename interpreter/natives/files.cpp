// The natives over the file services: size? and to-local-file.

#include <cstdint>

#include "datatypes/file.h"
#include "datatypes/integer.h"
#include "datatypes/none.h"
#include "datatypes/string.h"
#include "interpreter/natives/entries.h"
#include "interpreter/natives/natives.h"
#include "runtime/host/files.h"
#include "runtime/roots.h"
#include "runtime/stack.h"

namespace xol::natives {

// A size that an integer! cannot hold (2 GiB or more) answers none, as a folder or a missing file does.
void size_q(std::int32_t const*)
{
    if (!string::is_text_type(cell::type_of(*argument(0)))) return stack::set_only_result(none_value);
    std::optional<std::int64_t> const size = host::files::size_of(file::local_path(*argument(0)));
    bool const fits = size && *size <= std::int64_t { INT32_MAX };
    stack::set_only_result(fits ? integer::make(static_cast<std::int32_t>(*size)) : none_value);
}

// Refinement: /full.
void to_local_file(std::int32_t const* refinements)
{
    Rooted path(*argument(0));
    Rooted result(string::make(string::rs_length_q(*path)));
    file::to_local(*path, *result, refinements[0] >= 0);
    stack::set_only_result(*result);
}

}
