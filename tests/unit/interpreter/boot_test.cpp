// Start-up's reading of the built-in descriptions against the natives and action tables: a spec whose name
// is not its row's stops the process, so that no spec binds a word to another row's entry. And the library's
// code once marked: silent to a trace, and leaving errors to name the user's code.

#include <string>
#include <string_view>

#include "../runtime/runtime_fixture.h"
#include "datatypes/string.h"
#include "datatypes/typed_actions.h"
#include "interpreter/boot.h"
#include "interpreter/evaluator.h"
#include "interpreter/lexer/lexer.h"
#include "runtime/roots.h"
#include "runtime/stack.h"

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

// Functions defined before the marking are the library's: a tracer sees the calls the user's code makes,
// inside a block given to a library function too, but nothing the library's own body does; an error inside
// a library function names the user's expression that called it.
namespace {

// The value of the text's last expression, molded.
std::string run(std::string_view text)
{
    Rooted source(string::from_utf8(text));
    Rooted code(lexer::load_all(*source));
    interp::eval_block(*code, false);
    Rooted value(stack::state.top[-1]);
    stack::pop(1);
    Rooted molded(string::from_utf8(""));
    actions::mold_typed(*value, *molded, false, false, false, nullptr, 0x7FFFFFFF, 0);
    return string::to_utf8(*molded);
}

}

TEST_F(BootTest, TheLibrarysCodeRunsSilent)
{
    {
    }
    boot::run_library();
    run("lib-run: func [b] [do b] lib-fail: func [] [add 1 divide 1 0] lib-data: reduce [func [] [do [lib-fail]]]"
        " lib-interpreted: func [] [system/state/interpreted?]");
    boot::mark_library();
    run("calls: copy [] tracer: func [event code offset value ref] [if event = 'call [append calls ref] true]");
    EXPECT_EQ(run("do/trace [lib-run [add 1 2] user: func [] [lib-run [subtract 2 1]] user] :tracer calls"),
        "[lib-run add func user lib-run subtract]");
    EXPECT_EQ(run("e: try [lib-fail] e/near"), "[lib-fail]");
    EXPECT_EQ(run("f: :lib-data/1 e: try [f] e/near"), "[f]"); // a block in a library value, deeply
    EXPECT_EQ(run("g: func [] [1 / 0] e: try [lib-run [g]] e/near"), "[1 / 0]"); // the user's code names itself
    // The library's frames stand for compiled code: a call from them is not interpreted, one from the
    // user's block a library function runs is.
    EXPECT_EQ(run("reduce [lib-interpreted system/state/interpreted? lib-run [system/state/interpreted?]]"),
        "[false true true]");
}

// After the rebinding, what a script sets changes nothing the library reads, except what stays live: the
// words the library sets, the typeset words, system, and words that had no value.
TEST_F(BootTest, TheLibraryKeepsTheValuesOfStartUp)
{
    boot::run_library();
    run("lib-twice: func [x] [add x x] lib-count: func [] [counter: 1 + 0] lib-read: func [] [counter]"
        " lib-number?: func [v] [either find number! type? v [true] [false]] lib-later: func [] [later]"
        " lib-quiet: func [] [system/options/quiet] lib-in: func [] [reduce [func [] [add 2 2]]]");
    boot::rebind_library();
    run("add: none  append: 1");
    EXPECT_EQ(run("lib-twice 2"), "4");
    EXPECT_EQ(run("f: pick lib-in 1 f"), "4"); // a function the library makes at run time
    EXPECT_EQ(run("lib-count counter"), "1"); // set by the library for scripts
    EXPECT_EQ(run("counter: 5 lib-read"), "5");
    EXPECT_EQ(run("number!: make typeset! [integer!] lib-number? 1.5"), "false");
    EXPECT_EQ(run("later: 7 lib-later"), "7");
    EXPECT_EQ(run("system/options/quiet: true lib-quiet"), "true");
}
