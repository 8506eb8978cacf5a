// The end of the process and the runtime error report.

#include "runtime/quit.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>

#include "runtime/heap.h"
#include "runtime/output.h"
#include "runtime/platform/child_process.h"
#include "runtime/platform/process.h"
#include "runtime/platform/terminal.h"

namespace xol::runtime {

namespace {

constexpr std::array<std::string_view, 35> low_messages {
    "unknown error code!", // 0 never reaches the report
    "access violation",
    "invalid alignment",
    "breakpoint",
    "single step",
    "bounds exceeded",
    "float denormal operan",
    "float divide by zero",
    "float inexact result",
    "float invalid operation",
    "float overflow",
    "float stack check",
    "float underflow",
    "integer divide by zero",
    "integer overflow",
    "privileged instruction",
    "invalid virtual address",
    "illegal instruction",
    "non-continuable exception",
    "stack error or overflow",
    "invalid disposition",
    "guard page",
    "invalid handle",
    "illegal operand",
    "illegal addressing mode",
    "illegal trap",
    "coprocessor error",
    "non-existent physical address",
    "object specific hardware error",
    "hardware memory error consumed AR",
    "hardware memory error consumed AO",
    "privileged register",
    "segmentation fault",
    "FPU error",
    "Bus error",
};

}

std::string_view error_message(int status)
{
    if (status >= 1 && status < static_cast<int>(low_messages.size()))
        return low_messages[static_cast<std::size_t>(status)];
    switch (status) {
    case status_out_of_memory:
        return "out of memory";
    case status_no_catch_for_throw:
        return "no CATCH for THROW";
    case status_assertion_failed:
        return "assertion failed";
    case 99:
        return "unknown error";
    case status_no_case_matched:
        return "no value matched in CASE";
    case status_no_switch_matched:
        return "no value matched in SWITCH";
    default:
        return "unknown error code!";
    }
}

std::uintptr_t here()
{
    return reinterpret_cast<std::uintptr_t>(__builtin_return_address(0));
}

std::string_view report(int status, std::uintptr_t address, char (&buffer)[report_buffer_size])
{
    std::size_t used = 0;
    auto append = [&](std::string_view text) {
        std::size_t const count = std::min(text.size(), report_buffer_size - used);
        std::memcpy(buffer + used, text.data(), count);
        used += count;
    };
    char number[16];
    append("\n*** Runtime Error ");
    append({ number, static_cast<std::size_t>(std::to_chars(number, number + sizeof number, status).ptr - number) });
    append(": ");
    append(error_message(status));
    append("\n*** at: ");
    for (int i = 0; i < 16; ++i) number[i] = "0123456789ABCDEF"[(address >> (60 - 4 * i)) & 0xF];
    append({ number, 16 });
    append("h\n");
    return { buffer, used };
}

void quit(int status, std::uintptr_t address)
{
    if (status != 0) {
        char buffer[report_buffer_size];
        print::cstr(report(status, address, buffer));
    }
    end(status);
}

void end(int status)
{
    platform::restore_terminal(); // an end in the middle of an edit gives the shell its terminal back
    conout::flush();
    // Output lost on the way out must not pass for success.
    if (status == 0 && conout::write_failed()) status = 1;
    heap::free_all();
    platform::reap_children();
    platform::exit_process(status);
}

// The report names the code that met the value: the caller.
[[gnu::noinline]] void no_case_matched()
{
    quit(status_no_case_matched, reinterpret_cast<std::uintptr_t>(__builtin_return_address(0)));
}

[[gnu::noinline]] void no_switch_matched()
{
    quit(status_no_switch_matched, reinterpret_cast<std::uintptr_t>(__builtin_return_address(0)));
}

}
