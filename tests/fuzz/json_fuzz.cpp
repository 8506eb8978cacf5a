// Fuzz target for the JSON decoder: arbitrary bytes as a binary! given to system/codecs/json/decode, as a
// script would; whatever decodes is written back with to-json, compact, pretty and ASCII, and decoded
// again. A raised language error is an answer (bad UTF-8, a bad surrogate escape, a nesting too deep for
// the stack); a crash, a sanitizer report, an assertion or a hang is a fault. Seeds: tests/fuzz/json_seeds/.

#include <cstddef>
#include <cstdint>
#include <string>

#include "app/startup.h"
#include "datatypes/binary.h"
#include "datatypes/block.h"
#include "datatypes/string.h"
#include "datatypes/unset.h"
#include "datatypes/word.h"
#include "interpreter/boot.h"
#include "interpreter/evaluator.h"
#include "interpreter/lexer/lexer.h"
#include "runtime/collector.h"
#include "runtime/errors.h"
#include "runtime/roots.h"
#include "runtime/stack.h"
#include "tests/fuzz/fuzz_guard.h"

namespace {

using namespace xol;

// Evaluates `code` inside a try frame, as a script's `try` would; a raised error ends the call quietly.
void guarded(Cell const& code)
{
    fuzz::raised([&] {
        interp::eval_block(code, false);
        stack::pop(1);
    });
}

// The round trip, lexed once and kept alive: `fuzz-data` holds each input as a binary!.
Cell const* fuzz_code = nullptr;

bool start()
{
    app::init();
    boot::run_library();
    gc::state.enabled = true;
    static Rooted code(unset_value);
    Rooted source(string::from_utf8(R"~([
        fuzz-value: system/codecs/json/decode fuzz-data
        unless error? :fuzz-value [
            load-json to-json :fuzz-value
            load-json to-json/ascii :fuzz-value
            load-json to-json/pretty :fuzz-value "  "
        ]
    ])~"));
    *code = block::rs_head(lexer::load_all(*source))[0];
    fuzz_code = &*code;
    return true;
}

}

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size)
{
    static bool const ready = start();
    (void)ready;
    Rooted payload(binary::load({ data, size }));
    Rooted name(word::make_global("fuzz-data"));
    word::set(*name, *payload);
    guarded(*fuzz_code);
    return 0;
}
