// XOLBIN from inside: the writers' bytes against the record layouts, round trips that keep sharing and
// cycles, and the readers' answers to bytes no writer makes.

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "../runtime/runtime_fixture.h"
#include "datatypes/block.h"
#include "datatypes/integer.h"
#include "datatypes/string.h"
#include "datatypes/typed_actions.h"
#include "datatypes/unset.h"
#include "datatypes/word.h"
#include "interpreter/boot.h"
#include "interpreter/evaluator.h"
#include "interpreter/lexer/lexer.h"
#include "runtime/collector.h"
#include "runtime/extres.h"
#include "runtime/quit.h"
#include "runtime/roots.h"
#include "runtime/series.h"
#include "runtime/stack.h"
#include "xolbin/xolbin.h"

using namespace xol;

namespace {

using Bytes = std::vector<std::uint8_t>;

struct XolbinTest : RuntimeTest {
    void SetUp() override
    {
        RuntimeTest::SetUp();
        boot::run_library(); // none, true, the operators and the functions the cases use
    }
    void TearDown() override
    {
        // The images' pixel stores go back before the runtime's memory does.
        gc::collect();
        extres::sweep();
        RuntimeTest::TearDown();
    }

    // The value of the last expression of the text.
    static Cell evaluate(std::string_view text)
    {
        Rooted source(string::from_utf8(text));
        Rooted code(lexer::load_all(*source));
        interp::eval_block(*code, false);
        Cell const value = stack::state.top[-1];
        stack::pop(1);
        return value;
    }

    static std::string molded(Cell const& value)
    {
        Rooted kept(value);
        Rooted text(string::from_utf8(""));
        actions::mold_typed(*kept, *text, false, false, false, nullptr, 0x7FFFFFFF, 0);
        return string::to_utf8(*text);
    }

    // The values decoded from the bytes, as a block.
    static Cell decoded(Bytes const& bytes)
    {
        Rooted into(unset_value);
        block::make_at(*into, 4);
        xolbin::load(bytes, *into);
        return *into;
    }

    // Saves the value, loads the bytes back and answers the one value decoded.
    static Cell round_trip(Cell const& value, xolbin::Form form)
    {
        Bytes const bytes = xolbin::save(value, form);
        Rooted loaded(decoded(bytes));
        EXPECT_EQ(block::rs_length_q(*loaded), 1u);
        return block::rs_head(*loaded)[0];
    }
};

std::string hex(Bytes const& bytes, std::size_t from = 0)
{
    std::string text;
    for (std::size_t i = from; i < bytes.size(); ++i) {
        char two[4];
        std::snprintf(two, sizeof two, "%02X", bytes[i]);
        if (!text.empty()) text += ' ';
        text += two;
    }
    return text;
}

Bytes from_hex(std::string_view text)
{
    Bytes bytes;
    for (std::size_t i = 0; i + 1 < text.size() + 1; i += 3)
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(std::string(text.substr(i, 2)), nullptr, 16)));
    return bytes;
}

// The records of a compact save without symbols: after the magic, version, flags and the two varints.
std::string compact_records(Bytes const& bytes)
{
    std::size_t at = 8;
    for (int field = 0; field < 2; ++field)
        while (bytes[at++] & 0x80) { }
    return hex(bytes, at);
}

// The records of a fixed-width save without symbols: after the 16-byte header.
std::string fixed_records(Bytes const& bytes)
{
    return hex(bytes, 16);
}

}

// The compact records of values built by the text, byte for byte.
TEST_F(XolbinTest, CompactRecordsFollowTheLayouts)
{
    struct Case {
        std::string_view text;
        std::string_view records;
    };
    Case const cases[] = {
        { "63", "BF" },
        { "64", "0B 80 01" },
        { "-1", "0B 01" },
        { "0", "80" },
        { "-2147483648", "0B FF FF FF FF 0F" }, // the largest fifth varint byte
        { "2.0", "4C 04" },
        { "2.5", "0C 00 00 00 00 00 00 04 40" },
        { "-0.0", "0C 00 00 00 00 00 00 00 80" }, // minus zero stays raw
        { "3000000000.0", "0C 00 00 00 C0 0B 5A E6 41" },
        { "50%", "66 64" },
        { "12.5%", "26 00 00 00 00 00 00 C0 3F" }, // 12.5 hundredths: no integer form
        { "0:00:02", "6B 04" },
        { "make typeset! []", "21 00" },
        { "make typeset! [none!]", "21 01 10" },
        { "1x-1", "25 02 01" },
        { "#\"a\"", "0A 61" },
        { "none", "03" },
        { "true", "C2" },
        { "false", "C3" },
        { "integer!", "01 0B" },
        { "\"abc\"", "07 0C 61 62 63" },
        { "\"\u00e9\"", "07 05 E9 00" }, // two-byte units
        { "[1 2]", "05 02 81 82" },
        { "next [1 2]", "45 01 02 81 82" },
        { "[\n1]", "05 01 C0 81" },
        { "make bitset! \"a\"", "1E 0D 00 00 00 00 00 00 00 00 00 00 00 00 40" },
        { "a: [1] reduce [a a]", "05 02 05 01 81 C1 05 02 00 00" }, // the second is a reference
        { "a: [1] append/only a a a", "05 02 81 C1 05 01 00" }, // a block that holds itself
        { "1.2.3", "27 01 02 03" },
        { "1.2.3.4", "67 04 01 02 03 04" }, // three components need no count
        { "1-Jan-2000", "2F 80 10 A0 0F" }, // no time: no F and no time halves
        { "1-Jan-2000/10:00", "6F 80 10 A1 0F 00 00 00 00 00 94 E1 40" },
        { "$1", "31 00 00 00 00 00 00 00 00 00 10 00 00" }, // the units digit is position 17's high nibble
        { "-USD$2.5", "71 9B 00 00 00 00 00 00 00 00 25 00 00" }, // F for the sign, USD the 155th currency
        { "(1, 2)", "33 00 00 80 3F 00 00 00 40" },
        { "(1, 2, 3)", "34 00 00 80 3F 00 00 00 40 00 00 40 40" },
        { "#{0102}", "29 02 01 02" },
        { "next #{0102}", "69 01 02 01 02" },
        { "make vector! [integer! 16 2]", "23 2D 02 00 00 00 00" }, // element type 11, unit code 1
        { "make vector! [float! 64 1]", "23 33 01 00 00 00 00 00 00 00 00" },
        { "make map! [1 2 3 4]", "28 04 81 82 83 84" },
        { "m: make map! [1 2 3 4] remove/key m 1 m", "28 02 83 84" },
        { "make hash! [1 2]", "24 02 81 82" },
        { "<a>", "2C 04 61" },
        // Images: width and height, then B, G, R, A per pixel; F for a head index; no pixels for a side of 0.
        { "make image! [2x1 1.2.3]", "35 02 01 03 02 01 FF 03 02 01 FF" },
        { "next make image! [2x1 1.2.3.255]", "75 01 02 01 03 02 01 00 03 02 01 00" },
        { "make image! 0x5", "35 00 05" },
        { "make image! 300x0", "35 AC 02 00" },
        { "i: make image! [1x1 1.2.3] reduce [i next i]", "05 02 35 01 01 03 02 01 FF C1 75 01 02 00 00" },
    };
    for (Case const& c : cases) {
        Rooted value(evaluate(c.text));
        EXPECT_EQ(compact_records(xolbin::save(*value, xolbin::Form::Compact)), c.records) << c.text;
    }
}

TEST_F(XolbinTest, FixedRecordsFollowTheLayouts)
{
    struct Case {
        std::string_view text;
        std::string_view records;
    };
    Case const cases[] = {
        { "63", "0B 00 00 00 3F 00 00 00" },
        { "true", "04 00 00 00 01 00 00 00" },
        // Doubles start on an 8-byte boundary of the records: none, none and 1.5 need one padding word.
        { "reduce [none 1.5]", "05 00 00 00 00 00 00 00 02 00 00 00 03 00 00 00 0C 00 00 00 00 00 F8 3F 00 00 00 00" },
        { "reduce [none none 1.5]",
            "05 00 00 00 00 00 00 00 03 00 00 00 03 00 00 00 03 00 00 00 00 00 00 00 0C 00 00 00 00 00 F8 3F 00 00 00 "
            "00" },
        { "\"hello\"", "07 01 00 00 00 00 00 00 05 00 00 00 68 65 6C 6C 6F 00 00 00" },
        { "make typeset! [none!]", "21 00 00 00 10 00 00 00 00 00 00 00 00 00 00 00" },
        { "-1x2", "25 00 00 00 FF FF FF FF 02 00 00 00" },
        { "1.2.3.4", "27 04 00 00 01 02 03 04 00 00 00 00 00 00 00 00" }, // the count in bits 8-15
        { "1-Jan-2000", "2F 00 00 00 80 10 A0 0F 00 00 00 00 00 00 00 00" },
        { "1-Jan-2000/10:00", "2F 00 00 00 80 10 A1 0F 00 94 E1 40 00 00 00 00" }, // the time's high half first
        { "-$1", "31 00 40 00 00 00 00 00 00 00 00 00 00 10 00 00" }, // the sign in bit 22
        { "(1, 2)", "33 00 00 00 00 00 80 3F 00 00 00 40" },
        { "(1, 2, 3)", "34 00 00 00 00 00 80 3F 00 00 00 40 00 00 40 40" },
        { "next #{010203}", "29 01 00 00 01 00 00 00 03 00 00 00 01 02 03 00" },
        { "make vector! [integer! 16 2]", "23 02 00 00 00 00 00 00 02 00 00 00 0B 00 00 00 00 00 00 00" },
        { "make map! [1 2]", "28 00 00 00 02 00 00 00 0B 00 00 00 01 00 00 00 0B 00 00 00 02 00 00 00" },
        { "<ab>", "2C 01 00 00 00 00 00 00 02 00 00 00 61 62 00 00" },
        { "next make image! [2x1 1.2.3]", "35 00 00 00 01 00 00 00 02 00 01 00 03 02 01 FF 03 02 01 FF" },
        { "make image! 0x5", "35 00 00 00 00 00 00 00 00 00 05 00" },
        { "a: [1] reduce [a a]",
            "05 00 00 00 00 00 00 00 02 00 00 00 05 00 00 00 00 00 00 00 01 00 00 00 0B 00 00 00 01 00 00 00 05 00 08 "
            "00 "
            "00 00 00 00 FF 00 00 00 02 00 00 00 00 00 00 00 00 00 00 00" },
    };
    for (Case const& c : cases) {
        Rooted value(evaluate(c.text));
        EXPECT_EQ(fixed_records(xolbin::save(*value, xolbin::Form::Fixed)), c.records) << c.text;
    }
}

// Whole files: the header, the symbol table of each form, and the flags that say which sections follow.
TEST_F(XolbinTest, HeadersAndSymbolTables)
{
    Rooted none(evaluate("none"));
    EXPECT_EQ(hex(xolbin::save(*none, xolbin::Form::Compact)), "58 4F 4C 42 49 4E 02 01 01 01 03");
    EXPECT_EQ(
        hex(xolbin::save(*none, xolbin::Form::Fixed)), "58 4F 4C 42 49 4E 02 00 01 00 00 00 04 00 00 00 03 00 00 00");
    Rooted issue(evaluate("#ab"));
    EXPECT_EQ(hex(xolbin::save(*issue, xolbin::Form::Compact)),
        "58 4F 4C 42 49 4E 02 05 01 02 01 03 00 00 00 00 61 62 00 14 00");
    EXPECT_EQ(hex(xolbin::save(*issue, xolbin::Form::Fixed)),
        "58 4F 4C 42 49 4E 02 04 01 00 00 00 08 00 00 00 01 00 00 00 08 00 00 00 00 00 00 00 61 62 00 00 00 00 00 00 "
        "14 "
        "00 00 00 00 00 00 00");
}

// What comes back is what went: molded alike, in both forms.
TEST_F(XolbinTest, RoundTripsKeepValues)
{
    std::string_view const texts[] = {
        "[1 -1 64 2147483647 -2147483648 2.5 -0.0 1e300 50% 12.5% 0:01:02.5 1x2 #\"\u4e2d\" none true false]",
        "[\"\" \"abc\" \"\u00e9t\u00e9\" \"\U0001F600\" integer! #issue word 'lit :get set: /ref]",
        "[a/b/c 'a/b :a/b a/b: (1 + 2) [[[]]]]",
        "reduce [make typeset! [] make typeset! [integer! block!] make bitset! \"abc\" complement make bitset! \"a\"]",
        "next next [1 2 3]",
        "[1.2.3 255.0.0.1 1.2.3.4.5.6.7.8.9.10.11.12]",
        "make object! [a: 1 b: \"two\" c: [3]]",
        "[1-Jan-2000 29-Feb-2024/23:59:59.5 1-Jan-2000/1:00+5:30 31-Dec-1999/0:00-0:15]",
        "[$0 -$1 $12345678901234567.89012 -EUR$0.00001 (1, 2) (1.5, -2.5e30, 3) (-0, 0)]",
        "[#{} #{00FF} <tag> me@example.com @ref]",
        "reduce [make vector! [integer! 8 [1 -2]] make vector! [char! 32 [#\"a\"]] make vector! [percent! 64 [50%]]]",
        "next make vector! [float! 32 [1.5 2.5]]",
        "make map! [a 1 \"b\" [2] 3 #c 4x5 (1, 2)]",
        "make hash! [a b c 1 2]",
        "next next make hash! [a b c]",
        "reduce [make image! [3x2 1.2.3.4] at make image! [2x2 9.8.7] 3 make image! 0x7 make image! 4x0]",
    };
    for (auto form : { xolbin::Form::Compact, xolbin::Form::Fixed }) {
        for (std::string_view text : texts) {
            Rooted value(evaluate(text));
            Rooted loaded(round_trip(*value, form));
            EXPECT_EQ(molded(*loaded), molded(*value)) << text;
            if (type_ids::is_series(cell::type_of(*value))) {
                EXPECT_EQ(series::index_of(*loaded), series::index_of(*value)) << text;
            }
        }
    }
}

// Sharing, cycles, bound words and functions survive, and the loaded values work.
TEST_F(XolbinTest, RoundTripsKeepSharingAndBindings)
{
    struct Case {
        std::string_view build; // leaves the value to save
        std::string_view check; // run with `v` set to the loaded value: must answer true
    };
    Case const cases[] = {
        { "a: [1] reduce [a a]", "append pick v 1 2  2 = length? pick v 2" },
        { "a: [1] append/only a a a", "same? v pick v 2" },
        { "o: make object! [x: 1 f: func [y] [x + y]] reduce [o in o 'x]",
            "v/1/x: 10  all [11 = v/1/f 1  10 = get v/2]" },
        { "f: func [a /b c] [either b [a + c] [a * 2]]", "all [6 = v 3  4 = v/b 1 3]" },
        { "reduce [make op! :add]", "o: pick v 1  3 = (1 o 2)" },
        { "reduce [:append :if]", "a: pick v 1  b: pick v 2  all [[1 2] = a [1] 2  1 = b true [1]]" },
        { "e: try [1 / 0] reduce [e e]", "all [error! = type? v/1  v/1/id = 'zero-divide]" },
        { "o: make object! [a: 1 on-change*: func [w o n] [set 'seen n]] seen: none o", "v/a: 5  seen = 5" },
        // Maps and hashes keep their look-ups, their sharing and themselves.
        { "m: make map! [a 1 b 2] m/c: m reduce [m m]", "v/1/d: 4  all [4 = v/2/d  same? v/1 v/1/c  1 = v/1/a]" },
        { "h: make hash! [a 1 b 2] append/only h h h", "all [find v 'a  2 = select v 'b  same? v pick v 5]" },
        { "b: #{0102} reduce [b next b]", "append v/1 3  #{0203} = v/2" },
        { "x: make vector! [integer! 32 [1 2]] reduce [x x]", "v/1/1: 7  7 = v/2/1" },
        { "i: make image! [2x1 1.2.3] reduce [i next i]",
            "poke v/1 2 9.9.9  all [9.9.9.0 = first v/2  2 = index? v/2]" },
    };
    for (auto form : { xolbin::Form::Compact, xolbin::Form::Fixed }) {
        for (Case const& c : cases) {
            Rooted value(evaluate(c.build));
            Rooted loaded(round_trip(*value, form));
            Rooted name(word::make_global("v"));
            word::set(*name, *loaded);
            Rooted answer(evaluate(c.check));
            EXPECT_EQ(molded(*answer), "true") << c.build << " / " << c.check;
        }
    }
}

// Values with no record are refused, and so is nesting past the limit.
TEST_F(XolbinTest, WritersRefuse)
{
    Rooted deep(evaluate("b: [] loop 600 [b: reduce [b]] b"));
    Rooted in_block(evaluate("[1 2]"));
    block::rs_append(*in_block, cell::make(type_ids::triple, 1, 2, 3));
    struct Case {
        Cell const* value;
        ErrorId error;
    };
    Rooted symbol(evaluate("[a]"));
    block::rs_head(*symbol)[0] = cell::make(type_ids::symbol, 0, block::rs_head(*symbol)[0].word2, 0);
    Rooted context(evaluate("[a]"));
    block::rs_head(*context)[0] = cell::make(type_ids::context, 0, context::global(), 0);
    Case const cases[] = {
        { &*in_block, err::access::no_codec },
        { &*symbol, err::access::no_codec },
        { &*context, err::access::no_codec },
        { &*deep, err::internal::too_deep },
    };
    for (auto form : { xolbin::Form::Compact, xolbin::Form::Fixed })
        for (Case const& c : cases) EXPECT_EQ(raised_by([&] { xolbin::save(*c.value, form); }), c.error);
}

// Bytes no writer makes: the error and, for a bad record, the offset of the byte where reading stopped, plus 1.
TEST_F(XolbinTest, ReadersRefuseBadData)
{
    struct Case {
        std::string_view bytes;
        ErrorId error;
        std::int32_t offset; // the argument of xb-invalid-record
    };
    std::string const deep = [] {
        std::string text = "58 4F 4C 42 49 4E 02 01 01 D0 0F";
        for (int i = 0; i < 1000; ++i) text += " 05 01";
        return text;
    }();
    Case const cases[] = {
        { "58 4F 4C 42 49 4E 02", err::script::invalid_data, 0 },
        { "58 4F 4C 42 49 4F 02 01 01 01 03", err::script::invalid_data, 0 }, // the magic
        { "58 4F 4C 42 49 4E 02 03 01 01 03", err::script::invalid_data, 0 }, // a compressed body that does not decode
        { "58 4F 4C 42 49 4E 02 01 01 02 C4 8F", err::script::xb_invalid_record, 11 }, // assignment in codec data
        { "58 4F 4C 42 49 4E 02 01 01 02 C1 C2", err::script::xb_invalid_record, 12 },
        { "58 4F 4C 42 49 4E 02 01 01 06 0B FF FF FF FF 10", err::script::xb_invalid_record, 16 },
        { "58 4F 4C 42 49 4E 02 01 01 05 0A 80 80 C4 00", err::script::xb_invalid_record, 12 }, // char above 0x10FFFF
        { "58 4F 4C 42 49 4E 02 01 01 02 07 03", err::script::xb_invalid_record, 12 }, // text unit code 3
        { "58 4F 4C 42 49 4E 02 01 01 01 0D", err::script::xb_invalid_record, 11 }, // symbol! has no record
        { "58 4F 4C 42 49 4E 02 01 01 01 2A", err::script::xb_invalid_record, 11 }, // nor has series!
        { "58 4F 4C 42 49 4E 02 01 01 02 3F 3F", err::script::xb_invalid_record, 11 }, // type ids from 63
        { "58 4F 4C 42 49 4E 02 01 01 01 04", err::script::xb_invalid_record, 11 }, // logic! only as C2 and C3
        { "58 4F 4C 42 49 4E 02 01 01 02 05 05", err::script::xb_invalid_record, 12 }, // 5 cells in 0 bytes
        { "58 4F 4C 42 49 4E 02 01 01 03 01 80 02", err::script::xb_invalid_record, 12 }, // datatype id 256
        { "58 4F 4C 42 49 4E 02 01 01 03 22 FF 07", err::script::xb_invalid_record, 12 }, // no such error code
        { "58 4F 4C 42 49 4E 02 01 01 01 1D", err::access::no_codec, 0 }, // routine!
        { "58 4F 4C 42 49 4E 02 01 01 03 17 81 80", err::script::xb_invalid_record, 12 }, // op! of an integer
        { "58 4F 4C 42 49 4E 02 01 01 04 15 05 05 00", err::script::xb_invalid_record, 12 }, // native of no such shape
        { "58 4F 4C 42 49 4E 02 01 01 02 FF 01", err::script::xb_invalid_record, 13 }, // a path past the records
        { "58 4F 4C 42 49 4E 02 01 01 03 FF 01 05", err::script::xb_invalid_record, 11 }, // a position past the root
        { "58 4F 4C 42 49 4E 02 01 01 06 05 01 C1 07 01 00", err::script::xb_invalid_record, 15 }, // text onto cells
        { "58 4F 4C 42 49 4E 02 01 01 02 0F 00", err::script::xb_invalid_record, 12 }, // no symbols
        { "58 4F 4C 42 49 4E 02 05 01 01 01 02 00 00 00 00 61 62 03", err::script::xb_invalid_record,
            11 }, // no closing NUL
        // An event slot outside the context, and one that names another word.
        { "58 4F 4C 42 49 4E 02 05 01 09 01 02 00 00 00 00 61 00 60 01 04 01 0E 12 01 00 81",
            err::script::xb_invalid_record, 21 },
        { "58 4F 4C 42 49 4E 02 05 01 09 01 02 00 00 00 00 61 00 60 01 00 01 0E 12 01 00 81",
            err::script::xb_invalid_record, 21 },
        // A fixed body shorter than its two words, a negative head index, a text unit of 3.
        { "58 4F 4C 42 49 4E 02 00 01 00 00", err::script::invalid_data, 0 },
        { "58 4F 4C 42 49 4E 02 00 01 00 00 00 0C 00 00 00 05 00 00 00 FF FF FF FF 00 00 00 00",
            err::script::xb_invalid_record, 21 },
        { "58 4F 4C 42 49 4E 02 00 01 00 00 00 0C 00 00 00 07 03 00 00 00 00 00 00 00 00 00 00",
            err::script::xb_invalid_record, 17 },
        // Dates: bit 16 without F, 30 February, a time without the flag, a minus sign on zone 0.
        { "58 4F 4C 42 49 4E 02 01 01 05 2F 80 10 A1 0F", err::script::xb_invalid_record, 12 },
        { "58 4F 4C 42 49 4E 02 01 01 05 2F 00 2F A0 0F", err::script::xb_invalid_record, 12 },
        { "58 4F 4C 42 49 4E 02 00 01 00 00 00 10 00 00 00 2F 00 00 00 80 10 A0 0F 00 00 F0 3F 00 00 00 00",
            err::script::xb_invalid_record, 21 },
        { "58 4F 4C 42 49 4E 02 01 01 0D 6F C0 10 A1 0F 00 00 00 00 00 00 00 00", err::script::xb_invalid_record, 12 },
        // Money: a nibble above 9, a currency the list lacks.
        { "58 4F 4C 42 49 4E 02 01 01 0D 31 00 00 00 00 00 00 00 00 00 A0 00 00", err::script::xb_invalid_record, 12 },
        { "58 4F 4C 42 49 4E 02 01 01 0D 31 FF 00 00 00 00 00 00 00 00 10 00 00", err::script::xb_invalid_record, 12 },
        // Vectors: integer! of 8 bytes, a type without a width of its own; a binary of 2-byte units.
        { "58 4F 4C 42 49 4E 02 01 01 03 23 2F 00", err::script::xb_invalid_record, 12 },
        { "58 4F 4C 42 49 4E 02 01 01 03 23 1C 00", err::script::xb_invalid_record, 12 },
        { "58 4F 4C 42 49 4E 02 00 01 00 00 00 0C 00 00 00 29 02 00 00 00 00 00 00 00 00 00 00",
            err::script::xb_invalid_record, 17 },
        // Maps: an odd count, a key of no key type; hash! and map! shared only as themselves.
        { "58 4F 4C 42 49 4E 02 01 01 04 28 03 81 82", err::script::xb_invalid_record, 12 },
        { "58 4F 4C 42 49 4E 02 01 01 04 28 02 03 81", err::script::xb_invalid_record, 12 },
        { "58 4F 4C 42 49 4E 02 01 01 06 05 01 C1 24 01 00", err::script::xb_invalid_record, 15 },
        { "58 4F 4C 42 49 4E 02 01 01 06 24 01 C1 05 01 00", err::script::xb_invalid_record, 15 },
        { "58 4F 4C 42 49 4E 02 01 01 06 05 01 C1 28 01 00", err::script::xb_invalid_record, 15 },
        // Images: a side above 65535, pixels past the records, a head index past the pixels; shared only as an
        // image.
        { "58 4F 4C 42 49 4E 02 01 01 05 35 80 80 04 01", err::script::xb_invalid_record, 12 },
        { "58 4F 4C 42 49 4E 02 01 01 06 35 01 01 03 02 01", err::script::xb_invalid_record, 14 },
        { "58 4F 4C 42 49 4E 02 01 01 04 75 02 01 00", err::script::xb_invalid_record, 13 },
        { "58 4F 4C 42 49 4E 02 00 01 00 00 00 0C 00 00 00 35 00 00 00 00 00 00 00 01 00 01 00",
            err::script::xb_invalid_record, 29 },
        { "58 4F 4C 42 49 4E 02 01 01 06 05 01 C1 35 01 00", err::script::xb_invalid_record, 15 },
        { deep, err::script::xb_invalid_record, 0 },
    };
    for (Case const& c : cases) {
        Bytes const bytes = from_hex(c.bytes);
        auto const raised = raised_by([&] { decoded(bytes); });
        EXPECT_EQ(raised, c.error) << c.bytes;
        if (raised == err::script::xb_invalid_record && c.offset != 0) {
            Cell const argument = errors::last_raised().arguments[0];
            EXPECT_EQ(cell::integer_payload(argument), c.offset) << c.bytes;
        }
    }
}

// Readers ignore the version and the root count, and accept the copy record no writer makes.
TEST_F(XolbinTest, ReadersAcceptWhatTheyIgnore)
{
    Rooted loaded(decoded(from_hex("58 4F 4C 42 49 4E 09 01 07 08 05 02 81 82 FF 02 00 01")));
    EXPECT_EQ(molded(*loaded), "[[1 2] 2]");
    Rooted appended(evaluate("[1]"));
    Bytes const bad = from_hex("58 4F 4C 42 49 4E 02 01 01 03 81 82 04");
    EXPECT_EQ(raised_by([&] { xolbin::load(bad, *appended); }), err::script::xb_invalid_record);
    EXPECT_EQ(molded(*appended), "[1 1 2]"); // values appended before the fault stay
}

// Text in any unit: stored as it is when the unit fits, widened when a one-byte unit holds a byte past ASCII.
TEST_F(XolbinTest, ReadersTakeTextInEveryUnit)
{
    Rooted loaded(decoded(from_hex("58 4F 4C 42 49 4E 02 01 01 19 05 04 07 0C 61 62 63 07 08 E9 61"
                                   " 07 0D 41 00 E9 00 02 01 07 06 F6 01 01 00")));
    EXPECT_EQ(molded(block::rs_head(*loaded)[0]), "[\"abc\" \"\u00e9a\" \"A\u00e9\u0102\" \"\U000101F6\"]");
}

// The library's image is read in boot mode: its words are global and its blocks come back as the codec
// reads them, new lines, nesting, head indexes and hash! tables included.
TEST_F(XolbinTest, BootLoadReadsWhatTheCodecReads)
{
    std::string_view const texts[] = {
        "[a 'b :c d: /e\n f [g\n (h i/j) [] ()] #k]",
        "[\n [[[[x]]]]\n\n y]",
        "reduce [next [p q r] make hash! [s 1 t 2] first [(u v)] 'w/x]",
        "[1 \"\u00e9t\u00e9\" \"plain ascii text longer than eight bytes\" 2.5 none]",
    };
    for (std::string_view text : texts) {
        Rooted value(evaluate(text));
        Bytes const bytes = xolbin::save(*value, xolbin::Form::Compact);
        Rooted by_codec(decoded(bytes));
        Rooted at_boot(unset_value);
        block::make_at(*at_boot, 1);
        xolbin::load(bytes, *at_boot, xolbin::Mode::Boot);
        ASSERT_EQ(block::rs_length_q(*at_boot), 1u) << text;
        Cell const booted = block::rs_head(*at_boot)[0];
        EXPECT_EQ(molded(booted), molded(block::rs_head(*by_codec)[0])) << text;
        EXPECT_EQ(molded(booted), molded(*value)) << text;
        EXPECT_EQ(series::index_of(booted), series::index_of(*value)) << text;
    }
}

// Boot data binds words by root index and assigns values without leaving them in the block. The symbols:
// 0 boot-x, 1 field. The first root is a context of one word, field: 5.
TEST_F(XolbinTest, BootDataAssignsAndBindsByRootIndex)
{
    std::string const head = "58 4F 4C 42 49 4E 01 05 01 ";
    std::string const symbols = " 02 0D 00 00 00 00 07 00 00 00 62 6F 6F 74 2D 78 00 66 69 65 6C 64 00 ";
    auto const image = [&](std::string_view size, std::string_view records) {
        return from_hex(head + std::string(size) + symbols + std::string(records));
    };
    auto const boot_load = [](Bytes const& bytes, Cell const& into) { xolbin::load(bytes, into, xolbin::Mode::Boot); };
    // field := 12 by slot, a word bound by name (slot -1), boot-x := 11 in the global context, then boot-x.
    Rooted into(evaluate("[1]")); // root indexes count from the first cell the load appends
    boot_load(image("15", "0E 1A 01 01 85 C4 50 01 00 00 8C 4F 01 00 01 C4 10 00 8B 0F 00"), *into);
    ASSERT_EQ(block::rs_length_q(*into), 4u);
    EXPECT_EQ(molded(*word::get_value(block::rs_head(*into)[2])), "12");
    EXPECT_EQ(molded(block::rs_head(*into)[3]), "boot-x");
    EXPECT_EQ(molded(evaluate("boot-x")), "11");

    struct Case {
        std::string_view size;
        std::string_view records;
        std::int32_t offset; // the argument of xb-invalid-record
    };
    Case const cases[] = {
        { "03", "C4 14 00", 35 }, // an issue! names no value
        { "03", "C4 10 00", 37 }, // no value after the assignment
        { "07", "C4 10 00 C4 10 00 8B", 37 }, // nor one that leaves nothing
        { "04", "4F 01 00 00", 36 }, // no root at that index
        { "05", "85 4F 01 00 00", 37 }, // a root without a context
        { "09", "0E 1A 01 01 85 4F 00 00 00", 40 }, // the context lacks the word
        { "03", "C1 0F 00", 35 }, // boot data binds by root index, never by path
    };
    for (Case const& c : cases) {
        Rooted target(evaluate("[]"));
        auto const raised = raised_by([&] { boot_load(image(c.size, c.records), *target); });
        EXPECT_EQ(raised, err::script::xb_invalid_record) << c.records;
        if (raised == err::script::xb_invalid_record) {
            EXPECT_EQ(cell::integer_payload(errors::last_raised().arguments[0]), c.offset) << c.records;
        }
    }
}

// Start-up's load of the image: a buffer that is no XOLBIN prints its line and ends the run with status 1,
// the collector switched back as it was; a good image loads as any data does.
TEST_F(XolbinTest, TheBootLoadEndsTheRunOnDataThatIsNoImage)
{
    Rooted into(evaluate("[]"));
    for (std::string_view text : { "58 4F 4C 42 49 4F 02 01 01 01 03", "58 4F 4C 42 49 4E 02 03 01 01 03", "58 4F" }) {
        Bytes const bytes = from_hex(text);
        try {
            xolbin::load_boot(bytes, *into);
            ADD_FAILURE() << text << " loaded";
        } catch (runtime::QuitRequest const& request) {
            EXPECT_EQ(request.status, 1) << text;
        }
        EXPECT_TRUE(gc::state.enabled);
    }
    xolbin::load_boot(from_hex("58 4F 4C 42 49 4E 01 01 07 02 05 00"), *into);
    EXPECT_EQ(molded(*into), "[[]]");
}
