// Bytes from the operating system's cryptographically secure source.
#pragma once

#include <cstddef>

namespace xol::platform {

// Fills `count` bytes at `buffer`; false when the system cannot supply them, and then the buffer's content
// means nothing.
bool secure_random_bytes(void* buffer, std::size_t count);

}
