// Fuzz target for the inflater in its three framings: arbitrary bytes as raw DEFLATE, as a zlib stream
// and as a gzip file, through the growing decoder and through a caller's buffer whose capacity the input
// chooses. A refusal is an answer; a crash, a sanitizer report, a write past the capacity, the two paths
// disagreeing (on the code, the size or the bytes), or output that our compressor and inflater do not
// carry back unchanged is a fault. Seeds: tests/fuzz/inflate_seeds/.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

#include "runtime/host/deflate.h"

namespace {

using namespace xol;

// Highly compressible inputs expand a thousandfold: longer ones teach nothing more.
constexpr std::size_t longest_input = 8192;

using Reader = int (*)(std::uint8_t*, std::uint32_t*, std::uint8_t const*, std::uint32_t);

// A failed check names its line before it stops the run.
void check(bool condition, int line = __builtin_LINE())
{
    if (condition) return;
    std::fprintf(stderr, "check failed at line %d\n", line);
    std::abort();
}

void try_framing(compress::Framing framing, Reader reader, std::span<std::uint8_t const> in, std::uint32_t capacity)
{
    std::vector<std::uint8_t> grown;
    int const result = compress::decode(framing, in, grown);
    check(result != compress::too_small);

    std::vector<std::uint8_t> buffer(std::size_t { capacity } + 16, 0xA5);
    std::uint32_t length = capacity;
    int const fixed = reader(buffer.data(), &length, in.data(), static_cast<std::uint32_t>(in.size()));
    for (std::size_t i = capacity; i < buffer.size(); ++i) check(buffer[i] == 0xA5);
    if (result != compress::done) {
        // A trailer's checksum is tested only on output that fitted: short of room, the answer is the size.
        check(fixed == result
            || (fixed == compress::too_small && result == compress::bad_data && framing != compress::Framing::Deflate));
        return;
    }
    check(length == grown.size());
    if (fixed == compress::done) {
        check(std::memcmp(buffer.data(), grown.data(), grown.size()) == 0);
    } else {
        check(fixed == compress::too_small && capacity < grown.size());
        // Only the bytes up to the capacity were written, and they are the output's first.
        check(std::memcmp(buffer.data(), grown.data(), capacity) == 0);
    }

    // What decoded comes back through our own writer and reader.
    std::vector<std::uint8_t> packed(compress::bound(grown.size()));
    auto packed_length = static_cast<std::uint32_t>(packed.size());
    check(compress::zlib(packed.data(), &packed_length, grown.data(), static_cast<std::uint32_t>(grown.size()))
        == compress::done);
    packed.resize(packed_length);
    std::vector<std::uint8_t> back;
    check(compress::decode(compress::Framing::Zlib, packed, back) == compress::done);
    check(back == grown);
}

}

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size)
{
    if (size < 2 || size > longest_input) return 0;
    // The first two bytes choose the capacity of the caller's buffer; the rest is the data.
    std::uint32_t const capacity = std::uint32_t { data[0] } << 4 | data[1];
    std::span<std::uint8_t const> const in(data + 2, size - 2);
    try_framing(compress::Framing::Deflate, compress::inflate, in, capacity);
    try_framing(compress::Framing::Zlib, compress::unzlib, in, capacity);
    try_framing(compress::Framing::Gzip, compress::gunzip, in, capacity);
    return 0;
}
