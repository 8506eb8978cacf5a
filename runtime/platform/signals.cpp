// Signals on POSIX: fault handlers on an alternate stack, Control-C, termination and broken pipes.

#include "runtime/platform/signals.h"

#include <csignal>
#include <cstdlib>
#include <initializer_list>

#include <signal.h>
#include <ucontext.h>
#include <unistd.h>

#include "runtime/platform/terminal.h"
#include "runtime/platform/thread.h"

namespace xol::platform {

namespace {

SignalHandlers handlers {};

constexpr int fault_signals[] = { SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGTRAP, SIGABRT };
constexpr int termination_signals[] = { SIGTERM, SIGHUP, SIGQUIT };

void async_signal_set(sigset_t& set)
{
    sigemptyset(&set);
    for (int signal : { SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGWINCH }) sigaddset(&set, signal);
}

std::uintptr_t instruction_address(void* context)
{
#if defined(__x86_64__)
    return static_cast<std::uintptr_t>(static_cast<ucontext_t*>(context)->uc_mcontext.gregs[REG_RIP]);
#else
    (void)context;
    return 0;
#endif
}

void on_fault(int signal, siginfo_t* info, void* context)
{
    restore_terminal(); // before the report, so that it prints on a sane terminal
    bool const in_guard
        = (signal == SIGSEGV || signal == SIGBUS) && is_in_stack_guard(reinterpret_cast<std::uintptr_t>(info->si_addr));
    handlers.fault(fault_status(signal, info->si_code, in_guard), instruction_address(context));
}

void on_interrupt(int)
{
    restore_terminal();
    handlers.interrupt();
}

void on_termination(int signal)
{
    restore_terminal();
    if (handlers.before_termination) handlers.before_termination();
    struct sigaction action { };
    action.sa_handler = SIG_DFL;
    sigaction(signal, &action, nullptr);
    raise(signal);
}

}

int fault_status(int signal, int code, bool in_stack_guard)
{
    switch (signal) {
    case SIGSEGV:
        return in_stack_guard ? 19 : 1;
    case SIGBUS:
        return in_stack_guard ? 19 : 34;
    case SIGILL:
        return 17;
    case SIGABRT:
        return 98;
    case SIGTRAP:
        return code == TRAP_TRACE ? 4 : 3;
    case SIGFPE:
        switch (code) {
        case FPE_INTDIV:
            return 13;
        case FPE_INTOVF:
            return 14;
        case FPE_FLTDIV:
            return 7;
        case FPE_FLTOVF:
            return 10;
        case FPE_FLTUND:
            return 12;
        case FPE_FLTRES:
            return 8;
        case FPE_FLTINV:
            return 9;
        case FPE_FLTSUB:
            return 5;
        default:
            return 33;
        }
    default:
        return 99;
    }
}

void block_async_signals()
{
    sigset_t set;
    async_signal_set(set);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void install_signal_handlers(SignalHandlers const& given)
{
    handlers = given;

    static char alternate_stack[64 * 1024];
    stack_t stack {};
    stack.ss_sp = alternate_stack;
    stack.ss_size = sizeof alternate_stack;
    sigaltstack(&stack, nullptr);

    struct sigaction action { };
    sigemptyset(&action.sa_mask);
    action.sa_sigaction = on_fault;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    for (int signal : fault_signals) sigaction(signal, &action, nullptr);

    struct sigaction simple { };
    sigemptyset(&simple.sa_mask);
    simple.sa_flags = SA_ONSTACK;
    simple.sa_handler = on_interrupt;
    sigaction(SIGINT, &simple, nullptr);
    simple.sa_handler = on_termination;
    for (int signal : termination_signals) sigaction(signal, &simple, nullptr);
    simple.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &simple, nullptr);

    sigset_t set;
    async_signal_set(set);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

void end_by_broken_pipe()
{
    struct sigaction action { };
    action.sa_handler = SIG_DFL;
    sigaction(SIGPIPE, &action, nullptr);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGPIPE);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    raise(SIGPIPE);
    _exit(141); // not reached: SIGPIPE's default action ends the process
}

}
