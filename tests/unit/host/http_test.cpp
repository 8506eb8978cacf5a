// Tests of the reply header parsing: line by line within the block's bounds, whatever the line ends.

#include "runtime/host/http.h"

#include <string_view>

#include <gtest/gtest.h>

namespace xol::host::http {
namespace {

using namespace std::string_view_literals;

struct HeaderCase {
    std::string_view raw;
    Headers expected;
};

TEST(HostHttpTest, ParsesHeaderLinesWithinBounds)
{
    HeaderCase const cases[] = {
        { "HTTP/1.1 200 OK\r\nA: 1\r\nB:2\r\n\r\n"sv, { { "A", "1" }, { "B", "2" } } },
        // Blanks after the colon are skipped, the rest is kept; an empty value stays empty.
        { "A: \t x y \r\nB:\r\n"sv, { { "A", "x y " }, { "B", "" } } },
        // Lines without a colon, or with nothing before it, are ignored; a repeated name stays repeated.
        { "no colon\r\n: empty name\r\nX: a\r\nx: b\r\n"sv, { { "X", "a" }, { "x", "b" } } },
        // LF alone, a lone CR, and a last line cut short by the end of the block.
        { "A: 1\nB: 2\rC: 3"sv, { { "A", "1" }, { "B", "2" }, { "C", "3" } } },
        // Only a value's own colon-free start decides the name.
        { "Location: http://h:80/x\r\n"sv, { { "Location", "http://h:80/x" } } },
        { "A:"sv, { { "A", "" } } },
        { ""sv, {} },
    };
    for (HeaderCase const& each : cases) EXPECT_EQ(parse_headers(each.raw), each.expected) << each.raw;
}

TEST(HostHttpTest, DefaultHeadersAreTheThreeFixedOnes)
{
    Headers const expected {
        { "Content-Type", "application/x-www-form-urlencoded" },
        { "Accept-Charset", "UTF-8" },
        { "User-Agent", "Mozilla/5.0 (Windows NT 6.1; Win64; x64)" },
    };
    EXPECT_EQ(default_headers(), expected);
}

}
}
