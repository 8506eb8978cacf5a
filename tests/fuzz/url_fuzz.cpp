// Fuzz target for URL decoding: arbitrary bytes, taken as Latin-1 text and as UTF-8, are decoded as a
// URL's escapes; the decoded text encoded again (both kept sets) decodes to itself; and a url! holding it
// behind "http://h/" molds to text that loads back as an equal url! of the same length. A crash, a
// sanitizer report, an assertion or a text that does not come back is a fault.
// Seeds: tests/fuzz/url_seeds/.

#include <cstddef>
#include <cstdint>
#include <string>

#include "app/startup.h"
#include "datatypes/none.h"
#include "datatypes/string.h"
#include "datatypes/typed_actions.h"
#include "datatypes/url.h"
#include "interpreter/lexer/lexer.h"
#include "runtime/collector.h"
#include "runtime/errors.h"
#include "runtime/roots.h"
#include "runtime/stack.h"
#include "tests/fuzz/fuzz_guard.h"

namespace {

using namespace xol;

constexpr std::size_t longest_input = 4096;

using fuzz::raised;

// The bytes as a string! of one-byte units (Latin-1).
Cell latin_text(std::uint8_t const* data, std::size_t size)
{
    Rooted text(cell::make(type_ids::none));
    string::make_at_unit(*text, static_cast<std::uint32_t>(size), 1);
    for (std::size_t i = 0; i < size; ++i) string::append_char(*text, data[i]);
    return *text;
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

void check(Cell const& source)
{
    Rooted text(source);
    Rooted decoded(string::make(16));
    url::decode(*text, *decoded);
    std::string const expected = string::to_utf8(*decoded);
    for (url::KeptSet set : { url::KeptSet::Path, url::KeptSet::Component }) {
        Rooted encoded(string::make(16));
        url::encode(*decoded, *encoded, set);
        Rooted again(string::make(16));
        url::decode(*encoded, *again);
        if (string::to_utf8(*again) != expected) __builtin_trap();
    }
    Rooted spelled(string::from_utf8("http://h/" + expected));
    Rooted link(url::to(*spelled, *spelled, type_ids::url));
    if (cell::type_of(*link) != type_ids::url) __builtin_trap();
    Rooted molded(string::make(16));
    actions::mold_typed(*link, *molded, false, false, false, Refinement {}, 0, 0);
    Rooted loaded(none_value);
    load_one(string::to_utf8(*molded), *loaded);
    if (cell::type_of(*loaded) != type_ids::url || string::to_utf8(*loaded) != string::to_utf8(*link)) __builtin_trap();
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
    Rooted latin(latin_text(data, size));
    check(*latin);
    // As UTF-8 (bad bytes raise on strict loading: such inputs are done with the Latin-1 pass).
    Rooted utf8(none_value);
    if (!raised([&] {
            *utf8
                = string::load_utf8_strict(reinterpret_cast<std::byte const*>(data), static_cast<std::uint32_t>(size));
        }))
        check(*utf8);
    return 0;
}
