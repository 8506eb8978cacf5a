// Fuzz target for the block compressor's decoder: arbitrary bytes as a container, then the same bytes
// (when long enough) through the encoder and back. A refusal is an answer; a crash, a sanitizer report, a
// decoded content larger than its header allows, or a round trip that changes the bytes is a fault.
// Seeds: tests/fuzz/lz_seeds/.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

#include "runtime/host/lz.h"

namespace {

// A failed check names its line before it stops the run.
void check(bool condition, int line = __builtin_LINE())
{
    if (condition) return;
    std::fprintf(stderr, "check failed at line %d\n", line);
    std::abort();
}

std::uint32_t le32(std::uint8_t const* at)
{
    return std::uint32_t { at[0] } | std::uint32_t { at[1] } << 8 | std::uint32_t { at[2] } << 16
        | std::uint32_t { at[3] } << 24;
}

}

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size)
{
    using namespace xol;
    if (size > 65536) return 0;
    std::span<std::uint8_t const> const in(data, size);
    if (auto const content = lz::decompress(in)) check(content->size() <= std::size_t { le32(data + 4) } + 8);

    // The encoder sets up 7 MiB of tables a call: one input in 16 goes round, so the decoder gets the time.
    if (size < 128 || (data[size - 1] & 15) != 0) return 0;
    std::vector<std::uint8_t> out(size);
    std::int64_t const written = lz::compress(in, out.data());
    if (written < 0) return 0;
    check(written >= 8 && static_cast<std::size_t>(written) <= size);
    out.resize(static_cast<std::size_t>(written));
    auto const back = lz::decompress(out);
    check(back && *back == std::vector<std::uint8_t>(data, data + size));
    return 0;
}
