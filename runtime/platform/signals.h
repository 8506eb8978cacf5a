// Signals: faults turned into runtime error statuses, Control-C, termination requests and broken pipes.
// Handlers run on an alternate signal stack, so a stack overflow can still be reported.
#pragma once

#include <cstdint>

namespace xol::platform {

struct SignalHandlers {
    // A fault (SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGTRAP, SIGABRT) mapped to its runtime error status, with
    // the faulting instruction's address. Must be async-signal-safe and never return.
    void (*fault)(int status, std::uintptr_t address);
    // Control-C: must be async-signal-safe and never return.
    void (*interrupt)();
    // Called before SIGTERM, SIGHUP and SIGQUIT take their default action (async-signal-safe).
    void (*before_termination)();
};

// The runtime error status of a fault signal (the codes of the report's message table).
int fault_status(int signal, int code, bool in_stack_guard);

// Blocks the asynchronous signals in the calling thread; threads it starts inherit the mask.
void block_async_signals();
// Installs the handlers and an alternate signal stack for the calling thread, unblocks the asynchronous
// signals there and ignores SIGPIPE (a closed reader shows as a broken-pipe write instead).
void install_signal_handlers(SignalHandlers const&);

// Ends the process the way a closed pipe would have without SIGPIPE ignored.
[[noreturn]] void end_by_broken_pipe();

}
