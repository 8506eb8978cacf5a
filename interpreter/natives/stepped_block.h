#pragma once
// A native that evaluates a block one expression at a time (reduce, case, any, all, do/next) runs it, for the
// tracer, as the evaluator runs a block: the library's blocks send no events and a user's block given to a
// library function sends them again; while a trace runs, enter comes before the first expression and exit
// after the last, so that the tracers see a level of its own and their record of the calling expression
// outlives the block's expressions.

#include <cstdint>

#include "datatypes/series.h"
#include "interpreter/trace.h"
#include "runtime/cell.h"
#include "runtime/roots.h"

namespace xol::natives {

class SteppedBlock {
public:
    // `block` at the position of its first step. May allocate (the tracer runs).
    explicit SteppedBlock(Cell const& block)
        : m_block(block)
        , m_quiet((node::buffer(block.word2)->flags & series_flags::library) != 0)
    {
        if (trace::state.on)
            trace::event(
                trace::enter, &*m_block, static_cast<std::int32_t>(series::index_of(*m_block)), nullptr, nullptr);
    }

    // After the last step, with the value the block gave. May allocate.
    void done(Cell const* value) const
    {
        if (trace::state.on)
            trace::event(
                trace::exit, &*m_block, static_cast<std::int32_t>(series::rs_total_length(*m_block)), nullptr, value);
    }

private:
    Rooted m_block;
    trace::LibraryScope m_quiet;
};

}
