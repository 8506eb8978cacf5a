// The parse native: reads its refinements and hands the input and the rules to the parse engine.

#include <algorithm>

#include "datatypes/logic.h"
#include "datatypes/none.h"
#include "datatypes/series.h"
#include "interpreter/natives/entries.h"
#include "interpreter/natives/natives.h"
#include "interpreter/parse/parse.h"
#include "runtime/errors.h"
#include "runtime/stack.h"
#include "runtime/type_families.h"

namespace xol::natives {

void parse(std::int32_t const* refinements)
{
    Cell* const base = stack::state.base;
    Cell const& input = base[0];
    TypeId const type = cell::type_of(input);
    if (!::xol::parse::is_input_type(type)) fire_error(err::script::invalid_arg, &input);
    CompareOp const mode = refinements[0] >= 0 ? CompareOp::StrictEqual : CompareOp::Equal;

    // /part: a length from the input's position, or a position of the same series; the run ends there.
    std::uint32_t limit = ::xol::parse::no_limit;
    if (Cell const* part = refinement_argument(refinements[1])) {
        std::uint32_t const total = series::rs_total_length(input);
        std::int64_t const index = std::min(series::index_of(input), total);
        std::int64_t end = 0;
        TypeId const part_type = cell::type_of(*part);
        if (part_type == type_ids::integer || part_type == type_ids::float_) {
            end = index + number::to_int_checked(*part);
        } else if (cell::type_of(*part) == type && part->word2 == input.word2) {
            end = series::index_of(*part);
        } else {
            Cell const refinement = series::refinement_word("part");
            fire_error(err::script::invalid_refine_arg, &refinement, part);
        }
        // No end at all: nothing to run the rules on.
        if (end < 1) {
            stack::set_only_result(logic::make(index >= total));
            return;
        }
        limit = end < ::xol::parse::no_limit ? static_cast<std::uint32_t>(end) : ::xol::parse::no_limit - 1;
    }
    Cell const* callback = refinement_argument(refinements[2]);
    Cell const result = ::xol::parse::run(base[0], base[1], mode, limit, callback ? *callback : none_value);
    stack::set_only_result(result);
}

}
