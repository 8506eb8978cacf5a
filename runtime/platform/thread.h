// The interpreter's stack: a large region reserved, committed as it is touched, with a guard region below
// it, so that the language's own depth limits always fire before the machine stack ends.
#pragma once

#include <cstddef>
#include <cstdint>

namespace xol::platform {

#if defined(__SANITIZE_ADDRESS__)
// The address sanitizer warns on every thread whose stack exceeds 64 MiB; its builds use a smaller one.
inline constexpr std::size_t interpreter_stack_size = std::size_t { 63 } << 20;
#else
inline constexpr std::size_t interpreter_stack_size = std::size_t { 1 } << 30;
#endif

// Runs body(argument) on the calling thread over a stack of `stack_size` bytes of its own and answers its
// result. Answers thread_not_started when the stack cannot be mapped or switched to.
inline constexpr int thread_not_started = -1;
int run_on_large_stack(int (*body)(void*), void* argument, std::size_t stack_size);

// Whether an address lies in the guard region below the stack of run_on_large_stack.
bool is_in_stack_guard(std::uintptr_t address);

}
