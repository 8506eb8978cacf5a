// The natives that code text: percent escapes (dehex, enhex), the hexadecimal digits of an integer
// (to-hex), and the base 2, 16, 58 and 64 text of bytes (enbase, debase). The coders belong to url! and
// binary!; these choose the coder and the base and make the result.

#include <algorithm>
#include <string_view>

#include "datatypes/binary_codecs.h"
#include "datatypes/integer.h"
#include "datatypes/none.h"
#include "datatypes/string.h"
#include "datatypes/url.h"
#include "datatypes/word.h"
#include "interpreter/natives/entries.h"
#include "interpreter/natives/natives.h"
#include "runtime/errors.h"
#include "runtime/roots.h"
#include "runtime/stack.h"

namespace xol::natives {

namespace {

// The /base argument, 64 without it; any base but 2, 16, 58 and 64 raises script invalid-arg with it.
binary::Base base_argument(std::int32_t refinement)
{
    Cell const* given = refinement_argument(refinement);
    if (!given) return binary::Base::SixtyFour;
    std::optional<binary::Base> const base = binary::base_of(integer::get(*given));
    if (!base) fire_error(err::script::invalid_arg, given);
    return *base;
}

// A new string! on the value stack with room for the argument's units, which `code` fills from the
// argument; it becomes the result.
template <typename Code> void code_text(Code&& code)
{
    Cell* const result = stack::push(none_value);
    string::make_at(*result, string::rs_length_q(*argument(0)));
    code(*argument(0), *result);
    stack::set_only_result(*result);
}

}

void dehex(std::int32_t const*)
{
    code_text([](Cell const& value, Cell const& result) { url::decode(value, result); });
}

// A string! is taken as one component of a URL; a url!, file! or other text as a path, whose slashes,
// colons and the like stay.
void enhex(std::int32_t const*)
{
    code_text([](Cell const& value, Cell const& result) {
        bool const component = cell::type_of(value) == type_ids::string;
        url::encode(value, result, component ? url::KeptSet::Component : url::KeptSet::Path);
    });
}

// Refinement: /size. The eight digits of the 32-bit pattern, or their last /size ones.
void to_hex(std::int32_t const* refinements)
{
    std::string_view digits = string::to_hex(integer::get(*argument(0)), false);
    if (Cell const* size = refinement_argument(refinements[0])) {
        std::int32_t const wanted = integer::get(*size);
        if (wanted <= 0) fire_error(err::script::invalid_arg, size);
        digits = digits.substr(digits.size() - std::min<std::size_t>(static_cast<std::size_t>(wanted), digits.size()));
    }
    stack::set_only_result(issue::make(digits));
}

// Refinement: /base.
void enbase(std::int32_t const* refinements)
{
    binary::Base const base = base_argument(refinements[0]);
    stack::set_only_result(binary::enbase(*argument(0), base));
}

// Refinement: /base. Text that is not valid in the base gives none!.
void debase(std::int32_t const* refinements)
{
    binary::Base const base = base_argument(refinements[0]);
    stack::set_only_result(binary::debase(*argument(0), base));
}

}
