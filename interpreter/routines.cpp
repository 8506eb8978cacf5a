// The routines table and the call of a routine!.

#include "interpreter/routines.h"

#include <iterator>

#include "datatypes/binary.h"
#include "datatypes/context.h"
#include "datatypes/file.h"
#include "datatypes/function.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/object.h"
#include "datatypes/string.h"
#include "datatypes/tuple.h"
#include "datatypes/typed_actions.h"
#include "datatypes/unset.h"
#include "datatypes/word.h"
#include "interpreter/natives/natives.h"
#include "runtime/errors.h"
#include "runtime/host/files.h"
#include "runtime/output.h"
#include "runtime/platform/os_info.h"
#include "runtime/quit.h"
#include "runtime/roots.h"
#include "runtime/stack.h"

namespace xol::routines {

RoutinesState state;

namespace {

// Ends the process with the status, once every C++ frame is left.
void quit_return()
{
    throw runtime::QuitRequest { integer::get(*natives::argument(0)) };
}

// A count of 32 or more shifts every bit out: the result is then 0, or -1 for a negative value shifted
// right arithmetically; a negative count is out of range.
std::uint32_t shift_count()
{
    Cell const bits = *natives::argument(1);
    if (integer::get(bits) < 0) fire_error(err::script::out_of_range, &bits);
    return static_cast<std::uint32_t>(integer::get(bits));
}

void shift_left()
{
    std::uint32_t const bits = shift_count();
    auto const data = static_cast<std::uint32_t>(integer::get(*natives::argument(0)));
    stack::set_last(integer::make(static_cast<std::int32_t>(bits >= 32 ? 0 : data << bits)));
}

void shift_right()
{
    std::uint32_t const bits = shift_count();
    std::int32_t const data = integer::get(*natives::argument(0));
    stack::set_last(integer::make(bits >= 32 ? (data < 0 ? -1 : 0) : data >> bits));
}

void shift_logical()
{
    std::uint32_t const bits = shift_count();
    auto const data = static_cast<std::uint32_t>(integer::get(*natives::argument(0)));
    stack::set_last(integer::make(static_cast<std::int32_t>(bits >= 32 ? 0 : data >> bits)));
}

// The current folder as a file! ending in "/".
void get_current_dir()
{
    std::optional<std::string> const folder = host::files::current_folder();
    if (!folder) {
        Cell const here = file::from_local(".");
        fire_error(err::access::cannot_open, &here);
    }
    stack::set_last(file::from_local(*folder));
}

void set_current_dir()
{
    Cell const path = *natives::argument(0);
    if (!host::files::set_current_folder(file::local_path(path))) fire_error(err::access::cannot_open, &path);
    stack::set_last(unset_value);
}

void create_dir()
{
    Cell const path = *natives::argument(0);
    if (!host::files::make_folder(file::local_path(path))) fire_error(err::access::no_create, &path);
    stack::set_last(unset_value);
}

void exists_q()
{
    stack::set_last(logic::make(host::files::exists_q(file::local_path(*natives::argument(0)))));
}

// The machine's description: name, arch, version and build, in that order.
void os_info()
{
    platform::OsDescription const description = platform::os_description();
    Rooted object(cell::make(type_ids::none));
    object::make_empty(*object, 8);
    auto const add = [&object](std::string_view name, Cell const& value) {
        Rooted kept(value);
        Rooted field(word::make_global(name));
        context::add_if_missing(object::context_of(*object), *field, *kept);
    };
    add("name", string::from_utf8(description.name));
    add("arch", word::make_global(description.architecture));
    add("version", tuple::make(description.version.data(), 3));
    add("build", integer::make(description.build));
    stack::set_only_result(*object);
}

// A binary! goes out byte for byte, a string! as UTF-8, any other value formed; no line end follows.
void write_stdout()
{
    Cell const data = *natives::argument(0);
    std::string bytes;
    if (cell::type_of(data) == type_ids::binary) {
        std::span<std::uint8_t const> const content = binary::bytes(data);
        bytes.assign(reinterpret_cast<char const*>(content.data()), content.size());
    } else if (cell::type_of(data) == type_ids::string) {
        bytes = string::to_utf8(data);
    } else {
        Rooted kept(data);
        Rooted text(string::make(16));
        actions::form_typed(*kept, *text, nullptr, 0);
        bytes = string::to_utf8(*text);
    }
    print::cstr(bytes);
    stack::set_only_result(unset_value);
}

// TODO: the other system routines, the type predicates, the collector figures and the codecs' routines
// take their rows here as they are built.
constexpr Row rows[] = {
    { "quit-return", quit_return, -1 },
    { "shift-right", shift_right, -1 },
    { "shift-left", shift_left, -1 },
    { "shift-logical", shift_logical, -1 },
    { "get-current-dir", get_current_dir, -1 },
    { "set-current-dir", set_current_dir, -1 },
    { "create-dir", create_dir, -1 },
    { "exists?", exists_q, type_ids::logic },
    { "os-info", os_info, -1 },
    { "write-stdout", write_stdout, -1 },
};

static_assert(std::size(rows) <= table_size, "the routines table has a slot for every routine");

}

std::int32_t find(std::string_view name)
{
    for (std::size_t i = 0; i < std::size(rows); ++i)
        if (rows[i].name == name) return static_cast<std::int32_t>(i);
    return -1;
}

std::int32_t result_type(std::int32_t index)
{
    return rows[index].result_type;
}

void register_routines()
{
    state = RoutinesState {};
    for (std::size_t i = 0; i < std::size(rows); ++i) state.entries[i] = rows[i].entry;
}

void call(Cell const& routine)
{
    Cell const entry_cell = function::record_cell(routine, function::compiled_entry_cell);
    if (cell::type_of(entry_cell) != type_ids::integer) fire_error(err::internal::not_done);
    std::int32_t const index = integer::get(entry_cell);
    if (index < 0 || index >= table_size || !state.entries[index]) fire_error(err::internal::not_done);
    state.entries[index]();
}

}
