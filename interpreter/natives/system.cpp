// The natives that reach the runtime's own services: recycle.

#include "datatypes/unset.h"
#include "interpreter/natives/entries.h"
#include "interpreter/natives/natives.h"
#include "runtime/collector.h"
#include "runtime/stack.h"

namespace xol::natives {

// Refinements: /on, /off. Neither: one full collection, answering the memory in use as stats does. A
// collection asked for while code below holds buffer addresses (a hold is live) waits for the next one.
void recycle(std::int32_t const* refinements)
{
    bool const on = refinements[0] >= 0;
    bool const off = refinements[1] >= 0;
    if (on || off) {
        gc::state.enabled = on;
        stack::set_only_result(unset_value);
        return;
    }
    if (gc::state.holds == 0 && !gc::state.collecting) gc::collect();
    std::int32_t const plain[] = { -1, -1 };
    stats(plain);
}

}
