// The garbage collector. TODO: marking, compaction and node relocation; until they exist a collection
// only counts itself, which keeps every buffer alive.

#include "runtime/collector.h"

#include "runtime/platform/environment.h"

namespace xol::gc {

CollectorState state;

void init()
{
    auto stress = platform::get_env("XOL_GC_STRESS");
    state.stress = stress && !stress->empty() && *stress != "0";
}

void collect_if_enabled()
{
    if (state.enabled && !state.collecting) collect();
}

void collect()
{
    state.collecting = true;
    ++state.collections;
    state.collecting = false;
}

}
