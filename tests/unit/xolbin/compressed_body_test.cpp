// XOLBIN bodies stored by the block compressor: a body compressed behind the plain header loads as the
// plain one does, in both forms, and a compressed body that does not decode is refused as invalid data.

#include <string>
#include <string_view>
#include <vector>

#include "../runtime/runtime_fixture.h"
#include "datatypes/block.h"
#include "datatypes/string.h"
#include "datatypes/typed_actions.h"
#include "datatypes/unset.h"
#include "interpreter/boot.h"
#include "interpreter/evaluator.h"
#include "interpreter/lexer/lexer.h"
#include "runtime/host/lz.h"
#include "runtime/roots.h"
#include "runtime/series.h"
#include "runtime/stack.h"
#include "xolbin/xolbin.h"

using namespace xol;

namespace {

using Bytes = std::vector<std::uint8_t>;

struct CompressedBodyTest : RuntimeTest {
    void SetUp() override
    {
        RuntimeTest::SetUp();
        boot::run_library();
    }

    static std::string molded(Cell const& value)
    {
        Rooted kept(value);
        Rooted text(string::from_utf8(""));
        actions::mold_typed(*kept, *text, false, false, false, nullptr, 0x7FFFFFFF, 0);
        return string::to_utf8(*text);
    }

    // The mold of the block of values the bytes decode to.
    static std::string loaded(Bytes const& bytes)
    {
        Rooted into(unset_value);
        block::make_at(*into, 4);
        xolbin::load(bytes, *into);
        return molded(*into);
    }

    // The same file with its body compressed and the flag set.
    static Bytes compressed(Bytes const& plain)
    {
        std::span<std::uint8_t const> const body = std::span(plain).subspan(8);
        Bytes out(8 + body.size());
        std::copy(plain.begin(), plain.begin() + 8, out.begin());
        std::int64_t const size = lz::compress(body, out.data() + 8);
        EXPECT_GT(size, 0);
        out.resize(8 + static_cast<std::size_t>(size));
        out[7] = static_cast<std::uint8_t>(out[7] | xolbin::flag_compressed);
        return out;
    }
};

}

TEST_F(CompressedBodyTest, LoadsAsThePlainBody)
{
    std::string_view const source
        = "[words and words and words 1 2 3 \"text text text text text text\" [nested [blocks of words and words]]"
          " 4.5 #\"c\" words and words and words and words and words]";
    Rooted text(string::from_utf8(source));
    Rooted code(lexer::load_all(*text));
    Rooted value(block::rs_head(*code)[0]);
    for (xolbin::Form form : { xolbin::Form::Fixed, xolbin::Form::Compact }) {
        Bytes const plain = xolbin::save(*value, form);
        Bytes const packed = compressed(plain);
        EXPECT_LT(packed.size(), plain.size());
        EXPECT_EQ(loaded(packed), loaded(plain));
        // Cut by one byte, the body no longer decodes.
        Bytes cut(packed.begin(), packed.end() - 1);
        EXPECT_EQ(raised_by([&] { loaded(cut); }), err::script::invalid_data);
    }
}
