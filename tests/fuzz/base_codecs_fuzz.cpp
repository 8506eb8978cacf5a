// Fuzz target for the base decoders: arbitrary bytes as text of 1-, 2- and 4-byte units through debase in
// bases 2, 16, 58 and 64, as the digits of an issue! through `to binary!`, and as the body of a binary
// literal in bases 2, 16 and 64: a literal that loads gives the bytes debase gives for its body, and its
// molded form loads the same bytes again. Invalid text is an answer
// (none!, or invalid-data for an issue); a crash, a sanitizer report, an assertion, an error out of
// debase, or a decode that does not come back from its own re-encoding is a fault.
// Seeds: tests/fuzz/base_codecs_seeds/.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "app/startup.h"
#include "datatypes/binary.h"
#include "datatypes/binary_codecs.h"
#include "datatypes/none.h"
#include "datatypes/string.h"
#include "datatypes/word.h"
#include "interpreter/lexer/lexer.h"
#include "runtime/collector.h"
#include "runtime/errors.h"
#include "runtime/roots.h"
#include "runtime/series.h"
#include "runtime/stack.h"
#include "tests/fuzz/fuzz_guard.h"

namespace {

using namespace xol;

// Base 58 takes time in the square of the length: longer inputs teach nothing more.
constexpr std::size_t longest_input = 4096;

using fuzz::raised;

// The input as a string! of `unit`-byte units, each taken little-endian from the bytes (a last partial
// unit dropped); 4-byte units are kept below 0x110000 as code points are.
Cell text_of(std::uint8_t const* data, std::size_t size, std::uint32_t unit)
{
    Rooted text(cell::make(type_ids::none));
    string::make_at_unit(*text, static_cast<std::uint32_t>(size / unit), unit);
    for (std::size_t i = 0; i + unit <= size; i += unit) {
        std::uint32_t code = 0;
        std::memcpy(&code, data + i, unit);
        if (unit == 4) code %= 0x110000;
        string::set_unit(series::append_bytes(text->word2, unit), unit, code);
    }
    return *text;
}

std::vector<std::uint8_t> bytes_of(Cell const& binary)
{
    std::span<std::uint8_t const> const bytes = binary::bytes(binary);
    return { bytes.begin(), bytes.end() };
}

// A decode must come back from its own text.
void check_round_trip(Cell const& decoded, binary::Base base)
{
    Rooted kept(decoded);
    Rooted text(binary::enbase(*kept, base));
    Rooted again(binary::debase(*text, base));
    if (cell::type_of(*again) != type_ids::binary || bytes_of(*again) != bytes_of(*kept)) __builtin_trap();
}

// Loads the first value of `source` into `result` (none! after a syntax error). May allocate.
void load_one(std::string const& source, Cell& result)
{
    result = none_value;
    raised([&] {
        Cell* loaded = stack::push(none_value);
        std::uint32_t consumed = 0;
        lexer::scan(*loaded, reinterpret_cast<std::uint8_t const*>(source.data()),
            static_cast<std::uint32_t>(source.size()), { .one_value = true }, &consumed, none_value, none_value,
            nullptr);
        result = *loaded;
    });
}

// The input between "#{" and "}" after each base's prefix. Where the body is plain ASCII with no brace in
// it, a literal that loads holds what debase reads from the same text.
void check_literals(std::uint8_t const* data, std::size_t size)
{
    std::string const body(reinterpret_cast<char const*>(data), size);
    bool const plain = body.find('}') == std::string::npos
        && std::all_of(body.begin(), body.end(), [](char c) { return static_cast<unsigned char>(c) < 128; });
    struct Literal {
        char const* prefix;
        binary::Base base;
    };
    for (Literal const literal : { Literal { "#{", binary::Base::Sixteen }, Literal { "2#{", binary::Base::Two },
             Literal { "64#{", binary::Base::SixtyFour } }) {
        Rooted loaded(none_value);
        load_one(literal.prefix + body + "}", *loaded);
        if (cell::type_of(*loaded) != type_ids::binary) continue;
        if (plain) {
            Rooted text(string::from_utf8(body));
            Rooted decoded(binary::debase(*text, literal.base));
            if (cell::type_of(*decoded) != type_ids::binary || bytes_of(*decoded) != bytes_of(*loaded))
                __builtin_trap();
        }
        Rooted molded(string::make(16));
        binary::mold(*loaded, *molded, false, false, false, Refinement {}, 0, 0);
        Rooted again(none_value);
        load_one(string::to_utf8(*molded), *again);
        if (cell::type_of(*again) != type_ids::binary || bytes_of(*again) != bytes_of(*loaded)) __builtin_trap();
    }
}

bool start()
{
    app::init();
    gc::state.enabled = true;
    return true;
}

}

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size)
{
    static bool const ready = start();
    (void)ready;
    if (size > longest_input) return 0;
    for (std::uint32_t unit : { 1u, 2u, 4u }) {
        Rooted text(text_of(data, size, unit));
        for (binary::Base base :
            { binary::Base::Two, binary::Base::Sixteen, binary::Base::FiftyEight, binary::Base::SixtyFour }) {
            Rooted decoded(binary::debase(*text, base));
            if (cell::type_of(*decoded) == type_ids::binary)
                check_round_trip(*decoded, base);
            else if (cell::type_of(*decoded) != type_ids::none)
                __builtin_trap();
        }
    }
    check_literals(data, size);
    // The bytes as an issue's digits (Latin-1, so every input is a spelling): `to binary!` answers what
    // debase in base 16 answers, or invalid-data where that is none.
    Rooted latin(text_of(data, size, 1));
    std::string const spelling = string::to_utf8(*latin);
    if (spelling.find('\0') != std::string::npos) return 0;
    Rooted issue(issue::make(spelling));
    Rooted expected(binary::debase(*latin, binary::Base::Sixteen));
    Rooted converted(cell::make(type_ids::none));
    bool const refused = raised([&] { *converted = binary::to(*issue, *issue, type_ids::binary); });
    if (refused != (cell::type_of(*expected) == type_ids::none)) __builtin_trap();
    if (!refused && bytes_of(*converted) != bytes_of(*expected)) __builtin_trap();
    return 0;
}
