// Invariant checks. A failed check is a bug in the runtime, never a language error: it ends the process
// with runtime error 98. Checks compile away unless the build defines XOL_ASSERTIONS (the debug preset).
#pragma once

#include <source_location>

namespace xol {

[[noreturn]] void assertion_failed(char const* message, std::source_location where);

#ifdef XOL_ASSERTIONS
inline constexpr bool assertions_enabled = true;
#else
inline constexpr bool assertions_enabled = false;
#endif

}

#ifdef XOL_ASSERTIONS
#define XOL_ASSERT(condition, message)                                                                                 \
    ((condition) ? static_cast<void>(0) : ::xol::assertion_failed(message, std::source_location::current()))
#else
#define XOL_ASSERT(condition, message) static_cast<void>(0)
#endif
