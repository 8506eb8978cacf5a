// Fuzz target for the block compressor's decoder: arbitrary bytes as a container. A refusal is an answer;
// a crash, a sanitizer report, or a decoded content larger than its header allows is a fault. (The
// encoder sets up 7 MiB of tables a call, too slow to share the run; the unit tests carry it round.)
// Seeds: tests/fuzz/lz_seeds/.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

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
    return 0;
}
