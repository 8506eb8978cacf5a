// Message digests (MD5, SHA-1, SHA-256, SHA-384, SHA-512) from the system's cryptographic library,
// libcrypto, opened at the first digest asked for rather than at start-up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace xol::platform::crypto {

enum class Method : std::uint8_t { Md5, Sha1, Sha256, Sha384, Sha512 };

inline constexpr std::size_t largest_digest = 64;

// The bytes of a digest of the method.
std::size_t digest_size(Method);

// What became of a digest asked for.
enum class Outcome : std::uint8_t {
    Done,
    NoLibrary, // libcrypto cannot be opened, or lacks a function the digests need
    Refused, // the library declined (a method barred by the system's crypto policy, no memory)
};

// One stretch of input bytes.
struct Bytes {
    std::uint8_t const* data;
    std::size_t size;
};

// The digest of the parts, one after another, into `out` (digest_size bytes). Nothing but Done means the
// bytes at `out` hold a digest.
Outcome digest(Method, std::span<Bytes const> parts, std::uint8_t* out);

// The library's name as the loader is asked for it, for the error that tells it is missing.
char const* library_name();

}
