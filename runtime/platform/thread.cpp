// The interpreter's thread on POSIX threads, over a stack we map ourselves so that its guard region is known.

#include "runtime/platform/thread.h"

#include <pthread.h>
#include <sys/mman.h>

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
};

void* run(void* start_record)
{
    auto* start = static_cast<Start*>(start_record);
    start->result = start->body(start->argument);
    return nullptr;
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

    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstack(&attributes, base + guard_size, stack_size);
    Start start { body, argument, thread_not_started };
    pthread_t thread;
    int const created = pthread_create(&thread, &attributes, run, &start);
    pthread_attr_destroy(&attributes);
    if (created != 0) return thread_not_started;
    pthread_join(thread, nullptr);
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
