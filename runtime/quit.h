// The end of the process. Status 0 ends quietly; any other status first prints the runtime error report:
//   "\n*** Runtime Error <status>: <message>\n*** at: <address as 16 upper-case hex digits>h\n"
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace xol::runtime {

inline constexpr int status_stack_overflow = 19;
inline constexpr int status_out_of_memory = 94;
inline constexpr int status_no_catch_for_throw = 95;
inline constexpr int status_assertion_failed = 98;
inline constexpr int status_no_case_matched = 100;
inline constexpr int status_no_switch_matched = 101;

[[noreturn]] void quit(int status, std::uintptr_t address);

// Ends the process with the status and no report: the quit natives, an uncaught language error (which
// printed itself). Status 0 becomes 1 when standard output refused a write (conout::write_failed).
[[noreturn]] void end(int status);

// Thrown to end the run from deep inside it (the quit natives): the interpreter thread's outermost catch
// ends the process with the status once every C++ frame has been left.
struct QuitRequest {
    int status;
};

// A runtime choice that met a value no branch handles: runtime errors 100 and 101.
[[noreturn]] void no_case_matched();
[[noreturn]] void no_switch_matched();

// The message of a runtime error status, as the report prints it.
std::string_view error_message(int status);
// The whole report for a non-zero status, written into `buffer` without allocating: quit may be
// reporting that memory ran out.
inline constexpr std::size_t report_buffer_size = 128;
std::string_view report(int status, std::uintptr_t address, char (&buffer)[report_buffer_size]);

// The address of the code that calls it: the "at" address of a report raised by runtime code.
[[gnu::noinline]] std::uintptr_t here();

}
