// Tests of the key decoder: the terminal sequences of the editing keys in their usual variants, characters
// of every UTF-8 length, and sequences the editor has no use for.

#include "console/keys.h"

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "console/standard_input.h"

namespace xol::console::keys {
namespace {

std::string feed;
std::size_t fed = 0;

// The whole input arrives in one read, as a sequence typed or pasted does.
platform::InputRead read_feed(std::uint8_t* buffer, std::size_t capacity, bool)
{
    std::size_t const count = std::min(capacity, feed.size() - fed);
    if (count == 0) return { platform::InputStatus::Ended, 0 };
    std::copy_n(feed.data() + fed, count, buffer);
    fed += count;
    return { platform::InputStatus::Read, count };
}

std::vector<std::int32_t> keys_of(std::string bytes)
{
    feed = std::move(bytes);
    fed = 0;
    standard_input::reset(read_feed);
    std::vector<std::int32_t> keys;
    for (std::int32_t key = read_key(); key != ended; key = read_key()) keys.push_back(key);
    standard_input::reset();
    return keys;
}

TEST(Keys, Sequences)
{
    struct Case {
        char const* bytes;
        std::vector<std::int32_t> keys;
    };
    Case const cases[] = {
        { "\x1B[A\x1B[B\x1B[C\x1B[D", { up, down, right, left } },
        { "\x1BOA\x1BOB\x1BOC\x1BOD", { up, down, right, left } },
        { "\x1B[H\x1BOH\x1B[1~\x1B[7~", { home, home, home, home } },
        { "\x1B[F\x1BOF\x1B[4~\x1B[8~", { end, end, end, end } },
        { "\x1B[2~\x1B[3~\x1B[5~\x1B[6~", { insert, delete_, page_up, page_down } },
        { "\x1B[1;5C\x1B[3;2~", { right, delete_ } }, // a modifier changes nothing
        { "\x1B[15~\x1B[?25hx", { nothing, nothing, 'x' } }, // F5 and a private sequence: consumed whole
        { "\r\n\x7F\x08", { enter, enter, backspace, backspace } }, { "\x01\x03\x04\t", { 1, 3, 4, tab } },
        { "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", { 'a', 0xE9, 0x20AC, 0x1F600 } },
        { "\xFF"
          "b\xC3(",
            { 0xFFFD, 'b', 0xFFFD, '(' } }, // the byte that cut a character short stays
        { "\x1Bx", { nothing } }, // Alt-x
    };
    for (Case const& c : cases) EXPECT_EQ(keys_of(c.bytes), c.keys) << c.bytes;
}

}
}
