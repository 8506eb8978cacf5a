// The console output layer: the bytes that reach standard output, the hook lists and the runtime error
// report.

#include <cstring>
#include <string>
#include <vector>

#include "runtime/errors.h"
#include "runtime/output.h"
#include "runtime/quit.h"
#include "runtime/series.h"
#include "runtime/services.h"
#include "runtime_fixture.h"

using namespace xol;

namespace {

struct OutputTest : RuntimeTest {
    void SetUp() override
    {
        RuntimeTest::SetUp();
        conout::capture_for_tests(true);
    }
    void TearDown() override
    {
        conout::capture_for_tests(false);
        RuntimeTest::TearDown();
    }
    static std::string output() { return std::string(conout::captured_for_tests()); }
};

// A string! value over a new buffer of the given unit holding `units`, with its index at `index`.
template <typename Unit> Cell make_string(std::vector<Unit> const& units, std::uint32_t index = 0)
{
    NodeId const id = series::alloc_with_node(units.size(), sizeof(Unit));
    std::memcpy(series::append_bytes(id, static_cast<std::uint32_t>(units.size() * sizeof(Unit))), units.data(),
        units.size() * sizeof(Unit));
    return cell::make(type_ids::string, index, id);
}

std::vector<std::string> heard;
void listener(char const* text, std::size_t length, int)
{
    heard.emplace_back(text, length);
}
void other_listener(char const*, std::size_t, int)
{
    heard.emplace_back("other");
}
std::vector<std::string> printed;
void printer(Cell const&, bool newline)
{
    printed.push_back(newline ? "printer line" : "printer");
}

}

// Every unit width arrives as UTF-8; lines end with LF alone; escape sequences pass through untouched.
TEST_F(OutputTest, RedirectedBytes)
{
    struct Case {
        char const* name;
        std::vector<std::uint8_t> text;
        int unit;
        bool newline;
        std::string expected;
    };
    Case const cases[] = {
        { "ascii line", { 'o', 'k' }, 1, true, "ok\n" },
        { "latin-1 above 0x7F", { 0xE9, 0x41 }, 1, false,
            "\xC3\xA9"
            "A" },
        { "ucs-2", { 0xAC, 0x20, 0x41, 0x00 }, 2, false,
            "\xE2\x82\xAC"
            "A" },
        { "ucs-2 lone surrogate", { 0x00, 0xD8 }, 2, false, "\xED\xA0\x80" },
        { "ucs-4 astral line", { 0x00, 0xF6, 0x01, 0x00 }, 4, true, "\xF0\x9F\x98\x80\n" },
        { "escape sequence", { 0x1B, '[', '3', '1', 'm', 'x', 0x1B, '[', '0', 'm' }, 1, false, "\x1B[31mx\x1B[0m" },
        { "empty line", {}, 1, true, "\n" },
        { "nothing", {}, 2, false, "" },
    };
    for (auto const& c : cases) {
        conout::capture_for_tests(true);
        conout::write(c.text.data(), c.text.size(), c.unit, c.newline);
        EXPECT_EQ(output(), c.expected) << c.name;
    }
}

TEST_F(OutputTest, LongTextCrossesTheBufferIntact)
{
    std::string text;
    for (int i = 0; i < 50'000; ++i) text += static_cast<char>(i % 2 ? 'a' + i % 26 : 0xE9);
    conout::write_latin1_line(text.data(), text.size());
    std::string expected;
    for (unsigned char c : text) expected += c < 0x80 ? std::string(1, static_cast<char>(c)) : "\xC3\xA9";
    EXPECT_EQ(output(), expected + "\n");
}

TEST_F(OutputTest, CodePointsBeyondUnicodeRaiseInvalidChar)
{
    std::uint32_t const text[] = { 'a', 0x110000 };
    EXPECT_EQ(raised_by([&] { conout::write_ucs4(text, sizeof text); }), err::script::invalid_char);
    EXPECT_EQ(errors::last_raised().arguments[0].word2, 0x110000u);
}

TEST_F(OutputTest, LowLevelPrintsReachTheListeners)
{
    heard.clear();
    output_hooks::register_(nullptr, listener);
    print::cstr("caf\xC3\xA9 ");
    print::integer(-42);
    EXPECT_EQ(output(), "caf\xC3\xA9 -42") << "bytes as they are";
    EXPECT_EQ(heard, (std::vector<std::string> { "caf\xC3\xA9 ", "-42" }));
    output_hooks::unregister(nullptr, listener);
}

TEST_F(OutputTest, HookListsKeepOrderAndGrow)
{
    heard.clear();
    printed.clear();
    for (int i = 0; i < 6; ++i) output_hooks::register_(nullptr, i % 2 ? other_listener : listener);
    output_hooks::unregister(nullptr, other_listener); // the first occurrence only
    output_hooks::unregister(printer, nullptr); // absent: nothing changes
    output_hooks::run_text_listeners("x", 1, 0);
    EXPECT_EQ(heard, (std::vector<std::string> { "x", "x", "other", "x", "other" }));

    output_hooks::register_(printer, nullptr);
    Cell const text = make_string<std::uint8_t>({ 'h', 'i' });
    output_hooks::run_value_printers(text, true);
    EXPECT_EQ(output(), "hi\n") << "the default printer runs first";
    EXPECT_EQ(printed, (std::vector<std::string> { "printer line" }));
}

TEST_F(OutputTest, DefaultPrinterWritesFromTheIndex)
{
    static int pauses, resumes;
    pauses = resumes = 0;
    Services const saved = services;
    services.pause_for_print = [] { ++pauses; };
    services.resume_after_print = [] { ++resumes; };

    output_hooks::print_string(make_string<std::uint8_t>({ 'a', 'b', 'c' }, 1), false);
    output_hooks::print_string(make_string<std::uint16_t>({ 0x3B1, 0x3B2 }), true);
    output_hooks::print_string(make_string<std::uint32_t>({ 0x1F600 }), true);
    output_hooks::print_string(make_string<std::uint8_t>({ 'a' }, 5), true); // an index past the tail
    EXPECT_EQ(output(), "bc\xCE\xB1\xCE\xB2\n\xF0\x9F\x98\x80\n\n");
    EXPECT_EQ(pauses, 4);
    EXPECT_EQ(resumes, 4);
    services = saved;

    Cell const odd = make_string<std::uint8_t>({ 'a' });
    node::buffer(odd.word2)->flags = (node::buffer(odd.word2)->flags & ~series_flags::unit_mask) | 16;
    conout::capture_for_tests(true);
    output_hooks::print_string(odd, true);
    EXPECT_EQ(output(), "Error: unknown string encoding: 16\n");
}

TEST(RuntimeErrorReport, Text)
{
    struct Case {
        int status;
        std::uintptr_t address;
        char const* expected;
    };
    Case const cases[] = {
        { 94, 0x401A2B, "\n*** Runtime Error 94: out of memory\n*** at: 0000000000401A2Bh\n" },
        { 1, 0x7FFF'DEAD'BEEF, "\n*** Runtime Error 1: access violation\n*** at: 00007FFFDEADBEEFh\n" },
        { 19, 0, "\n*** Runtime Error 19: stack error or overflow\n*** at: 0000000000000000h\n" },
        { 101, 1, "\n*** Runtime Error 101: no value matched in SWITCH\n*** at: 0000000000000001h\n" },
        { 57, 0xF, "\n*** Runtime Error 57: unknown error code!\n*** at: 000000000000000Fh\n" },
    };
    for (auto const& c : cases) {
        char buffer[runtime::report_buffer_size];
        EXPECT_EQ(runtime::report(c.status, c.address, buffer), c.expected);
    }
}
