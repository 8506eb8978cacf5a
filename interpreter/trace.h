// Trace events: while code runs under do/trace, the evaluator reports each step to a tracer function written
// in the language. Every send site tests `state.on` before preparing anything, so untraced code pays one
// test per site.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/series.h"

namespace xol::trace {

enum Event : std::uint32_t {
    init = 1,
    end = 2,
    prolog = 4,
    epilog = 8,
    enter = 16,
    exit = 32,
    open = 64,
    return_ = 128,
    fetch = 256,
    push = 512,
    set = 1024,
    call = 2048,
    error = 4096,
    throw_ = 8192,
    catch_ = 16384,
    expr = 32768,
};

inline constexpr std::uint32_t default_mask = 0x1FFFF;

struct TraceState {
    bool on = false; // events are sent
    bool requested = false; // a do/trace is running (a nested request is ignored)
    bool requested_on = false; // the flag a function with the trace attribute runs its body with
    std::uint32_t mask = 0;
    std::int32_t extra_cells = 0; // the tracer's /local and locals: 1 + their count, 0 without
    Cell tracer = cell::make(type_ids::none); // rooted
    bool quieted = false; // a trace runs, its events held back while the library's code runs
    bool muted = false; // the traced code turned delivery off (`trace false`) until it turns it on again
};

extern TraceState state;

// The library's code runs without trace events, as compiled code would: for the time of one block (or one
// function body) of the library a running trace is quieted, and a block of the user's run from inside it
// (a block or function given to a library function) sends its events again. Decided once per block run.
// It also tells the copier whose code runs.
class LibraryScope {
public:
    explicit LibraryScope(bool library)
        : m_on(state.on)
        , m_quieted(state.quieted)
        , m_library_running(series::library_state.running)
    {
        series::library_state.running = library;
        if (library && state.on) {
            state.on = false;
            state.quieted = true;
            m_changed = true;
        } else if (!library && state.quieted) {
            state.on = true;
            state.quieted = false;
            m_changed = true;
        }
    }
    ~LibraryScope()
    {
        series::library_state.running = m_library_running;
        if (!m_changed) return;
        state.on = m_on;
        state.quieted = m_quieted;
    }
    LibraryScope(LibraryScope const&) = delete;
    LibraryScope& operator=(LibraryScope const&) = delete;

private:
    bool m_on;
    bool m_quieted;
    bool m_library_running;
    bool m_changed = false;
};

// Roots the tracer cell. Start-up calls it once.
void root_tracer();

// Reports a raised error to the tracer while a trace runs (the services record's entry for every raise).
// May allocate.
void report_error(Cell const& error);

// Sends one event, when a tracer is set and its mask has the event. `code` is the series being evaluated
// (nullptr when none) and `position` a cell index in it (-1 when none); `reference` and `value` may be
// nullptr. Errors raised by the tracer come back out of here. May allocate.
void event(Event, Cell const* code, std::int32_t position, Cell const* reference, Cell const* value);

// The tracer's event mask: the event words of a block starting its body, else the default mask.
std::uint32_t mask_of(Cell const& tracer);

// Turns the delivery of events on or off for the rest of the running trace; outside one it does nothing.
// The evaluator still reports its steps: they stop here, so a trace turned off and on again keeps its place.
void set_delivery(bool on);

// do/trace: installs the tracer and sends init (ignored while a trace runs; answers whether it started);
// finish sends end and clears the state.
bool start(Cell const& tracer);
void finish();

}
