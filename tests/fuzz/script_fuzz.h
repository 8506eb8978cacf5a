// What the fuzz targets that drive library code share: the library booted once, a script lexed once and kept
// alive, and each input handed to it as the binary! in `fuzz-data`, the script run as a `try` would run it.
#pragma once

#include <cstddef>
#include <cstdint>

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
#include "runtime/roots.h"
#include "tests/fuzz/fuzz_guard.h"

namespace xol::fuzz {

// Boots the runtime and the library with the collector on, then lexes `source` (one block) for good.
inline Cell const& booted_script(char const* source)
{
    app::init();
    boot::run_library();
    gc::state.enabled = true;
    static Rooted code(unset_value);
    Rooted text(string::from_utf8(source));
    *code = block::rs_head(lexer::load_all(*text))[0];
    return *code;
}

// Sets `fuzz-data` to the input and runs `code`; a raised error ends the run quietly.
inline void run_on_input(Cell const& code, std::uint8_t const* data, std::size_t size)
{
    Rooted payload(binary::load({ data, size }));
    Rooted name(word::make_global("fuzz-data"));
    word::set(*name, *payload);
    raised([&] {
        interp::eval_block(code, false);
        stack::pop(1);
    });
}

}
