// The program's launch: the command line's options, then the script named there, run from its header on.

#include "console/launch.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "console/line_editor.h"
#include "console/prompt_loop.h"
#include "datatypes/block.h"
#include "datatypes/registry.h"
#include "datatypes/string.h"
#include "datatypes/unset.h"
#include "datatypes/word.h"
#include "interpreter/boot.h"
#include "interpreter/lexer/lexer.h"
#include "runtime/error_ids.h"
#include "runtime/errors.h"
#include "runtime/output.h"
#include "runtime/platform/environment.h"
#include "runtime/platform/files.h"
#include "runtime/quit.h"
#include "runtime/roots.h"
#include "runtime/runtime_record.h"
#include "runtime/stack.h"

namespace xol::console {

namespace {

// A script named on the command line that cannot run ends the process with this status: an error
// nothing catches, a missing header, code that needs compiling. A run that only printed its failure and
// reported success would hide it from the shell.
constexpr int script_failure_status = 1;

struct CommandLine {
    bool catch_mode = false; // "--catch": the prompt loop follows the script
    std::optional<std::string> script; // none when no script is named; an empty name is a name all the same
};

// Options are the arguments starting with "--" before the script's name. "--catch" is taken wherever it
// stands among them; a lone "--" is stepped over and ends them.
CommandLine read_command_line(std::vector<std::string> const& arguments)
{
    CommandLine line;
    std::size_t i = 1;
    while (i < arguments.size() && arguments[i].starts_with("--")) {
        bool const ends_options = arguments[i] == "--";
        if (arguments[i] == "--catch") line.catch_mode = true;
        ++i;
        if (ends_options) break;
    }
    if (i < arguments.size()) line.script = arguments[i];
    return line;
}

// Where the header starts: "Xol", optionally "/System", any whitespace, then "[". Case-sensitive; npos
// when there is none.
std::size_t find_header(std::string_view text)
{
    for (std::size_t start = text.find("Xol"); start != std::string_view::npos; start = text.find("Xol", start + 1)) {
        std::size_t position = start + 3;
        if (text.substr(position).starts_with("/System")) position += 7;
        while (position < text.size()
            && (text[position] == ' ' || text[position] == '\t' || text[position] == '\n' || text[position] == '\r'))
            ++position;
        if (position < text.size() && text[position] == '[') return start;
    }
    return std::string_view::npos;
}

[[noreturn]] void fail(std::string_view message)
{
    print::cstr(message);
    print::cstr("\n");
    throw runtime::QuitRequest { script_failure_status };
}

// The script's folder becomes the current directory, so that the script finds its files beside it.
void enter_folder_of(std::string_view path)
{
    std::size_t const slash = path.rfind('/');
    if (slash == std::string_view::npos) return;
    std::string const folder(path.substr(0, slash == 0 ? 1 : slash));
    static_cast<void>(platform::set_current_dir(folder)); // it exists: the script was just read from it
}

[[noreturn]] void cannot_open(std::string_view path)
{
    Rooted name(string::from_utf8(path));
    if (datatype::is_registered(type_ids::file)) cell::set_type(*name, type_ids::file);
    fire_error(err::access::cannot_open, &*name);
}

// The preprocessor over the whole loaded script, header included, so that its directives and macros take
// effect before any of it runs. The block changes in place. May allocate.
void expand_directives(Cell const& code)
{
    Rooted kept(code);
    Rooted call(unset_value);
    block::make_at(*call, 2);
    Rooted name(word::make_global("expand-directives"));
    block::rs_append(*call, *name);
    block::rs_append(*call, *kept);
    boot::evaluate_from(*call, 0);
}

void run_script(std::string const& path)
{
    // From here on an error nothing catches ends the run with the script's failure status.
    errors::set_uncaught_status(script_failure_status);
    std::optional<std::string> const text = platform::read_file(path);
    if (!text) cannot_open(path);
    enter_folder_of(path);

    std::size_t const header = find_header(*text);
    if (header == std::string::npos) fail("*** Error: Xol header not found!");
    // The lexer reads the file's bytes themselves: a malformed sequence is a syntax error where it stands,
    // and no decoding can turn bytes into characters they only resemble.
    Rooted code(lexer::load_all_bytes(std::string_view(*text).substr(header)));
    std::int32_t start = boot::after_header(*code);
    if (start < 0) {
        // Code for Xol/System is reported in the words of the error that evaluating its system code raises.
        if (text->find("Xol/System") != std::string::npos)
            fail("*** Error: " + std::string(error_catalog::string_template_text(err::internal::xol_system)) + "!");
        fail("*** Error: not a Xol program!");
    }
    expand_directives(*code);
    start = boot::after_header(*code);
    // TODO(system object): system/options/script, system/options/args and system/script/args.
    boot::evaluate_from(*code, static_cast<std::uint32_t>(start));
}

}

void launch()
{
    line_editor::install();
    CommandLine const line = read_command_line(runtime::record.arguments);
    if (!line.script) {
        run_prompt_loop();
        return;
    }
    run_script(*line.script);
    if (line.catch_mode) run_prompt_loop();
}

}
