// The system object's parts made by start-up, and the settings the lower layers read from it.

#include "app/system_object.h"

#include "app/build_info.h"

#include <optional>
#include <source_location>
#include <string>
#include <string_view>

#include "datatypes/block.h"
#include "datatypes/calendar.h"
#include "datatypes/context.h"
#include "datatypes/datatype.h"
#include "datatypes/date.h"
#include "datatypes/error.h"
#include "datatypes/file.h"
#include "datatypes/integer.h"
#include "datatypes/none.h"
#include "datatypes/object.h"
#include "datatypes/runtime_words.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/unset.h"
#include "datatypes/word.h"
#include "runtime/assert.h"
#include "runtime/host/files.h"
#include "runtime/platform/environment.h"
#include "runtime/roots.h"
#include "runtime/runtime_record.h"
#include "runtime/text_encoding.h"

namespace xol::system_object {

namespace {

// The value cell of the object's field of that name, or nullptr when the object lacks it. Valid until the
// next call that may allocate.
Cell* field(Cell const& object, SymbolId name)
{
    if (cell::type_of(object) != type_ids::object) return nullptr;
    NodeId const context = object::context_of(object);
    std::int32_t const slot = context::find_word(context, name, true);
    return slot < 0 ? nullptr : context::values_at(context, static_cast<std::uint32_t>(slot));
}

Cell system_value()
{
    Cell const* system
        = field(Cell { type_ids::object, context::global(), 0, no_node }, words::symbol_of(words::Symbol::system));
    return system ? *system : none_value;
}

// The value at a path of field names below system; none! when a step is missing.
Cell system_at(std::initializer_list<std::string_view> names)
{
    Rooted current(system_value());
    for (std::string_view name : names) {
        SymbolId const symbol = symbol::make(name);
        Cell const* next = field(*current, symbol);
        *current = next ? *next : none_value;
    }
    return *current;
}

void set_field(Cell const& object, std::string_view name, Cell const& value)
{
    Rooted kept(value);
    Rooted owner(object);
    SymbolId const symbol = symbol::make(name);
    if (Cell* slot = field(*owner, symbol)) *slot = *kept;
}

Cell issue_of(std::string_view text)
{
    return Cell { type_ids::issue, context::global(), symbol::make(text), word::unresolved };
}

// A UTC date and time from seconds since 1970.
Cell date_from_epoch(long long seconds)
{
    long long const days = (seconds >= 0 ? seconds : seconds - 86399) / 86400;
    long long const rest = seconds - days * 86400;
    date::CivilDate const civil = date::civil_from_days(date::to_days(1970, 1, 1) + days);
    Cell made = unset_value;
    date::make_from_parts(made, static_cast<std::int32_t>(civil.year), civil.month, civil.day,
        static_cast<std::int32_t>(rest / 3600), static_cast<std::int32_t>(rest / 60 % 60),
        static_cast<std::int32_t>(rest % 60), 0);
    return made;
}

// system/build/git: the checkout the program was built from, made as `make object!` of a block of its
// members; none! for a build without a checkout.
Cell git_object()
{
    if (!build_info::has_git) return none_value;
    Rooted spec(unset_value);
    block::make_at(*spec, 12);
    auto const member = [&](std::string_view name, Cell const& value) {
        Rooted kept(value);
        Cell word = word::make_global(name);
        word.header = type_ids::set_word;
        block::rs_append(*spec, word);
        block::rs_append(*spec, *kept);
    };
    member("branch", string::from_utf8(build_info::git_branch));
    member("tag", *build_info::git_tag ? issue_of(build_info::git_tag) : none_value);
    member("ahead", integer::make(build_info::git_ahead));
    member("date", date_from_epoch(build_info::git_commit_time));
    member("commit", issue_of(build_info::git_commit));
    member("message", string::from_utf8(build_info::git_message));
    return object::make(datatype::make(type_ids::object), *spec, type_ids::object);
}

// The folder for caches and settings: $XDG_CACHE_HOME/xol/ when that is an absolute path, else
// $HOME/.cache/xol/, else a folder of this user's own under /tmp.
std::string cache_folder()
{
    std::optional<std::string> const xdg = platform::get_env("XDG_CACHE_HOME");
    if (xdg && xdg->starts_with('/')) return *xdg + (xdg->ends_with('/') ? "" : "/") + "xol/";
    std::optional<std::string> const home = platform::get_env("HOME");
    if (home && !home->empty()) return *home + (home->ends_with('/') ? "" : "/") + ".cache/xol/";
    return "/tmp/xol-" + std::to_string(platform::user_id()) + "/";
}

}

std::string command_line(std::vector<std::string> const& arguments)
{
    std::string line;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        std::string const& argument = arguments[i];
        if (i > 1) line += ' ';
        bool const quoted = argument.empty() || argument.find_first_of(" \t") != std::string::npos;
        if (quoted) line += '"';
        line += argument;
        if (quoted) line += '"';
    }
    return line;
}

void complete()
{
    Rooted system(system_value());
    if (cell::type_of(*system) != type_ids::object) return;
    // The global context as an object of no class: its fields are the global words.
    set_field(*system, "words", Cell { type_ids::object, context::global(), 0xFFFFFFFF, no_node });
    Rooted build(system_at({ "build" }));
    Cell built = unset_value;
    int const* const when = build_info::build_date;
    date::make_from_parts(built, when[0], when[1], when[2], when[3], when[4], when[5], 0);
    set_field(*build, "date", built);
    Rooted git(git_object());
    set_field(*build, "git", *git);
    Rooted config(system_at({ "build", "config" }));
    Rooted prefix(file::from_local(build_info::build_prefix));
    set_field(*config, "build-prefix", *prefix);
    Rooted basename(file::from_local(build_info::build_basename));
    set_field(*config, "build-basename", *basename);
    // The arguments after the program's path, each a string as the OS gave it.
    Rooted args(unset_value);
    block::make_at(*args, static_cast<std::int32_t>(runtime::record.arguments.size()));
    for (std::size_t i = 1; i < runtime::record.arguments.size(); ++i) {
        Rooted argument(string::from_utf8(runtime::record.arguments[i]));
        block::rs_append(*args, *argument);
    }
    Rooted options(system_at({ "options" }));
    set_field(*options, "args", *args);
    // The folder the program started in, and the program's path as the OS gave it. A current folder that
    // no longer exists leaves path none rather than stopping start-up.
    std::optional<std::string> const folder = host::files::current_folder();
    Rooted path(folder ? file::from_local(*folder) : none_value);
    set_field(*options, "path", *path);
    Rooted cache(file::from_local(cache_folder()));
    set_field(*options, "cache", *cache);
    if (!runtime::record.arguments.empty()) {
        Rooted boot(file::from_local(runtime::record.arguments[0]));
        set_field(*options, "boot", *boot);
    }
    // The catalogue the library's source made replaces the one built from the program's tables: both come
    // from library/errors.xol, so a difference is a fault of the build.
    if (!error::adopt_catalogue(system_at({ "catalog", "errors" })))
        assertion_failed(
            "start-up: system/catalog/errors differs from the program's error tables", std::source_location::current());
    std::string const line = command_line(runtime::record.arguments);
    Rooted script(system_at({ "script" }));
    std::uint32_t rest = 0;
    // Arguments are the OS's bytes: what is not UTF-8 loads as Latin-1 rather than stopping start-up.
    NodeId const node = string::decode_utf8(reinterpret_cast<std::byte const*>(line.data()),
        static_cast<std::uint32_t>(line.size()), no_node, rest, string::LineEnds::Keep, string::BadBytes::AsLatin1);
    Rooted script_args(cell::make(type_ids::string, 0, node, 0));
    set_field(*script, "args", *script_args);
}

Cell stack_trace_setting()
{
    if (cell::type_of(system_value()) != type_ids::object) return integer::make(1);
    return system_at({ "state", "stack-trace" });
}

}
