// Start-up's reading of the built-in descriptions against the natives and action tables: a spec whose name
// is not its row's stops the process, so that no spec binds a word to another row's entry.

#include <string>
#include <string_view>

#include "../runtime/runtime_fixture.h"
#include "interpreter/boot.h"

using namespace xol;

namespace {

struct BootTest : RuntimeTest { };

// The embedded descriptions with the first `from` replaced by `to`.
std::string replaced(std::string_view from, std::string_view to)
{
    std::string text(boot::library_sources()[0].text);
    std::size_t const at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

}

TEST_F(BootTest, TheEmbeddedDescriptionsAreRead)
{
    EXPECT_EXIT(
        {
            boot::read_specs(boot::library_sources()[0]);
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(BootTest, ASpecNotNamedAsItsRowIsRefused)
{
    struct Case {
        std::string_view from, to;
        char const* message;
    };
    Case const cases[] = {
        { "\neither: native 3 [", "\nneither: native 3 [", "a native's spec has the name of its row" },
        { "\nunless: native 2 [", "\nif: native 2 [", "a native's spec has the name of its row" }, // another row's name
        { "\napply: native 107 [", "\napply: native 108 [", "natives come in index order" },
        { "\nadd: action 11 [", "\nsubtract: action 11 [", "an action's spec has the name of its row" },
        { "\nwrite: action 62 [", "\nwrite!: action 62 [", "an action's spec has the name of its row" },
        { "\nabsolute: action 10 [", "\ncompare: action 9 [", "eval-path, set-path and compare have no action value" },
    };
    for (Case const& c : cases) {
        std::string const text = replaced(c.from, c.to);
        boot::SourceFile const source { "library/boot.xol", text };
        EXPECT_DEATH(boot::read_specs(source), c.message) << c.to;
    }
}
