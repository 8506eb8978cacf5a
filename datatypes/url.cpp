// url!: percent decoding and encoding, read and write of http and https URLs, and ports for other schemes.

#include "datatypes/url.h"

#include <algorithm>
#include <array>
#include <vector>

#include "datatypes/binary.h"
#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/file.h"
#include "datatypes/function.h"
#include "datatypes/integer.h"
#include "datatypes/map.h"
#include "datatypes/none.h"
#include "datatypes/object.h"
#include "datatypes/port.h"
#include "datatypes/registry.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/typed_actions.h"
#include "datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/host/http.h"
#include "runtime/roots.h"
#include "runtime/series.h"
#include "runtime/services.h"
#include "runtime/stack.h"
#include "runtime/unicode.h"

namespace xol::url {

namespace {

constexpr char hex_digits[] = "0123456789ABCDEF";

int hex_value(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

using KeptTable = std::array<bool, 128>;

constexpr KeptTable kept_table(char const* marks)
{
    KeptTable table {};
    for (int c = 0; c < 128; ++c) table[c] = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    for (char const* mark = marks; *mark != 0; ++mark) table[static_cast<unsigned char>(*mark)] = true;
    return table;
}

constexpr KeptTable path_kept = kept_table("!#$&'()*+,-./:=?@_~");
constexpr KeptTable component_kept = kept_table("-._~");

struct EncodeState {
    char escape[4] = "%00";
    char kept[2] = "";
};
EncodeState encoding;

}

std::optional<std::uint8_t> decode_escape(std::string_view text)
{
    if (text.size() < 3 || text[0] != '%') return std::nullopt;
    int const high = hex_value(text[1]);
    int const low = hex_value(text[2]);
    if (high < 0 || low < 0) return std::nullopt;
    return static_cast<std::uint8_t>(high * 16 + low);
}

std::string_view encode_char(std::uint8_t byte, KeptSet set)
{
    KeptTable const& kept = set == KeptSet::Component ? component_kept : path_kept;
    if (byte < 128 && kept[byte]) {
        encoding.kept[0] = static_cast<char>(byte);
        return { encoding.kept, 1 };
    }
    encoding.escape[1] = hex_digits[byte >> 4];
    encoding.escape[2] = hex_digits[byte & 15];
    return { encoding.escape, 3 };
}

std::u32string decode_utf8(std::string_view text)
{
    std::u32string decoded;
    decoded.reserve(text.size());
    std::size_t position = 0;
    while (position < text.size()) {
        std::optional<std::uint8_t> const escaped = decode_escape(text.substr(position));
        if (escaped) {
            int const lead_length = unicode::utf8_lead_length(*escaped);
            if (lead_length == 0) {
                decoded.push_back(*escaped);
                position += 3;
                continue;
            }
            // A lead byte counts as escaped only with every continuation byte it announces escaped too.
            std::uint8_t sequence[4] = { *escaped };
            int gathered = 1;
            while (gathered < lead_length) {
                std::optional<std::uint8_t> const next = decode_escape(text.substr(position + 3 * gathered));
                if (!next) break;
                sequence[gathered++] = *next;
            }
            if (gathered == lead_length) {
                auto length = static_cast<std::uint32_t>(lead_length);
                std::int32_t const code_point
                    = unicode::utf8_decode_checked(sequence, length, unicode::InvalidUtf8::Answer);
                // A sequence the decoder refuses, or one that ends before its announced length, is not text.
                bool const valid = code_point >= 0 && length == static_cast<std::uint32_t>(lead_length);
                decoded.push_back(valid ? static_cast<char32_t>(code_point) : U'\uFFFE');
                position += 3 * static_cast<std::size_t>(lead_length);
                continue;
            }
        }
        // Text as it stands: one UTF-8 sequence.
        auto const* start = reinterpret_cast<std::uint8_t const*>(text.data()) + position;
        auto const* end = reinterpret_cast<std::uint8_t const*>(text.data()) + text.size();
        std::int32_t code_point = 0;
        std::uint8_t const* after = unicode::utf8_decode(start, end, code_point);
        if (code_point < 0) {
            // Text made from a string is valid UTF-8; a stray byte is taken as its own value.
            decoded.push_back(*start);
            position += 1;
            continue;
        }
        decoded.push_back(static_cast<char32_t>(code_point));
        position += static_cast<std::size_t>(after - start);
    }
    return decoded;
}

void decode(Cell const& value, Cell const& output_value)
{
    Rooted output(output_value);
    std::u32string const decoded = decode_utf8(string::to_utf8(value));
    for (char32_t code_point : decoded) string::append_char(*output, code_point);
}

void encode(Cell const& value, Cell const& output_value, KeptSet set)
{
    Rooted output(output_value);
    std::string const utf8 = string::to_utf8(value);
    std::string encoded;
    encoded.reserve(utf8.size());
    for (char byte : utf8) encoded += encode_char(static_cast<std::uint8_t>(byte), set);
    string::concatenate_literal(*output, encoded);
}

namespace {

// Appends the form of any value through its type's form slot. May allocate.
void append_formed(Cell const& output, Cell const& value)
{
    Rooted kept(value);
    Cell target = output;
    TypeActions const& slots = datatype::actions(cell::type_of(*kept));
    if (!slots.form) fire_error(err::internal::not_done);
    slots.form(*kept, target, nullptr, 0);
}

bool is_list(TypeId type)
{
    return type == type_ids::block || type == type_ids::paren || type == type_ids::hash;
}

// scheme://host:port/path/more#fragment from the values of a block, from its index.
Cell from_block(Cell const& spec, TypeId type)
{
    Rooted block_value(spec);
    std::uint32_t const count = block::rs_length_q(*block_value);
    if (count == 0) {
        Cell const datatype_value = datatype::make(type);
        fire_error(err::script::bad_to_arg, &datatype_value, &*block_value);
    }
    Rooted result(string::make(16));
    auto value_at = [&](std::uint32_t i) { return block::rs_head(*block_value)[i]; }; // a copy each time
    append_formed(*result, value_at(0));
    string::append_ascii(*result, "://", 0);
    std::uint32_t next = 1;
    if (next < count) append_formed(*result, value_at(next++));
    if (next < count && cell::type_of(value_at(next)) == type_ids::integer) {
        string::append_char(*result, ':');
        append_formed(*result, value_at(next++));
    }
    if (next < count) {
        string::append_char(*result, '/');
        for (std::uint32_t i = next; i < count; ++i) {
            if (i > next) string::append_char(*result, cell::type_of(value_at(i)) == type_ids::issue ? '#' : '/');
            append_formed(*result, value_at(i));
        }
    }
    Cell built = *result;
    cell::set_type(built, type);
    return built;
}

int32_t mold(Cell const& value, Cell& buffer, bool, bool, bool, Refinement part, std::int32_t limit, std::int32_t)
{
    Rooted output(buffer);
    std::string const utf8 = string::to_utf8(value);
    std::string encoded;
    encoded.reserve(utf8.size());
    for (char byte : utf8) {
        if (part && static_cast<std::int64_t>(encoded.size()) >= limit) break;
        // The reader ends a bare URL at a parenthesis, so a molded one shows them escaped to load back.
        if (byte == '(')
            encoded += "%28";
        else if (byte == ')')
            encoded += "%29";
        else
            encoded += encode_char(static_cast<std::uint8_t>(byte), KeptSet::Path);
    }
    string::concatenate_literal(*output, encoded);
    return limit - static_cast<std::int32_t>(encoded.size());
}

// ---- HTTP ---------------------------------------------------------------------------------------------

// Only text starting "http" (so https too) goes to the HTTP layer; other schemes need ports.
bool http_q(Cell const& value)
{
    return string::to_utf8(value).starts_with("http");
}

// The text a request carries for a value: a string!'s own, any other value's formed text, as UTF-8.
std::string formed_utf8(Cell const& value)
{
    if (cell::type_of(value) == type_ids::string) return string::to_utf8(value);
    Rooted kept(value);
    Rooted text(string::make(16));
    append_formed(*text, *kept);
    return string::to_utf8(*text);
}

// A header name: a word's spelling (any of the four word types), else the formed value.
std::string header_name(Cell const& value)
{
    TypeId const type = cell::type_of(value);
    if (type == type_ids::word || type == type_ids::set_word || type == type_ids::lit_word
        || type == type_ids::get_word)
        return std::string(symbol::spelling(word::symbol_of(value)));
    return formed_utf8(value);
}

// The block's pairs from its index; a last name without a value is not sent.
host::http::Headers headers_of(Cell const& block_value)
{
    Rooted headers_block(block_value);
    host::http::Headers headers;
    for (std::uint32_t i = 0; i + 1 < block::rs_length_q(*headers_block); i += 2) {
        Cell const name = block::rs_head(*headers_block)[i]; // copies: forming may move the buffer
        Cell const value = block::rs_head(*headers_block)[i + 1];
        Rooted kept_value(value);
        std::string name_text = header_name(name);
        headers.emplace_back(std::move(name_text), formed_utf8(*kept_value));
    }
    return headers;
}

// A body's bytes: a binary!'s from its index, a string!'s UTF-8 text, a block!'s formed text.
std::string body_of(Cell const& body)
{
    if (cell::type_of(body) == type_ids::binary) {
        std::span<std::uint8_t> const data = binary::bytes(body);
        return std::string(reinterpret_cast<char const*>(data.data()), data.size());
    }
    return formed_utf8(body);
}

// Text from the wire that must always load: each byte that is not UTF-8 becomes the character of its code.
Cell lenient_text(std::string_view bytes)
{
    std::uint32_t rest = 0;
    NodeId const node = string::decode_utf8(reinterpret_cast<std::byte const*>(bytes.data()),
        series::checked_length(bytes.size()), no_node, rest, string::LineEnds::Keep, string::BadBytes::AsLatin1);
    return cell::make(type_ids::string, 0, node, 0);
}

// The reply's headers as a map! of word keys; a name that comes more than once (whatever its case) holds a
// block of its values in arrival order.
Cell headers_map(host::http::Headers const& headers)
{
    std::vector<std::pair<std::string_view, std::vector<std::string_view>>> grouped;
    auto same_name = [](std::string_view a, std::string_view b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
            auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
            return lower(x) == lower(y);
        });
    };
    for (auto const& [name, value] : headers) {
        auto found = std::find_if(
            grouped.begin(), grouped.end(), [&](auto const& group) { return same_name(group.first, name); });
        if (found == grouped.end())
            grouped.push_back({ name, { value } });
        else
            found->second.push_back(value);
    }
    Rooted map_value(map::make(nullptr, 20));
    for (auto const& [name, values] : grouped) {
        Rooted name_text(lenient_text(name));
        Rooted key(word::make_global(string::to_utf8(*name_text)));
        Rooted entry(cell::make(type_ids::unset));
        if (values.size() == 1) {
            *entry = lenient_text(values.front());
        } else {
            block::make_at(*entry, static_cast<std::int32_t>(values.size()));
            for (std::string_view value : values) {
                Rooted text(lenient_text(value)); // appending may collect
                *series::append_cell(*entry) = *text;
            }
        }
        map::put(*map_value, *key, *entry, false);
    }
    return *map_value;
}

struct Flags {
    bool binary, lines, info;
};

// Sends the request; no reply raises access no-connect with the URL. The body becomes a binary!, a block of
// lines or a string!; with `info`, a block of the status, the headers map and the body.
Cell http_request(Cell const& url_value, std::string_view method, std::optional<host::http::Headers> headers,
    std::optional<std::string> body, Flags flags)
{
    Rooted target(url_value);
    std::string encoded;
    for (char byte : string::to_utf8(*target)) encoded += encode_char(static_cast<std::uint8_t>(byte), KeptSet::Path);
    std::optional<host::http::Reply> const reply = host::http::request({
        .method = std::string(method),
        .url = std::move(encoded),
        .headers = std::move(headers),
        .body = std::move(body),
    });
    if (!reply) fire_error(err::access::no_connect, &*target);
    Rooted result(cell::make(type_ids::unset));
    if (flags.binary) {
        *result = binary::load({ reinterpret_cast<std::uint8_t const*>(reply->body.data()), reply->body.size() });
    } else if (flags.lines) {
        *result = file::lines_from_bytes(reply->body);
    } else {
        *result = file::text_from_bytes(reply->body);
    }
    if (!flags.info) return *result;
    Rooted info(cell::make(type_ids::unset));
    block::make_at(*info, 3);
    *series::append_cell(*info) = integer::make(static_cast<std::int32_t>(reply->status));
    Rooted headers_value(headers_map(reply->headers));
    *series::append_cell(*info) = *headers_value;
    *series::append_cell(*info) = *result;
    return *info;
}

// ---- Ports ---------------------------------------------------------------------------------------------

// The library's parse-url, the member of the global url-parser; none! when the library has not made it.
Cell parse_url_function()
{
    Cell const parser = *word::get_value(word::make_global("url-parser"));
    if (cell::type_of(parser) != type_ids::object) return none_value;
    std::int32_t const slot = context::find_word(object::context_of(parser), symbol::make("parse-url"), true);
    return slot < 0 ? none_value : *object::value_at(parser, static_cast<std::uint32_t>(slot));
}

// The port of a URL whose scheme is not http: parse-url splits a copy of the URL into the parts a port is
// made from. An answer that is no object, or no parser at all, refuses the URL. May allocate.
Cell port_of(Cell const& url)
{
    Rooted target(url);
    Rooted function(parse_url_function());
    if (cell::type_of(*function) != type_ids::function) fire_error(err::script::invalid_arg, &*target);
    Rooted argument(actions::copy_typed(*target, false, nullptr));
    Rooted name(word::make_global("parse-url"));
    stack::push_call_frame(*name, function::context_of(*function));
    stack::push(*argument);
    services.call_function(*function, context::global(), *name, 0);
    stack::pop_frame_keep_restore();
    Rooted parts(*stack::top());
    stack::pop(1);
    if (cell::type_of(*parts) != type_ids::object) fire_error(err::script::invalid_arg, &*target);
    return port::make(none_value, *parts, port::type_id);
}

Cell open(Cell const& url, OpenOptions const& options)
{
    Rooted made(port_of(url));
    port::open(*made, options);
    return *made;
}

Cell read(Cell const& source, ReadOptions const& options)
{
    if (!http_q(source)) return port::read(port_of(source), options);
    if (options.part || options.seek || options.as) fire_error(err::internal::not_done);
    return http_request(source, "get", std::nullopt, std::nullopt, { options.binary, options.lines, options.info });
}

// A block asks for [method headers body], each part optional from the end; any other data is posted.
Cell write(Cell const& destination, Cell const& data, WriteOptions const& options)
{
    if (!http_q(destination)) {
        Rooted kept_data(data);
        Rooted made(port_of(destination));
        return port::write(*made, *kept_data, options);
    }
    if (options.seek || options.allow || options.as) fire_error(err::internal::not_done);
    Rooted target(destination);
    Rooted value(data);
    std::string method = "post";
    std::optional<host::http::Headers> headers;
    Rooted body(cell::make(type_ids::none));
    bool has_body = true;
    if (cell::type_of(*value) == type_ids::block) {
        std::uint32_t const count = block::rs_length_q(*value);
        if (count == 0) {
            method = "get";
            *body = *value;
        } else {
            Cell const first = block::rs_head(*value)[0];
            if (cell::type_of(first) != type_ids::word) fire_error(err::script::invalid_arg, &first);
            method = std::string(symbol::spelling(word::symbol_of(first)));
            if (count > 1) {
                Cell const second = block::rs_head(*value)[1];
                if (cell::type_of(second) != type_ids::block) fire_error(err::script::invalid_arg, &second);
                headers = headers_of(second);
            }
            has_body = count > 2;
            if (has_body) *body = block::rs_head(*value)[2];
        }
    } else {
        *body = *value;
    }
    std::optional<std::string> body_bytes;
    if (has_body) {
        TypeId const type = cell::type_of(*body);
        if (type != type_ids::block && type != type_ids::string && type != type_ids::binary)
            fire_error(err::script::invalid_arg, &*body);
        body_bytes = body_of(*body);
    }
    return http_request(
        *target, method, std::move(headers), std::move(body_bytes), { options.binary, options.lines, options.info });
}

}

Cell make(Cell const& prototype, Cell const& spec, TypeId type)
{
    if (type == type_ids::url && is_list(cell::type_of(spec))) return from_block(spec, type);
    return string::make(prototype, spec, type);
}

Cell to(Cell const& prototype, Cell const& spec, TypeId type)
{
    if (type == type_ids::url && is_list(cell::type_of(spec))) return from_block(spec, type);
    return string::to(prototype, spec, type);
}

Cell eval_path(PathStep const& step)
{
    if (step.new_value) {
        Cell const* path = step.path ? step.path : &step.value;
        fire_error(err::script::bad_path_set, path, &step.element);
    }
    Rooted parent(step.value);
    Rooted element(step.element);
    if (cell::type_of(*element) == type_ids::get_word) *element = *word::get(*element);
    Rooted result(string::make(string::rs_length_q(*parent) + 16));
    append_formed(*result, *element);
    std::uint32_t const parent_length = string::rs_length_q(*parent);
    bool const parent_slash = parent_length > 0 && string::char_at(*parent, parent_length - 1) == '/';
    bool const element_slash = string::rs_length_q(*result) > 0 && string::char_at(*result, 0) == '/';
    if (parent_slash && element_slash) string::remove_at(*result, 0, 1);
    if (!parent_slash && !element_slash) string::insert_char_at(result->word2, 0, '/');
    string::concatenate(*result, *parent, -1, 0, true, string::SpliceMode::Insert);
    Cell joined = *result;
    cell::set_type(joined, cell::type_of(*parent));
    return joined;
}

constexpr DatatypeRecord record {
    .id = type_ids::url,
    .parent = type_ids::string,
    .name = "url!",
    .actions =
        [] {
            ActionTable actions = string::text_child_actions(inherit, mold, eval_path);
            actions.make = make;
            actions.to = to;
            actions.open = open;
            actions.read = read;
            actions.write = write;
            return actions;
        }(),
};

}
