// transcode: the language's door to the lexer, over the loader's own entry.

#include "interpreter/lexer/transcode.h"

#include "interpreter/natives/entries.h"
#include "interpreter/natives/natives.h"
#include "runtime/stack.h"

namespace xol::natives {

// Refinements: /next, /one, /prescan, /scan, /part length, /into dst, /trace callback.
void transcode(std::int32_t const* refinements)
{
    lexer::TranscodeOptions const options {
        .next = refinements[0] >= 0,
        .one = refinements[1] >= 0,
        .prescan = refinements[2] >= 0,
        .scan = refinements[3] >= 0,
        .part = refinement_argument(refinements[4]),
        .into = refinement_argument(refinements[5]),
        .trace = refinement_argument(refinements[6]),
    };
    stack::set_last(lexer::transcode(*argument(0), options));
}

}
