// Raising language errors and the transport of every non-local exit (error, break, continue, return,
// exit, throw). A raise records the error in the runtime's rooted error record and unwinds with a C++
// exception that carries only the unwind code: the collector cannot see inside an exception.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/error_ids.h"

namespace xol {

enum class UnwindCode : std::uint32_t {
    None = 0, // nothing pending
    Error = 0x7FFFFFFF,
    Break = 0x7FFFFFFE,
    Continue = 0x7FFFFFFD,
    Return = 0x7FFFFFFC,
    Exit = 0x7FFFFFFB,
    Throw = 0x7FFFFFFA,
};

struct Unwind {
    UnwindCode code;
};

// The error being raised: its catalogue id and up to three arguments (unset when not given). Rooted:
// the collector marks the argument cells.
struct RaisedError {
    ErrorId id;
    Cell arguments[3];
    std::uint8_t argument_count;
};

// Never returns. The arguments are copied before anything else happens, so they may point into series.
[[noreturn]] void fire_error(
    ErrorId, Cell const* arg1 = nullptr, Cell const* arg2 = nullptr, Cell const* arg3 = nullptr);

namespace errors {

RaisedError const& last_raised();
RaisedError& last_raised_for_marking(); // the collector's view of the record
void reset(); // a fresh start-up: no error in flight

}

}
