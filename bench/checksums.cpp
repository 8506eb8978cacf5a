// The checksums over one 64 MiB buffer, best of 8 rounds each: CRC-32, Adler-32, SHA-256 and MD5, with
// their values, so that python/checksums.py (zlib and hashlib over the same bytes) can be set beside them.
// Run it from a Release build.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "runtime/checksums.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t buffer_size = std::size_t { 64 } << 20;
constexpr int rounds = 8;

template <typename Work> void time_best(char const* name, Work work)
{
    double best = 1e9;
    std::uint64_t value = 0;
    for (int round = 0; round < rounds; ++round) {
        auto const start = Clock::now();
        value = work();
        double const seconds = std::chrono::duration<double>(Clock::now() - start).count();
        if (seconds < best) best = seconds;
    }
    std::printf("%-8s %8.2f ms  %llu\n", name, best * 1000, static_cast<unsigned long long>(value));
}

}

int main()
{
    using namespace xol;
    // The same bytes as python/checksums.py makes: a 1 MiB pattern, repeated.
    std::vector<std::uint8_t> buffer(buffer_size);
    for (std::size_t i = 0; i < buffer_size; ++i)
        buffer[i] = static_cast<std::uint8_t>(((i & 0xFFFFF) * 2654435761u) >> 13);
    std::uint8_t const* bytes = buffer.data();
    time_best("crc32", [&] { return checksums::crc32(bytes, buffer_size); });
    time_best("adler32", [&] { return checksums::adler32(bytes, buffer_size); });
    std::uint8_t out[platform::crypto::largest_digest];
    for (auto [name, method] :
        { std::pair { "sha256", checksums::Method::Sha256 }, std::pair { "md5", checksums::Method::Md5 } })
        time_best(name, [&, method = method] {
            if (checksums::digest(method, bytes, buffer_size, out) != checksums::Outcome::Done)
                return std::uint64_t { 0 };
            return std::uint64_t { out[0] } << 8 | out[1];
        });
}
