// Fuzz target for the XOLBIN readers: arbitrary bytes as a whole file, and as the body of a file in each
// form, plain and compressed; and the same bytes as a binary! given to system/codecs/xolbin/decode, as a
// script would. The values a load gives (before or after a fault) are molded, saved in both
// forms and loaded again. The only answers allowed are script invalid-data and xb-invalid-record, access
// no-codec and, for saving what was loaded, internal too-deep; any other error, a crash, a sanitizer
// report, an assertion or a hang is a fault. Seeds: tests/fuzz/xolbin_seeds/ (written by the writers:
// run the target with XOL_FUZZ_WRITE_SEEDS set to a folder to write them again).

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/startup.h"
#include "datatypes/binary.h"
#include "datatypes/block.h"
#include "datatypes/none.h"
#include "datatypes/string.h"
#include "datatypes/typed_actions.h"
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
#include "xolbin/xolbin.h"

namespace {

using namespace xol;

bool allowed(ErrorId id)
{
    return id == err::script::invalid_data || id == err::script::xb_invalid_record || id == err::access::no_codec
        || id == err::internal::too_deep;
}

// Runs `action` inside a try frame, as a script's `try` would; an error outside the allowed ones stops
// the run.
template <typename Action> void guarded(Action&& action)
{
    if (!fuzz::raised(action)) return;
    ErrorId const id = errors::last_raised().id;
    if (!allowed(id)) {
        std::fprintf(stderr, "unexpected error %d\n", id.code());
        __builtin_trap();
    }
}

Cell evaluate(std::string const& text)
{
    Rooted source(string::from_utf8(text));
    Rooted code(lexer::load_all(*source));
    interp::eval_block(*code, false);
    Cell const value = stack::state.top[-1];
    stack::pop(1);
    return value;
}

// The seeds: what the writers make of values of every kind that has a record.
void write_seeds(char const* folder)
{
    char const* const sources[] = {
        "[1 -1 64 2.5 -0.0 50% 0:01:02 1x2 #\"a\" none true integer! #issue \"\u00e9t\u00e9\" [a/b 'c :d e: /f]]",
        "a: [1] reduce [a next a]",
        "a: [1] append/only a a a",
        "o: make object! [x: 1 f: func [y] [x + y] on-change*: func [w o n] [n]] reduce [o in o 'x :o/f]",
        "reduce [make op! :add :append make typeset! [integer!] complement make bitset! \"ab\"]",
        "try [1 / 0]",
        "reduce [1-Jan-2000/10:00+2:00 -USD$1.5 (1, 2) (1, 2, 3) #{0102} make vector! [integer! 16 [1 2]]]",
        "m: make map! [a 1 \"b\" [2]] h: make hash! [x y] append/only h h reduce [m h m <t> @r me@x.y]",
        "i: make image! [2x2 1.2.3.4] reduce [i next i make image! 0x3 make image! [1x1 255.0.0]]",
    };
    int n = 0;
    for (char const* source : sources) {
        Rooted value(evaluate(source));
        for (auto form : { xolbin::Form::Compact, xolbin::Form::Fixed }) {
            std::vector<std::uint8_t> const bytes = xolbin::save(*value, form);
            std::string const path = std::string(folder) + "/seed" + std::to_string(n++);
            if (FILE* file = std::fopen(path.c_str(), "wb")) {
                std::fwrite(bytes.data(), 1, bytes.size(), file);
                std::fclose(file);
            }
        }
    }
}

// The codec call, lexed once and kept by a global word: `fuzz-data` holds each input as a binary!.
Cell const* codec_call = nullptr;

bool start()
{
    app::init();
    boot::run_library();
    gc::state.enabled = true;
    static Rooted call(unset_value);
    Rooted source(string::from_utf8("[system/codecs/xolbin/decode fuzz-data]"));
    *call = block::rs_head(lexer::load_all(*source))[0];
    codec_call = &*call;
    if (char const* folder = std::getenv("XOL_FUZZ_WRITE_SEEDS")) write_seeds(folder);
    return true;
}

// Molds what was loaded, saves it in both forms and loads each save again.
void exercise(Cell const& loaded)
{
    Rooted values(loaded);
    guarded([&] {
        Rooted text(string::make(64));
        actions::mold_typed(*values, *text, false, false, false, nullptr, 4'000, 0);
    });
    for (auto form : { xolbin::Form::Compact, xolbin::Form::Fixed }) {
        guarded([&] {
            std::vector<std::uint8_t> const bytes = xolbin::save(*values, form);
            Rooted again(unset_value);
            block::make_at(*again, 1);
            xolbin::load(bytes, *again);
        });
    }
}

void load_and_exercise(std::vector<std::uint8_t> const& bytes)
{
    Rooted into(unset_value);
    block::make_at(*into, 4);
    guarded([&] { xolbin::load(bytes, *into); });
    exercise(*into);
}

// The input as a script's binary! given to the codec's decode.
void decode_through_the_codec(std::uint8_t const* data, std::size_t size)
{
    Rooted payload(binary::load({ data, size }));
    Rooted name(word::make_global("fuzz-data"));
    word::set(*name, *payload);
    Rooted result(unset_value);
    guarded([&] {
        interp::eval_block(*codec_call, false);
        *result = stack::state.top[-1];
        stack::pop(1);
    });
    exercise(*result);
}

}

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size)
{
    static bool const ready = start();
    (void)ready;
    load_and_exercise(std::vector<std::uint8_t>(data, data + size));
    decode_through_the_codec(data, size);
    // The input after a header of each form, plain and compressed, with and without a symbol table.
    if (size > 0) {
        for (std::uint8_t flags : { 0, 1, 2, 3, 4, 5 }) {
            std::vector<std::uint8_t> bytes { 'X', 'O', 'L', 'B', 'I', 'N', 2, flags };
            bytes.insert(bytes.end(), data + 1, data + size);
            if ((data[0] & 7) == flags) load_and_exercise(bytes);
        }
    }
    return 0;
}
