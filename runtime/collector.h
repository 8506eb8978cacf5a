// The garbage collector's switches and its entry points as the memory manager sees them.
#pragma once

#include <cstdint>

namespace xol::gc {

struct CollectorState {
    // Collection runs only while enabled; start-up enables it once everything made before is rooted.
    bool enabled = false;
    bool collecting = false;
    // XOL_GC_STRESS=1 in the environment: every allocation collects, so a value that C++ code forgot to
    // root is lost at once instead of one day.
    bool stress = false;
    std::uint32_t collections = 0;
    std::uint32_t node_relocations = 0;
};

extern CollectorState state;

void init(); // reads the stress switch

// Collects when enabled and not already collecting.
void collect_if_enabled();
void collect();

}
