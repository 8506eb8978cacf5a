// The routines table and the call of a routine!.

#include "interpreter/routines.h"

#include <algorithm>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "datatypes/binary.h"
#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/file.h"
#include "datatypes/function.h"
#include "datatypes/image.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/none.h"
#include "datatypes/object.h"
#include "datatypes/registry.h"
#include "datatypes/string.h"
#include "datatypes/tuple.h"
#include "datatypes/typed_actions.h"
#include "datatypes/unset.h"
#include "datatypes/url.h"
#include "datatypes/word.h"
#include "interpreter/natives/math.h"
#include "interpreter/natives/natives.h"
#include "interpreter/routines_entries.h"
#include "runtime/assert.h"
#include "runtime/errors.h"
#include "runtime/host/files.h"
#include "runtime/output.h"
#include "runtime/platform/clipboard.h"
#include "runtime/platform/os_info.h"
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

// The shift native's core: a negative count shifts by nothing, 32 or more shifts every bit out.
void shift(natives::ShiftDirection direction)
{
    Cell const data = *natives::argument(0);
    Cell const bits = *natives::argument(1);
    stack::set_last(integer::make(natives::shift_bits(integer::get(data), integer::get(bits), direction)));
}

void shift_right()
{
    shift(natives::ShiftDirection::Right);
}

void shift_left()
{
    shift(natives::ShiftDirection::Left);
}

void shift_logical()
{
    shift(natives::ShiftDirection::RightLogical);
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

// The XOLBIN codec's decode: the one value the data holds, or a block of them all. A file! or url! is read
// as binary first. The bytes are copied out of the binary: decoding allocates, and a collection may move
// the binary's buffer.
void xolbin_decode()
{
    Rooted payload(*natives::argument(0));
    TypeId const type = cell::type_of(*payload);
    if (type == type_ids::file || type == type_ids::url) {
        ReadOptions options {};
        options.binary = true;
        *payload = datatype::actions(type).read(*payload, options);
    }
    if (cell::type_of(*payload) != type_ids::binary) fire_error(err::script::invalid_data, &*payload);
    std::span<std::uint8_t const> const content = binary::bytes(*payload);
    if (content.size() <= 10) fire_error(err::script::invalid_data, &*payload);
    std::vector<std::uint8_t> const bytes(content.begin(), content.end());
    Rooted values(unset_value);
    block::make_at(*values, 1);
    xolbin::load(bytes, *values, xolbin::Mode::Codec, &*payload);
    stack::set_last(block::rs_length_q(*values) == 1 ? block::rs_head(*values)[0] : *values);
}

// The image codecs' encode, one per format (0 BMP, 1 PNG, 2 GIF, 3 JPEG, 4 TIFF): the image's pixels as a
// new binary! of the file's bytes. The where argument asks nothing of the encoders.
template <std::int32_t format> void image_encode()
{
    stack::set_last(image::encode(*natives::argument(0), format));
}

// The image codecs' one decode: the encoders' formats are told apart by their signatures. A binary! of no
// known format gives none!; a file! is read and decoded.
void image_decode()
{
    stack::set_last(image::decode(*natives::argument(0)));
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

// ---- The clipboard ---------------------------------------------------------------------------------

// Media types in the order of preference: text, then a file list, then images.
constexpr std::string_view text_types[] = { "text/plain;charset=utf-8", "UTF8_STRING", "text/plain" };
constexpr std::string_view file_list_type = "text/uri-list";
constexpr std::string_view image_types[] = { "image/png", "image/jpeg", "image/gif", "image/bmp" };

// The first of `wanted` that the clipboard offers; empty when none is.
template <std::size_t count>
std::string first_offered(std::vector<std::string> const& offered, std::string_view const (&wanted)[count])
{
    for (std::string_view type : wanted)
        for (std::string const& have : offered)
            if (have == type) return have;
    return {};
}

// The local paths of a text/uri-list: file: URIs percent-decoded (an authority, when given, dropped up to
// the path); comments and other schemes skipped.
std::vector<std::string> paths_of_uri_list(std::string_view list)
{
    std::vector<std::string> paths;
    while (!list.empty()) {
        std::size_t const end = list.find('\n');
        std::string_view line = list.substr(0, end);
        list.remove_prefix(end == std::string_view::npos ? list.size() : end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!line.starts_with("file:")) continue;
        line.remove_prefix(5);
        if (line.starts_with("//")) {
            line.remove_prefix(2);
            std::size_t const slash = line.find('/');
            if (slash == std::string_view::npos) continue;
            line.remove_prefix(slash);
        }
        if (!line.starts_with('/')) continue;
        std::string path;
        for (std::size_t i = 0; i < line.size(); ++i) {
            if (std::optional<std::uint8_t> const byte = url::decode_escape(line.substr(i))) {
                path += static_cast<char>(*byte);
                i += 2;
            } else {
                path += line[i];
            }
        }
        paths.push_back(std::move(path));
    }
    return paths;
}

// A file: URI of an absolute local path: bytes other than unreserved characters and "/" escaped.
std::string file_uri(std::string_view path)
{
    std::string uri = "file://";
    for (char byte : path)
        uri += byte == '/' ? std::string_view("/")
                           : url::encode_char(static_cast<std::uint8_t>(byte), url::KeptSet::Component);
    return uri;
}

// false when the clipboard cannot be read, none when it offers nothing usable, else a string!, a block of
// absolute file!s or an image!. Bytes that no image decoder takes raise the decoder's error.
void read_clipboard()
{
    std::optional<std::vector<std::string>> const offered = platform::clipboard::offered_types();
    if (!offered) return stack::set_only_result(logic::make(false));
    if (std::string const type = first_offered(*offered, text_types); !type.empty()) {
        std::optional<std::string> const text = platform::clipboard::read(type);
        return stack::set_only_result(text ? string::from_utf8(*text) : logic::make(false));
    }
    if (std::find(offered->begin(), offered->end(), file_list_type) != offered->end()) {
        std::optional<std::string> const list = platform::clipboard::read(std::string(file_list_type));
        if (!list) return stack::set_only_result(logic::make(false));
        std::vector<std::string> const paths = paths_of_uri_list(*list);
        Rooted files(none_value);
        block::make_at(*files, static_cast<std::int32_t>(paths.size()));
        for (std::string const& path : paths) {
            Rooted file(file::from_local(path));
            block::rs_append(*files, *file);
        }
        return stack::set_only_result(*files);
    }
    if (std::string const type = first_offered(*offered, image_types); !type.empty()) {
        std::optional<std::string> const bytes = platform::clipboard::read(type);
        if (!bytes) return stack::set_only_result(logic::make(false));
        Rooted data(binary::load({ reinterpret_cast<std::uint8_t const*>(bytes->data()), bytes->size() }));
        return stack::set_only_result(image::from_binary(*data));
    }
    stack::set_only_result(none_value);
}

// An absolute local path for a file! or string! of a written file list.
std::string absolute_path(Cell const& value)
{
    std::string path = cell::type_of(value) == type_ids::file ? file::local_path(value) : string::to_utf8(value);
    if (!path.starts_with('/')) path = host::files::current_folder().value_or("/") + path;
    return path;
}

// Every value is checked, and its data prepared, before any tool runs: a value that cannot be written
// raises invalid-arg with it. The answer is whether the tool took the data.
void write_clipboard()
{
    Rooted data(*natives::argument(0));
    std::string type;
    std::string bytes;
    TypeId const kind = cell::type_of(*data);
    if (kind == type_ids::string) {
        type = "text/plain;charset=utf-8";
        bytes = string::to_utf8(*data);
    } else if (kind == type_ids::block) {
        type = std::string(file_list_type);
        std::uint32_t const count = block::rs_length_q(*data);
        for (std::uint32_t i = 0; i < count; ++i) {
            Cell const item = block::rs_head(*data)[i];
            if (cell::type_of(item) != type_ids::file && cell::type_of(item) != type_ids::string)
                fire_error(err::script::invalid_arg, &item);
        }
        for (std::uint32_t i = 0; i < count; ++i) bytes += file_uri(absolute_path(block::rs_head(*data)[i])) + "\r\n";
    } else if (kind == type_ids::image) {
        if (image::pixel_count(*data) > 0) {
            type = "image/png";
            Rooted encoded(image::encode(*data, 1));
            std::span<std::uint8_t const> const content = binary::bytes(*encoded);
            bytes.assign(reinterpret_cast<char const*>(content.data()), content.size());
        }
    } else if (kind != type_ids::none) {
        fire_error(err::script::invalid_arg, &*data);
    }
    bool const written = platform::clipboard::write(type, bytes);
    stack::set_only_result(logic::make(written));
}

// TODO: the image codecs' routines take their rows here as they are built.
constexpr Row rows[] = {
    { "quit-return", quit_return, -1 },
    { "shift-right", shift_right, -1 },
    { "shift-left", shift_left, -1 },
    { "shift-logical", shift_logical, -1 },
    { "get-current-dir", get_current_dir, -1 },
    { "set-current-dir", set_current_dir, -1 },
    { "create-dir", create_dir, -1 },
    { "exists?", exists_q, type_ids::logic },
    { "set-quiet", set_quiet, -1 },
    { "set-slot-quiet", set_slot_quiet, -1 },
    { "last-lf?", last_lf_q, type_ids::logic },
    { "as-color", as_color, type_ids::tuple },
    { "as-ipv4", as_ipv4, type_ids::tuple },
    { "as-rgba", as_ipv4, type_ids::tuple },
    { "count-chars", count_chars, type_ids::integer },
    { "stack-size?", stack_size_q, type_ids::integer },
    { "pick-stack", pick_stack, -1 },
    { "frame-index?", frame_index_q, type_ids::integer },
    { "collect-calls", collect_calls, -1 },
    { "tracing?", tracing_q, type_ids::logic },
    { "_trace-delivery", trace_delivery, -1 },
    { "_interpreted?", interpreted_q, type_ids::logic },
    { "_set-float-pretty", set_float_pretty, type_ids::logic },
    { "datatype?", is_type<type_ids::datatype>, type_ids::logic },
    { "unset?", is_type<type_ids::unset>, type_ids::logic },
    { "none?", is_type<type_ids::none>, type_ids::logic },
    { "logic?", is_type<type_ids::logic>, type_ids::logic },
    { "block?", is_type<type_ids::block>, type_ids::logic },
    { "paren?", is_type<type_ids::paren>, type_ids::logic },
    { "string?", is_type<type_ids::string>, type_ids::logic },
    { "file?", is_type<type_ids::file>, type_ids::logic },
    { "url?", is_type<type_ids::url>, type_ids::logic },
    { "char?", is_type<type_ids::char_>, type_ids::logic },
    { "integer?", is_type<type_ids::integer>, type_ids::logic },
    { "float?", is_type<type_ids::float_>, type_ids::logic },
    { "word?", is_type<type_ids::word>, type_ids::logic },
    { "set-word?", is_type<type_ids::set_word>, type_ids::logic },
    { "lit-word?", is_type<type_ids::lit_word>, type_ids::logic },
    { "get-word?", is_type<type_ids::get_word>, type_ids::logic },
    { "refinement?", is_type<type_ids::refinement>, type_ids::logic },
    { "issue?", is_type<type_ids::issue>, type_ids::logic },
    { "native?", is_type<type_ids::native>, type_ids::logic },
    { "action?", is_type<type_ids::action>, type_ids::logic },
    { "op?", is_type<type_ids::op>, type_ids::logic },
    { "function?", is_type<type_ids::function>, type_ids::logic },
    { "path?", is_type<type_ids::path>, type_ids::logic },
    { "lit-path?", is_type<type_ids::lit_path>, type_ids::logic },
    { "set-path?", is_type<type_ids::set_path>, type_ids::logic },
    { "get-path?", is_type<type_ids::get_path>, type_ids::logic },
    { "routine?", is_type<type_ids::routine>, type_ids::logic },
    { "bitset?", is_type<type_ids::bitset>, type_ids::logic },
    { "object?", is_type<type_ids::object>, type_ids::logic },
    { "typeset?", is_type<type_ids::typeset>, type_ids::logic },
    { "error?", is_type<type_ids::error>, type_ids::logic },
    { "vector?", is_type<type_ids::vector>, type_ids::logic },
    { "hash?", is_type<type_ids::hash>, type_ids::logic },
    { "pair?", is_type<type_ids::pair>, type_ids::logic },
    { "percent?", is_type<type_ids::percent>, type_ids::logic },
    { "tuple?", is_type<type_ids::tuple>, type_ids::logic },
    { "map?", is_type<type_ids::map>, type_ids::logic },
    { "binary?", is_type<type_ids::binary>, type_ids::logic },
    { "time?", is_type<type_ids::time>, type_ids::logic },
    { "tag?", is_type<type_ids::tag>, type_ids::logic },
    { "email?", is_type<type_ids::email>, type_ids::logic },
    { "handle?", is_type<type_ids::handle>, type_ids::logic },
    { "date?", is_type<type_ids::date>, type_ids::logic },
    { "money?", is_type<type_ids::money>, type_ids::logic },
    { "ref?", is_type<type_ids::ref>, type_ids::logic },
    { "point2D?", is_type<type_ids::point2d>, type_ids::logic },
    { "point3D?", is_type<type_ids::point3d>, type_ids::logic },
    { "image?", is_type<type_ids::image>, type_ids::logic },
    { "any-list?", typeset_predicate<"any-list!">, type_ids::logic },
    { "any-block?", typeset_predicate<"any-block!">, type_ids::logic },
    { "any-function?", typeset_predicate<"any-function!">, type_ids::logic },
    { "any-object?", typeset_predicate<"any-object!">, type_ids::logic },
    { "any-path?", typeset_predicate<"any-path!">, type_ids::logic },
    { "any-string?", typeset_predicate<"any-string!">, type_ids::logic },
    { "any-word?", typeset_predicate<"any-word!">, type_ids::logic },
    { "series?", typeset_predicate<"series!">, type_ids::logic },
    { "number?", typeset_predicate<"number!">, type_ids::logic },
    { "immediate?", typeset_predicate<"immediate!">, type_ids::logic },
    { "scalar?", typeset_predicate<"scalar!">, type_ids::logic },
    { "all-word?", typeset_predicate<"all-word!">, type_ids::logic },
    { "any-point?", typeset_predicate<"any-point!">, type_ids::logic },
    { "planar?", typeset_predicate<"planar!">, type_ids::logic },
    { "_gc-active?", gc_active_q, type_ids::logic },
    { "_gc-series-cycles", gc_series_cycles, type_ids::integer },
    { "_gc-nodes-cycles", gc_nodes_cycles, type_ids::integer },
    { "xolbin-encode*", xolbin_encode_star, -1 },
    { "xolbin-decode", xolbin_decode, -1 },
    { "png-encode", image_encode<1>, -1 },
    { "jpeg-encode", image_encode<3>, -1 },
    { "bmp-encode", image_encode<0>, -1 },
    { "gif-encode", image_encode<2>, -1 },
    { "tiff-encode", image_encode<4>, -1 },
    { "image-decode", image_decode, -1 },
    { "os-info", os_info, -1 },
    { "write-stdout", write_stdout, -1 },
    { "read-clipboard", read_clipboard, -1 },
    { "write-clipboard", write_clipboard, type_ids::logic },
    { "json-unescape", json_unescape, -1 },
    { "json-decode", json_decode, type_ids::block },
    { "json-encode", json_encode, -1 },
    { "csv-rows", csv_rows, -1 },
    { "_split-text", split_text, type_ids::block },
    { "_replace-text", replace_text, -1 },
    { "_join-text", join_text, -1 },
    // The console's line editor and standard input: their entries come from console/line_editor.cpp.
    { "_set-buffer-history", nullptr, -1 },
    { "_read-input", nullptr, -1 },
    { "_terminate-console", nullptr, -1 },
    { "_input-ended?", nullptr, type_ids::logic },
    { "_console-init", nullptr, -1 },
    { "input-stdin", nullptr, type_ids::string },
    { "read-stdin", nullptr, -1 },
    { "_console-do", console_do, -1 },
    { "_console-warn", console_warn, -1 },
    { "_stdin-terminal?", stdin_terminal_q, type_ids::logic },
    { "_download-page", download_page, type_ids::string },
};

static_assert(std::size(rows) <= table_size, "the routines table has a slot for every routine");

}

std::int32_t find(std::string_view name)
{
    for (std::size_t i = 0; i < std::size(rows); ++i)
        if (rows[i].name == name) return static_cast<std::int32_t>(i);
    return -1;
}

std::int32_t find(std::string_view name, std::int32_t likely)
{
    if (likely >= 0 && static_cast<std::size_t>(likely) < std::size(rows) && rows[likely].name == name) return likely;
    return find(name);
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

void install(std::string_view name, Entry entry)
{
    std::int32_t const index = find(name);
    XOL_ASSERT(index >= 0, "an installed routine has a row");
    state.entries[index] = entry;
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
