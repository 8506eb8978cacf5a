// The interpreter's stack on POSIX: a region we map ourselves, so that its guard region is known, run on the
// calling thread by switching contexts. A thread of its own would cost a wake-up on another processor
// before anything runs, which on a busy machine takes longer than the whole start-up.

#include "runtime/platform/thread.h"

#include <sys/mman.h>
#include <ucontext.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/common_interface_defs.h>
#endif

namespace xol::platform {

namespace {

constexpr std::size_t guard_size = std::size_t { 1 } << 20;

struct ThreadState {
    std::uintptr_t guard_start = 0;
    std::uintptr_t guard_end = 0;
} state;

struct Start {
    int (*body)(void*);
    void* argument;
    int result;
    ucontext_t caller;
    // The address sanitizer is told of each switch, so that it checks the right stack.
    void const* caller_stack_bottom = nullptr;
    std::size_t caller_stack_size = 0;
};

Start* running = nullptr;

void started_switch(
    [[maybe_unused]] void** saved, [[maybe_unused]] void const* bottom, [[maybe_unused]] std::size_t size)
{
#if defined(__SANITIZE_ADDRESS__)
    __sanitizer_start_switch_fiber(saved, bottom, size);
#endif
}

void finished_switch(
    [[maybe_unused]] void* saved, [[maybe_unused]] void const** bottom, [[maybe_unused]] std::size_t* size)
{
#if defined(__SANITIZE_ADDRESS__)
    __sanitizer_finish_switch_fiber(saved, bottom, size);
#endif
}

// The first function on the large stack; returning resumes the caller's context.
void run()
{
    Start* start = running;
    finished_switch(nullptr, &start->caller_stack_bottom, &start->caller_stack_size);
    start->result = start->body(start->argument);
    started_switch(nullptr, start->caller_stack_bottom, start->caller_stack_size);
}

}

int run_on_large_stack(int (*body)(void*), void* argument, std::size_t stack_size)
{
    std::size_t const total = stack_size + guard_size;
    void* region
        = mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_STACK, -1, 0);
    if (region == MAP_FAILED) return thread_not_started;
    auto* base = static_cast<unsigned char*>(region);
    // The stack grows down: the guard sits below its lowest address.
    if (mprotect(base, guard_size, PROT_NONE) != 0) return thread_not_started;
    state.guard_start = reinterpret_cast<std::uintptr_t>(base);
    state.guard_end = state.guard_start + guard_size;

    Start start { body, argument, thread_not_started, {} };
    ucontext_t callee {};
    if (getcontext(&callee) != 0) return thread_not_started;
    callee.uc_stack.ss_sp = base + guard_size;
    callee.uc_stack.ss_size = stack_size;
    callee.uc_link = &start.caller;
    makecontext(&callee, run, 0);
    running = &start;
    // getcontext returns a second time when the body has returned and its context has resumed this one.
    // (swapcontext would do both in one call, but the address sanitizer warns on every use of it.)
    void* volatile saved = nullptr;
    volatile bool entered = false;
    started_switch(const_cast<void**>(&saved), base + guard_size, stack_size);
    if (getcontext(&start.caller) != 0) return thread_not_started;
    if (!entered) {
        entered = true;
        setcontext(&callee);
        return thread_not_started; // setcontext returns only when it fails
    }
    finished_switch(saved, nullptr, nullptr);
    running = nullptr;
    return start.result;
}

#if defined(__SANITIZE_ADDRESS__)
// Failed allocations answer null, as they do without the sanitizer: the runtime reports them itself.
extern "C" char const* __asan_default_options()
{
    return "allocator_may_return_null=1";
}
#endif

bool is_in_stack_guard(std::uintptr_t address)
{
    return address >= state.guard_start && address < state.guard_end;
}

}
