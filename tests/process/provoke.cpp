// A stand-in console for the process-end tests: it starts the runtime like xol does, then provokes the
// end named by its first argument, so that the tests can check the exact bytes and exit status.

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "app/startup.h"
#include "runtime/errors.h"
#include "runtime/heap.h"
#include "runtime/output.h"
#include "runtime/quit.h"
#include "runtime/runtime_record.h"
#include "runtime/stack.h"

namespace {

using namespace xol;

// An unmapped address that is not null (the undefined-behaviour sanitizer would report a null store).
std::uintptr_t volatile nowhere = 16;

// Deliberately endless: it must end in the guard region.
#pragma GCC diagnostic ignored "-Winfinite-recursion"
[[gnu::noinline]] int recurse(int depth)
{
    char volatile pad[256];
    pad[0] = static_cast<char>(depth);
    return recurse(depth + 1) + pad[0];
}

void provoke()
{
    std::string const what = runtime::record.arguments.size() > 1 ? runtime::record.arguments[1] : "";
    print::cstr("before\n"); // pending output is written before any report
    if (what == "nothing") return;
    if (what == "segv") *reinterpret_cast<int volatile*>(nowhere) = 1;
    if (what == "machine-stack") recurse(0);
    if (what == "out-of-memory") heap::allocate(std::size_t { 1 } << 62);
    if (what == "uncaught-error") fire_error(err::script::no_value);
    if (what == "uncaught-error-in-script") {
        errors::set_uncaught_status(1);
        fire_error(err::script::no_value);
    }
    if (what == "stray-throw") throw 42;
    if (what == "quit-request") throw runtime::QuitRequest { 3 };
    if (what == "no-case") runtime::no_case_matched();
    if (what == "interrupt") std::raise(SIGINT);
    if (what == "terminate") std::raise(SIGTERM);
    if (what == "abort") std::raise(SIGABRT);
    if (what == "divide") std::raise(SIGFPE);
    if (what == "flood") {
        for (;;) print::cstr("a line of output that nobody reads\n");
    }
    print::cstr("not provoked\n");
}

}

int main(int argc, char** argv)
{
    return xol::app::start(argc, argv, provoke);
}
