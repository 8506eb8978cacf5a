// The compress and decompress natives: DEFLATE data raw, in a zlib stream or in a gzip file, named by a
// method word matched without regard to case. Text is compressed as its UTF-8.

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <span>
#include <string>
#include <vector>

#include "datatypes/binary.h"
#include "datatypes/integer.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/word.h"
#include "interpreter/natives/entries.h"
#include "interpreter/natives/natives.h"
#include "runtime/errors.h"
#include "runtime/host/deflate.h"
#include "runtime/stack.h"

namespace xol::natives {

namespace {

// The method words in the order of compress::Framing.
char const* const method_names[] = { "deflate", "zlib", "gzip" };

// Looked up afresh on each call, as checksum's words are, so nothing outlives a runtime a test makes anew.
compress::Framing method_of(Cell const& word)
{
    SymbolId const given = symbol::resolve(word::symbol_of(word));
    for (std::size_t i = 0; i < std::size(method_names); ++i)
        if (symbol::resolve(symbol::make_case(method_names[i])) == given) return static_cast<compress::Framing>(i);
    fire_error(err::script::invalid_arg, &word);
}

using Writer = int (*)(std::uint8_t*, std::uint32_t*, std::uint8_t const*, std::uint32_t);

Writer writer_of(compress::Framing framing)
{
    switch (framing) {
    case compress::Framing::Deflate:
        return compress::deflate;
    case compress::Framing::Zlib:
        return compress::zlib;
    default:
        return compress::gzip;
    }
}

// Every compressor result fits the bound, and a result above 4 GiB - 1 bytes cannot be told in 32 bits.
std::vector<std::uint8_t> compressed(compress::Framing framing, std::span<std::uint8_t const> bytes)
{
    if (bytes.size() > 0xFFFFFFFFu - bytes.size() / 8 - 64) fire_error(err::script::invalid_data);
    std::vector<std::uint8_t> out(compress::bound(bytes.size()));
    auto length = static_cast<std::uint32_t>(out.size());
    int const result = writer_of(framing)(out.data(), &length, bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    if (result != compress::done) fire_error(err::script::invalid_data);
    out.resize(length);
    return out;
}

}

void compress(std::int32_t const*)
{
    Cell const& data = *argument(0);
    compress::Framing const framing = method_of(*argument(1));
    std::vector<std::uint8_t> out;
    if (cell::type_of(data) == type_ids::binary) {
        out = compressed(framing, binary::bytes(data)); // nothing allocates on the heap while it runs
    } else {
        std::string const text = string::to_utf8(data);
        out = compressed(framing, { reinterpret_cast<std::uint8_t const*>(text.data()), text.size() });
    }
    stack::set_only_result(binary::load(out));
}

// Refinements: /size sz. The output grows as it is decoded, so one pass serves whatever the size says;
// the size only makes the first allocation (gzip data carries its own).
void decompress(std::int32_t const* refinements)
{
    Cell const& data = *argument(0);
    compress::Framing const framing = method_of(*argument(1));
    Cell const* const size = refinement_argument(refinements[0]);
    std::span<std::uint8_t const> const bytes = binary::bytes(data);
    std::size_t expected = 0;
    if (size && framing != compress::Framing::Gzip && integer::get(*size) > 0) {
        // DEFLATE expands at most about 1,032 times: a larger size asks for memory no data can fill.
        expected = std::min<std::size_t>(static_cast<std::size_t>(integer::get(*size)), bytes.size() * 1032 + 1024);
    }
    std::vector<std::uint8_t> out;
    if (compress::decode(framing, bytes, out, expected) != compress::done) fire_error(err::script::invalid_data);
    stack::set_only_result(binary::load(out));
}

}
