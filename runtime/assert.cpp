// A failed invariant: a bug, reported on standard error, then the runtime error report.

#include "runtime/assert.h"

#include <string>

#include "runtime/output.h"
#include "runtime/platform/terminal.h"
#include "runtime/quit.h"

namespace xol {

void assertion_failed(char const* message, std::source_location where)
{
    std::string const text
        = std::string(where.file_name()) + ":" + std::to_string(where.line()) + ": " + message + "\n";
    conout::flush();
    platform::write_stderr(text.data(), text.size());
    runtime::quit(runtime::status_assertion_failed, runtime::here());
}

}
