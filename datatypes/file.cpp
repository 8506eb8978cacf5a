// file!: the molded form, the local form of a path, and the file actions over the host's file services.

#include "datatypes/file.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>

#include "datatypes/binary.h"
#include "datatypes/block.h"
#include "datatypes/calendar.h"
#include "datatypes/date.h"
#include "datatypes/logic.h"
#include "datatypes/none.h"
#include "datatypes/registry.h"
#include "datatypes/string.h"
#include "datatypes/unset.h"
#include "datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/host/files.h"
#include "runtime/roots.h"
#include "runtime/series.h"

namespace xol::file {

namespace {

// The characters a file name shows as they are; any other code point below 127 calls for quotes. The
// parentheses, ":" and "@" are not among them: the reader ends a bare file name at each, so such a name
// would not load back.
constexpr bool plain_char(std::uint32_t code_point)
{
    if ((code_point >= 'a' && code_point <= 'z') || (code_point >= 'A' && code_point <= 'Z')
        || (code_point >= '0' && code_point <= '9'))
        return true;
    return std::string_view("!#$&'*+,-./=?_~").find(static_cast<char>(code_point)) != std::string_view::npos;
}

// A text of OS bytes as a value of `type`: bad UTF-8 never raises, each bad byte becomes its own code.
Cell load_local(std::string_view bytes, TypeId type)
{
    std::uint32_t rest = 0;
    NodeId const node = string::decode_utf8(reinterpret_cast<std::byte const*>(bytes.data()),
        series::checked_length(bytes.size()), no_node, rest, string::LineEnds::Keep, string::BadBytes::AsLatin1);
    return cell::make(type, 0, node, 0);
}

[[noreturn]] void fire_cannot_open(Cell const& path)
{
    fire_error(err::access::cannot_open, &path);
}

// A /part or /seek count: an integer as it is, a float truncated.
std::int64_t count_of(Cell const& value)
{
    if (cell::type_of(value) == type_ids::integer) return cell::integer_payload(value);
    double const number = cell::float_payload(value);
    if (std::isnan(number)) return 0;
    return static_cast<std::int64_t>(std::clamp(number, -9.0e18, 9.0e18));
}

// ---- Reading ------------------------------------------------------------------------------------------

// The names in a folder as file! values, each folder's with "/" after it.
Cell read_folder(Cell const& path, std::string const& name)
{
    std::optional<std::vector<std::string>> const names = host::files::list_folder(name);
    if (!names) fire_cannot_open(path);
    Rooted result(cell::make(type_ids::unset));
    block::make_at(*result, static_cast<std::int32_t>(std::min<std::size_t>(names->size(), 1u << 24)));
    for (std::string const& each : *names) {
        Rooted entry(load_local(each, type_id)); // appending may collect
        *series::append_cell(*result) = *entry;
    }
    return *result;
}

// A new string! of UTF-8 text; line ends kept or turned into LF. Bad or cut UTF-8 raises invalid-utf8.
Cell decode_text(std::string_view bytes, string::LineEnds line_ends)
{
    std::uint32_t rest = 0;
    NodeId const node = string::decode_utf8(reinterpret_cast<std::byte const*>(bytes.data()),
        series::checked_length(bytes.size()), no_node, rest, line_ends);
    return cell::make(type_ids::string, 0, node, 0);
}

// One string! per line: an LF ends a line (with the CR before it, if any); the text after the last LF is
// the last line as it stands, and a final LF adds no empty line.
Cell split_lines(std::string_view bytes)
{
    Rooted result(cell::make(type_ids::unset));
    block::make_at(*result, 16);
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t const line_feed = bytes.find('\n', start);
        std::size_t end = line_feed == std::string_view::npos ? bytes.size() : line_feed;
        std::size_t const next = line_feed == std::string_view::npos ? bytes.size() : line_feed + 1;
        if (line_feed != std::string_view::npos && end > start && bytes[end - 1] == '\r') --end;
        Rooted line(decode_text(bytes.substr(start, end - start), string::LineEnds::Keep)); // appending may collect
        *series::append_cell(*result) = *line;
        start = next;
    }
    return *result;
}

// A file's bytes, from `seek` on and at most `part` of them, as a new binary!: read straight into its buffer.
Cell read_bytes(Cell const& path, std::string const& name, std::int64_t seek, std::int64_t part)
{
    Rooted result(binary::make(0));
    std::size_t room_given = 0;
    std::optional<std::size_t> const filled = host::files::read_into(name, seek, part, [&](std::size_t size) {
        if (size > room_given) {
            binary::append_space(*result, series::checked_length(size - room_given));
            room_given = size;
        }
        return reinterpret_cast<char*>(binary::rs_head(*result));
    });
    if (!filled) fire_cannot_open(path);
    binary::set_length(*result, static_cast<std::uint32_t>(*filled));
    return *result;
}

Cell read(Cell const& source, ReadOptions const& options)
{
    // Refused before the file is touched.
    if (options.as) fire_error(err::internal::not_done);
    Rooted path(source);
    std::string const name = local_path(*path);
    if (host::files::folder_path_q(name)) return read_folder(*path, name);
    std::int64_t const part = options.part ? count_of(*options.part) : -1;
    std::int64_t const seek = options.seek ? count_of(*options.seek) : -1;
    Rooted bytes(read_bytes(*path, name, seek, part));
    if (options.binary) return *bytes;
    std::span<std::uint8_t> const data = binary::bytes(*bytes);
    if (!options.lines && string::ascii_prefix(data.data(), data.size(), true) == data.size()) {
        // ASCII without a CR reads as it lies: the buffer becomes the string's.
        return cell::make(type_ids::string, 0, bytes->word2, 0);
    }
    // Decoding allocates, and may move the bytes read: it works on a copy.
    std::string const copied(reinterpret_cast<char const*>(data.data()), data.size());
    // Nothing read is an empty string! even when lines are asked for.
    if (options.lines && !copied.empty()) return split_lines(copied);
    return decode_text(copied, string::LineEnds::Convert);
}

// ---- Writing ------------------------------------------------------------------------------------------

// The UTF-8 bytes of a text from its index, at most `part` code points (-1: all).
void append_text_bytes(std::string& bytes, Cell const& text, std::int64_t part)
{
    std::uint32_t const length = string::rs_length_q(text);
    if (part >= 0 && part < length) {
        // The text cut after `part` code points: after as many UTF-8 sequences.
        std::string const whole = string::to_utf8(text);
        std::size_t offset = 0;
        for (std::int64_t count = 0; count < part && offset < whole.size(); ++count) {
            ++offset;
            while (offset < whole.size() && (static_cast<unsigned char>(whole[offset]) & 0xC0) == 0x80) ++offset;
        }
        bytes.append(whole, 0, offset);
        return;
    }
    bytes += string::to_utf8(text);
}

// The bytes a value writes: a string!'s text, a binary!'s bytes, any other value's molded text; `part`
// limits the code points or bytes (-1: all, 0: none).
void append_bytes_of(std::string& bytes, Cell const& value, std::int64_t part)
{
    TypeId const type = cell::type_of(value);
    if (type == type_ids::string) return append_text_bytes(bytes, value, part);
    if (type == type_ids::binary) {
        std::span<std::uint8_t> const data = binary::bytes(value);
        std::size_t const count
            = part >= 0 ? std::min<std::size_t>(data.size(), static_cast<std::size_t>(part)) : data.size();
        bytes.append(reinterpret_cast<char const*>(data.data()), count);
        return;
    }
    Rooted kept(value);
    Rooted molded(string::make(16));
    TypeActions const& slots = datatype::actions(type);
    if (!slots.mold) fire_error(err::internal::not_done);
    slots.mold(*kept, *molded, false, false, false, nullptr, 0, 0);
    append_text_bytes(bytes, *molded, part);
}

// The bytes a binary!, or a string! of ASCII in 1-byte units, writes, as they lie in its buffer: valid until
// the next allocation. nullopt for the values whose bytes must be made.
std::optional<std::string_view> direct_bytes(Cell const& value, std::int64_t part)
{
    TypeId const type = cell::type_of(value);
    if (type == type_ids::binary) {
        std::span<std::uint8_t> const data = binary::bytes(value);
        std::size_t const count
            = part >= 0 ? std::min<std::size_t>(data.size(), static_cast<std::size_t>(part)) : data.size();
        return std::string_view(reinterpret_cast<char const*>(data.data()), count);
    }
    if (type != type_ids::string || string::unit_of(value) != 1) return std::nullopt;
    std::uint32_t const length = string::rs_length_q(value);
    std::size_t const count = part >= 0 ? std::min<std::size_t>(length, static_cast<std::size_t>(part)) : length;
    auto const* start = reinterpret_cast<char const*>(string::rs_tail(value)) - length;
    // Latin-1 beyond ASCII takes two bytes in UTF-8.
    if (string::ascii_prefix(reinterpret_cast<std::uint8_t const*>(start), count, false) != count) return std::nullopt;
    return std::string_view(start, count);
}

Cell write(Cell const& destination, Cell const& data, WriteOptions const& options)
{
    // Refused before the file is touched.
    if (options.allow || options.as) fire_error(err::internal::not_done);
    Rooted path(destination);
    Rooted value(data);
    std::int64_t part = -1;
    if (options.part) {
        if (cell::type_of(*options.part) != type_ids::integer) {
            Rooted argument(*options.part);
            Cell const refinement = refinement::make("part");
            fire_error(err::script::invalid_refine_arg, &refinement, &*argument);
        }
        part = cell::integer_payload(*options.part);
        // A negative part writes nothing and reports nothing.
        if (part < 0) return unset_value;
    }
    std::int64_t const seek = options.seek ? count_of(*options.seek) : -1;
    std::string const name = local_path(*path);
    if (!options.lines) {
        if (std::optional<std::string_view> const direct = direct_bytes(*value, part)) {
            // Nothing allocates between taking the view and the end of the write.
            if (!host::files::write(name, *direct, options.append, seek)) fire_cannot_open(*path);
            return unset_value;
        }
    }
    std::string bytes;
    if (options.lines && block::is_any_block(cell::type_of(*value))) {
        for (std::uint32_t i = 0; i < block::rs_length_q(*value); ++i) {
            Cell const line = block::rs_head(*value)[i]; // a copy: molding may move the block's buffer
            append_bytes_of(bytes, line, -1);
            bytes.push_back('\n');
        }
    } else {
        append_bytes_of(bytes, *value, part);
        if (options.lines) bytes.push_back('\n');
    }
    if (!host::files::write(name, bytes, options.append, seek)) fire_cannot_open(*path);
    return unset_value;
}

// ---- The other file actions ----------------------------------------------------------------------------

Cell query(Cell const& value)
{
    std::string const name = local_path(value);
    bool const as_folder = !name.empty() && name.back() == '/';
    std::optional<host::files::FileTime> const time = host::files::modified(name, as_folder);
    if (!time) return none_value;
    std::int64_t days = time->seconds / 86400;
    std::int64_t seconds = time->seconds % 86400;
    if (seconds < 0) {
        seconds += 86400;
        --days;
    }
    date::CivilDate const civil = date::civil_from_days(date::to_days(1970, 1, 1) + days);
    Cell result = cell::make(type_ids::unset);
    date::make_from_parts(result, static_cast<std::int32_t>(civil.year), civil.month, civil.day,
        static_cast<std::int32_t>(seconds / 3600), static_cast<std::int32_t>(seconds / 60 % 60),
        static_cast<std::int32_t>(seconds % 60), time->milliseconds * 1'000'000);
    return result;
}

Cell delete_(Cell const& value)
{
    std::string const name = local_path(value);
    return logic::make(host::files::remove(name, host::files::folder_path_q(name)));
}

Cell rename(Cell const& from, Cell const& to)
{
    if (!string::is_text_type(cell::type_of(to))) fire_error(err::script::invalid_arg, &to);
    return logic::make(host::files::rename(local_path(from), local_path(to)));
}

}

void to_local(Cell const& path, Cell const& output, bool full)
{
    Rooted kept(path);
    Rooted target(output);
    bool const absolute = string::rs_length_q(*kept) > 0 && string::char_at(*kept, 0) == '/';
    if (full && !absolute) {
        std::optional<std::string> const folder = host::files::current_folder();
        if (!folder) fire_error(err::access::cannot_open, &*kept);
        Rooted loaded(load_local(*folder, type_ids::string));
        string::concatenate(*target, *loaded, -1, 0, true, string::SpliceMode::Append);
    }
    string::concatenate(*target, *kept, -1, 0, true, string::SpliceMode::Append);
}

std::string local_path(Cell const& path)
{
    return string::to_utf8(path);
}

Cell from_local(std::string_view name)
{
    return load_local(name, type_id);
}

Cell text_from_bytes(std::string_view bytes)
{
    return decode_text(bytes, string::LineEnds::Convert);
}

Cell lines_from_bytes(std::string_view bytes)
{
    return split_lines(bytes);
}

std::int32_t mold(Cell const& value, Cell& buffer, bool, bool, bool, Refinement part, std::int32_t limit, std::int32_t)
{
    Rooted text(value);
    Rooted output(buffer);
    std::uint32_t const length = string::rs_length_q(*text);
    string::append_char(*output, '%');
    if (length == 0) {
        string::append_char(*output, '"');
        string::append_char(*output, '"');
        return limit - 3;
    }
    std::uint32_t count = length;
    bool const budgeted = part && cell::type_of(*part) == type_ids::integer && cell::integer_payload(*part) != 0;
    if (budgeted) count = limit < 0 ? 0 : std::min(length, static_cast<std::uint32_t>(limit));
    bool quoted = false;
    for (std::uint32_t i = 0; i < count && !quoted; ++i) {
        std::uint32_t const code_point = string::char_at(*text, i);
        quoted = code_point < 127 && !plain_char(code_point);
    }
    // In quotes the escapes the reader knows keep every name loadable: ^" and ^^ for the quote and the
    // caret, ^A and the like for control characters.
    if (quoted) string::append_char(*output, '"');
    std::uint32_t const before = string::rs_length_q(*output);
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint32_t const code_point = string::char_at(*text, i);
        if (quoted)
            string::mold_char(*output, code_point, false);
        else
            string::append_char(*output, code_point);
    }
    std::uint32_t const written = string::rs_length_q(*output) - before;
    if (quoted) string::append_char(*output, '"');
    return limit - static_cast<std::int32_t>(written) - 1;
}

constexpr DatatypeRecord record {
    .id = type_id,
    .parent = type_ids::url,
    .name = "file!",
    .actions =
        [] {
            ActionTable actions = string::text_child_actions(inherit, mold, inherit);
            actions.delete_ = delete_;
            actions.query = query;
            actions.read = read;
            actions.rename = rename;
            actions.write = write;
            return actions;
        }(),
};

}
