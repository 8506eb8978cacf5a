// Tests of the secure random bytes: requests of every size are filled, and two fills differ.

#include "runtime/platform/secure_random.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

namespace xol::platform {
namespace {

TEST(SecureRandomBytes, FillsEveryRequest)
{
    EXPECT_TRUE(secure_random_bytes(nullptr, 0));
    // Large requests may come back in parts: every byte is filled all the same.
    for (std::size_t size : { std::size_t { 1 }, std::size_t { 4 }, std::size_t { 300 }, std::size_t { 1 } << 20 }) {
        std::vector<std::uint8_t> first(size, 0);
        std::vector<std::uint8_t> second(size, 0);
        ASSERT_TRUE(secure_random_bytes(first.data(), size));
        ASSERT_TRUE(secure_random_bytes(second.data(), size));
        if (size >= 300) {
            EXPECT_NE(first, second) << size;
            // A megabyte of zeros left unfilled at the end would show here.
            EXPECT_TRUE(std::any_of(first.end() - 64, first.end(), [](std::uint8_t b) { return b != 0; }));
        }
    }
}

}
}
