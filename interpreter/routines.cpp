// The routines table and the call of a routine!.

#include "interpreter/routines.h"

#include <iterator>
#include <vector>

#include "datatypes/binary.h"
#include "datatypes/block.h"
#include "datatypes/file.h"
#include "datatypes/function.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/unset.h"
#include "interpreter/natives/natives.h"
#include "runtime/errors.h"
#include "runtime/host/files.h"
#include "runtime/quit.h"
#include "runtime/roots.h"
#include "runtime/stack.h"
#include "xolbin/xolbin.h"

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

// The XOLBIN codec's encode*: the compact form when asked, else the fixed-width form, as a new binary!.
void xolbin_encode_star()
{
    bool const compact = logic::get(*natives::argument(1));
    std::vector<std::uint8_t> const bytes
        = xolbin::save(*natives::argument(0), compact ? xolbin::Form::Compact : xolbin::Form::Fixed);
    stack::set_last(binary::load(bytes));
}

// The XOLBIN codec's decode: the one value the data holds, or a block of them all. The bytes are copied out
// of the binary first: decoding allocates, and a collection may move the binary's buffer.
void xolbin_decode()
{
    Rooted payload(*natives::argument(0));
    // TODO(files): a file! or url! payload is read as binary first.
    if (cell::type_of(*payload) != type_ids::binary) fire_error(err::script::invalid_data, &*payload);
    std::span<std::uint8_t const> const content = binary::bytes(*payload);
    if (content.size() <= 10) fire_error(err::script::invalid_data, &*payload);
    std::vector<std::uint8_t> const bytes(content.begin(), content.end());
    Rooted values(unset_value);
    block::make_at(*values, 1);
    xolbin::load(bytes, *values, xolbin::Mode::Codec, &*payload);
    stack::set_last(block::rs_length_q(*values) == 1 ? block::rs_head(*values)[0] : *values);
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
    { "xolbin-encode*", xolbin_encode_star, -1 },
    { "xolbin-decode", xolbin_decode, -1 },
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
