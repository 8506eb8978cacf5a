// The two-bit bucket flags of the open-addressing tables (the runtime hash tables and the collector's
// integer map): four buckets share a byte, bucket b in bits 2*(b%4) and up of byte b/4. A fresh flags
// byte of 0xAA marks its four buckets empty.
#pragma once

#include <cstdint>

namespace xol::bucket_flags {

inline constexpr std::uint32_t empty = 2;
inline constexpr std::uint32_t deleted = 1;
inline constexpr std::uint32_t in_use = 0;
inline constexpr std::uint8_t fresh_byte = 0xAA; // four empty buckets

inline std::uint32_t flag_of(std::uint8_t const* flags, std::uint32_t bucket)
{
    return (std::uint32_t { flags[bucket >> 2] } >> ((bucket & 3) * 2)) & 3u;
}

inline void set_flag(std::uint8_t* flags, std::uint32_t bucket, std::uint32_t flag)
{
    std::uint32_t const shift = (bucket & 3) * 2;
    std::uint32_t const byte = flags[bucket >> 2];
    flags[bucket >> 2] = static_cast<std::uint8_t>((byte & ~(3u << shift)) | (flag << shift));
}

}
