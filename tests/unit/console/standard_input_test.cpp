// Tests of standard input's shared buffer: the UTF-8 line reader over reads of any size, and read-stdin's
// bytes after a line.

#include "console/standard_input.h"

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace xol::console::standard_input {
namespace {

// The stand-in input: its bytes handed out at most `chunk` at a time, then the end.
struct Feed {
    std::string bytes;
    std::size_t position = 0;
    std::size_t chunk = 1;
};
Feed feed;

platform::InputRead read_feed(std::uint8_t* buffer, std::size_t capacity, bool)
{
    std::size_t const count = std::min({ capacity, feed.chunk, feed.bytes.size() - feed.position });
    if (count == 0) return { platform::InputStatus::Ended, 0 };
    std::copy_n(feed.bytes.data() + feed.position, count, buffer);
    feed.position += count;
    return { platform::InputStatus::Read, count };
}

void start(std::string bytes, std::size_t chunk)
{
    feed = Feed { std::move(bytes), 0, chunk };
    reset(read_feed);
}

// Every line until the input is exhausted, the "" read at the end included.
std::vector<std::string> all_lines()
{
    std::vector<std::string> lines;
    do lines.push_back(read_line());
    while (!ended());
    return lines;
}

// A sequence that straddles two reads reads as one that arrives whole.
TEST(StandardInputLines, SameLinesWhateverTheReadSize)
{
    struct Case {
        std::string input;
        std::vector<std::string> lines;
    };
    std::string const fffd = "\xEF\xBF\xBD";
    Case const cases[] = {
        { "a\r\nb\n", { "a\r", "b", "" } },
        { "p\nq", { "p", "q" } },
        { "", { "" } },
        { "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\n", { "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", "" } },
        { "x\xFFy\n", { "x" + fffd + "y", "" } },
        { "\xE2\x28\xA1\n", { fffd + "(" + fffd, "" } },
        { "\xE2\x82\nz\n", { fffd, "z", "" } },
        { "ok\xF0\x9F", { "ok" + fffd } },
        { "\xC0\xAF\n", { fffd + fffd, "" } },
        { "\xED\xA0\x80\n", { fffd + fffd + fffd, "" } },
        { "\xF4\x90\x80\x80\n", { fffd + fffd + fffd + fffd, "" } },
    };
    for (std::size_t chunk : { 1u, 2u, 3u, 1000u })
        for (Case const& c : cases) {
            start(c.input, chunk);
            EXPECT_EQ(all_lines(), c.lines) << "chunk " << chunk << ", input " << c.input;
        }
}

// read_bytes hands over the bytes the line reader read ahead before it reads again.
TEST(StandardInputBytes, RestAfterALine)
{
    start("one\ntwo\nthree", 1000);
    EXPECT_EQ(read_line(), "one");
    EXPECT_FALSE(ended());
    std::uint8_t buffer[4];
    std::string rest;
    while (std::size_t const count = read_bytes(buffer, sizeof buffer))
        rest.append(reinterpret_cast<char const*>(buffer), count);
    EXPECT_EQ(rest, "two\nthree");
    EXPECT_TRUE(ended());
    EXPECT_EQ(read_line(), "");
    EXPECT_EQ(next_byte(), std::nullopt);
}

}
}
