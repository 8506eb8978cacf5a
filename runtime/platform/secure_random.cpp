// Secure random bytes through getrandom(2), which blocks only until the kernel's pool is first seeded.

#include "runtime/platform/secure_random.h"

#include <cerrno>
#include <cstdint>

#include <sys/random.h>

namespace xol::platform {

bool secure_random_bytes(void* buffer, std::size_t count)
{
    auto* position = static_cast<std::uint8_t*>(buffer);
    std::size_t left = count;
    // A signal may interrupt the call and a large request may be cut short: both just ask again for the rest.
    while (left > 0) {
        ssize_t const got = getrandom(position, left, 0);
        if (got < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (got == 0) return false;
        position += got;
        left -= static_cast<std::size_t>(got);
    }
    return true;
}

}
