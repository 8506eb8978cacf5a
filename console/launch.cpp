// The program's launch: the console written in Xol takes over once start-up has built the library.

#include "console/launch.h"

#include "console/line_editor.h"
#include "interpreter/boot.h"
#include "interpreter/lexer/lexer.h"
#include "runtime/memory.h"
#include "runtime/roots.h"
#include "runtime/series_buffer.h"

namespace xol::console {

void launch()
{
    line_editor::install();
    // The command line already stands in system/options/args and system/script/args; the console reads
    // its options and script from there. An error its own guards let through ends the run as any error
    // nothing catches does.
    Rooted code(lexer::load_all_bytes("cli-console-ctx/launch"));
    // The call is the console's own code, as the library is: an error's place is the user's code, never it.
    node::buffer(code->word2)->flags |= series_flags::library;
    boot::evaluate_from(*code, 0);
}

}
