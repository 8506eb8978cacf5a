// Tests of the digests from libcrypto: input given in parts (empty ones included) digests as one run of
// bytes, for every method, and each answers its size.

#include "runtime/platform/crypto.h"

#include <cstdint>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

namespace xol::platform::crypto {
namespace {

TEST(CryptoDigest, PartsDigestAsOneRun)
{
    std::string_view const text = "The quick brown fox jumps over the lazy dog";
    auto const* bytes = reinterpret_cast<std::uint8_t const*>(text.data());
    struct Case {
        Method method;
        std::size_t size;
    };
    for (Case const c : { Case { Method::Md5, 16 }, Case { Method::Sha1, 20 }, Case { Method::Sha256, 32 },
             Case { Method::Sha384, 48 }, Case { Method::Sha512, 64 } }) {
        EXPECT_EQ(digest_size(c.method), c.size);
        std::uint8_t whole[largest_digest] = {};
        Bytes const one[] = { { bytes, text.size() } };
        ASSERT_EQ(digest(c.method, one, whole), Outcome::Done);
        std::uint8_t split[largest_digest] = {};
        Bytes const parts[] = { { bytes, 4 }, { bytes + 4, 0 }, { bytes + 4, text.size() - 4 } };
        ASSERT_EQ(digest(c.method, parts, split), Outcome::Done);
        EXPECT_EQ(std::vector<std::uint8_t>(whole, whole + c.size), std::vector<std::uint8_t>(split, split + c.size));
    }
    // The published MD5 of the sentence, as a check that the library is the one meant.
    std::uint8_t md5[largest_digest];
    Bytes const one[] = { { bytes, text.size() } };
    ASSERT_EQ(digest(Method::Md5, one, md5), Outcome::Done);
    EXPECT_EQ(md5[0], 0x9e);
    EXPECT_EQ(md5[15], 0xd6);
}

}
}
