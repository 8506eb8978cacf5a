// Fuzz target for the JSON decoder: arbitrary bytes as a binary! given to system/codecs/json/decode, as a
// script would; whatever decodes is written back with to-json, compact, pretty and ASCII, and decoded
// again. A raised language error is an answer (bad UTF-8, a bad surrogate escape, a nesting too deep for
// the stack); a crash, a sanitizer report, an assertion or a hang is a fault. Seeds: tests/fuzz/json_seeds/.

#include <cstddef>
#include <cstdint>

#include "runtime/roots.h"
#include "tests/fuzz/script_fuzz.h"

namespace {

using namespace xol;

// The round trip, lexed once and kept alive: `fuzz-data` holds each input as a binary!.
Cell const* fuzz_code = nullptr;

bool start()
{
    fuzz_code = &fuzz::booted_script(R"~([
        fuzz-value: system/codecs/json/decode fuzz-data
        unless error? :fuzz-value [
            load-json to-json :fuzz-value
            load-json to-json/ascii :fuzz-value
            load-json to-json/pretty :fuzz-value "  "
        ]
    ])~");
    return true;
}

}

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size)
{
    static bool const ready = start();
    (void)ready;
    fuzz::run_on_input(*fuzz_code, data, size);
    return 0;
}
