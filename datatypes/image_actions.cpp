// image!'s actions: make and to, the molded text, paths, comparison, navigation by integers and pairs,
// pick and poke, change and the rectangle copies.

#include <algorithm>
#include <cstring>
#include <string_view>

#include "datatypes/binary.h"
#include "datatypes/block.h"
#include "datatypes/datatype.h"
#include "datatypes/image.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/none.h"
#include "datatypes/pair.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/tuple.h"
#include "datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/ownership.h"
#include "runtime/roots.h"
#include "runtime/stack.h"

namespace xol::image {

namespace {

using pixel_store::PixelStore;

constexpr char hex_digits[] = "0123456789ABCDEF";

Cell& frame_image()
{
    return stack::state.base[0];
}

Cell empty_image()
{
    return make_with_store(nullptr, 0, 0);
}

void tell_owner(Cell const& value, char const* action, Cell const* new_value, std::uint32_t index, std::uint32_t count)
{
    if (value.header & ownership::image_owned_flag) {
        series::tell_owned_series_owner(
            value, action, new_value, static_cast<std::int32_t>(index), static_cast<std::int32_t>(count));
    }
}

// A colour tuple's pixel: R.G.B is opaque, R.G.B.a has A = 255 - a.
std::uint32_t tuple_pixel(Cell const& colour)
{
    tuple::Bytes const bytes = tuple::bytes(colour);
    return pixel_store::pixel_of(bytes.at[0], bytes.at[1], bytes.at[2], tuple::count(colour) > 3 ? bytes.at[3] : 0);
}

// A new image of the size (negative sides count as 0) filled with the colour, else from the RGB and alpha
// bytes; pixels past either run are white and opaque.
Cell make_filled(Cell const& size, Cell const* colour, Cell const* rgb, Cell const* alpha)
{
    std::int64_t const width = std::max(0, pair::x(size));
    std::int64_t const height = std::max(0, pair::y(size));
    if (width > pixel_store::max_side || height > pixel_store::max_side) fire_error(err::script::out_of_range, &size);
    OwnedStore store = new_store(static_cast<std::uint64_t>(width), static_cast<std::uint64_t>(height));
    if (store) {
        std::uint32_t* pixels = store->pixels;
        std::uint64_t const count = pixel_store::pixel_count(*store);
        if (colour) {
            std::fill(pixels, pixels + count, tuple_pixel(*colour));
        } else {
            // Read only now: nothing has allocated since the block was read.
            std::uint8_t const* rgb_bytes = rgb ? binary::rs_head(*rgb) : nullptr;
            std::uint64_t const triples = rgb ? binary::rs_length(*rgb) / 3 : 0;
            std::uint8_t const* alpha_bytes = alpha ? binary::rs_head(*alpha) : nullptr;
            std::uint64_t const alphas = alpha ? binary::rs_length(*alpha) : 0;
            for (std::uint64_t i = 0; i < count; ++i) {
                std::uint32_t pixel = pixel_store::white;
                if (i < triples) {
                    pixel = 0xFF000000 | std::uint32_t { rgb_bytes[3 * i] } << 16
                        | std::uint32_t { rgb_bytes[3 * i + 1] } << 8 | rgb_bytes[3 * i + 2];
                }
                if (i < alphas) pixel = (pixel & 0x00FFFFFF) | std::uint32_t(255 - alpha_bytes[i]) << 24;
                pixels[i] = pixel;
            }
        }
    }
    return make_with_store(std::move(store), static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height));
}

// A new image holding the rectangle; empty when a side is below 1.
Cell copy_rectangle(Cell const& value, std::int64_t x, std::int64_t y, std::int64_t w, std::int64_t h)
{
    PixelStore const* source = store_of(value);
    if (!source || w < 1 || h < 1) return empty_image();
    OwnedStore store = new_store(static_cast<std::uint64_t>(w), static_cast<std::uint64_t>(h));
    pixel_store::copy_rectangle(*source, static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y),
        static_cast<std::uint32_t>(w), static_cast<std::uint32_t>(h), *store, 0, 0);
    return make_with_store(std::move(store), 0, 0);
}

// ---- make and to ----------------------------------------------------------------------------------------

Cell copy(Cell const& value, Refinement part, bool, Refinement);

Cell to(Cell const&, Cell const& spec, TypeId)
{
    if (cell::type_of(spec) == type_id) return copy(spec, nullptr, false, nullptr);
    // An object would go to the GUI's capture of a face; no object is a face without the GUI.
    Cell const target = datatype::make(type_id);
    fire_error(err::script::bad_to_arg, &target, &spec);
}

void expect(Cell const& value, TypeId type)
{
    if (cell::type_of(value) == type) return;
    Cell const expected = datatype::make(type);
    Cell const given = datatype::make(cell::type_of(value));
    fire_error(err::script::expect_val, &expected, &given);
}

Cell make(Cell const& prototype, Cell const& spec, TypeId type)
{
    TypeId const spec_type = cell::type_of(spec);
    if (spec_type == type_ids::pair) return make_filled(spec, nullptr, nullptr, nullptr);
    if (spec_type != type_ids::block) return to(prototype, spec, type);
    std::uint32_t const length = block::rs_length_q(spec);
    if (length == 0) {
        if (cell::type_of(prototype) == type_id) return copy(prototype, nullptr, false, nullptr);
        fire_error(err::script::invalid_arg, &spec);
    }
    Cell const size = block::rs_head(spec)[0];
    expect(size, type_ids::pair);
    Cell const second = length > 1 ? block::rs_head(spec)[1] : none_value;
    Cell const third = length > 2 ? block::rs_head(spec)[2] : none_value;
    Cell const* colour = nullptr;
    Cell const* rgb = nullptr;
    Cell const* alpha = nullptr;
    if (length > 1) {
        if (cell::type_of(second) == type_ids::tuple) {
            colour = &second;
        } else if (cell::type_of(second) == type_ids::binary) {
            rgb = &second;
        } else {
            fire_error(err::script::invalid_arg, &second);
        }
    }
    if (length > 2) {
        expect(third, type_ids::binary);
        alpha = &third;
    }
    return make_filled(size, colour, rgb, alpha);
}

// ---- form and mold --------------------------------------------------------------------------------------

std::int32_t line_break(Cell const& output, std::int32_t level, std::int32_t limit)
{
    limit = string::append_ascii(output, "\n", limit);
    for (std::int32_t i = 0; i < level; ++i) limit = string::append_ascii(output, "    ", limit);
    return limit;
}

std::int32_t write_text(Cell const& value_given, Cell const& buffer, bool only, bool flat, Refinement part,
    std::int32_t limit, std::int32_t level)
{
    Rooted value(value_given);
    Rooted output(buffer);
    auto const stop = [&] { return part && limit <= 0; };
    if (!only) limit = string::append_ascii(*output, "make image! [", limit);
    char size_text[16];
    int const size_length = std::snprintf(size_text, sizeof size_text, "%ux%u", width(*value), height(*value));
    limit = string::append_ascii(*output, { size_text, static_cast<std::size_t>(size_length) }, limit);
    if (stop()) return limit;
    if (!store_of(*value)) return string::append_ascii(*output, " #{}]", limit);
    std::uint32_t const count = pixel_count(*value);
    std::uint32_t const start = std::min(value->word1, count);
    std::uint32_t const n = count - start;
    limit = string::append_ascii(*output, " #{", limit);
    bool const broken = !flat && std::uint64_t { n } * 4 > 30;
    if (broken) limit = line_break(*output, level, limit);
    bool translucent = false;
    for (std::uint32_t i = 0; i < n; ++i) {
        if (stop()) return limit;
        // The store does not move, but it is read afresh: appending may collect, and the value is rooted.
        std::uint32_t const pixel = store_of(*value)->pixels[start + i];
        if (pixel_store::opacity_of(pixel) != 255) translucent = true;
        char digits[6];
        std::uint8_t const components[3]
            = { pixel_store::red_of(pixel), pixel_store::green_of(pixel), pixel_store::blue_of(pixel) };
        for (int c = 0; c < 3; ++c) {
            digits[2 * c] = hex_digits[components[c] >> 4];
            digits[2 * c + 1] = hex_digits[components[c] & 15];
        }
        limit = string::append_ascii(*output, { digits, 6 }, limit);
        if (!flat && (i + 1) % 10 == 0) limit = line_break(*output, level, limit);
    }
    if (stop()) return limit;
    if (broken && n % 10 != 0) limit = line_break(*output, level - 1, limit);
    limit = string::append_ascii(*output, "}", limit);
    if (translucent) {
        // The alpha block covers the whole image and stands on its own lines, flat or not.
        limit = string::append_ascii(*output, " #{", limit);
        limit = line_break(*output, level, limit);
        for (std::uint32_t i = 0; i < count; ++i) {
            if (stop()) return limit;
            std::uint8_t const alpha
                = static_cast<std::uint8_t>(255 - pixel_store::opacity_of(store_of(*value)->pixels[i]));
            char const digits[2] = { hex_digits[alpha >> 4], hex_digits[alpha & 15] };
            limit = string::append_ascii(*output, { digits, 2 }, limit);
            if (!flat && (i + 1) % 10 == 0) limit = line_break(*output, level, limit);
        }
        limit = line_break(*output, level - 1, limit);
        limit = string::append_ascii(*output, "}", limit);
    }
    if (stop()) return limit;
    if (!only) limit = string::append_ascii(*output, "]", limit);
    return limit;
}

std::int32_t form(Cell const& value, Cell& buffer, Refinement part, std::int32_t limit)
{
    return write_text(value, buffer, false, false, part, limit, 0);
}

std::int32_t mold(Cell const& value, Cell& buffer, bool only, bool, bool flat, Refinement part, std::int32_t limit,
    std::int32_t indent)
{
    return write_text(value, buffer, only, flat, part, limit, indent + 1);
}

// ---- paths and comparison -------------------------------------------------------------------------------

Cell pick(Cell const& value, std::int32_t, Cell const& index_value);
Cell poke(Cell const& value, std::int32_t, Cell const& index_value, Cell const& new_value);

bool is_field(Cell const& word, std::string_view name)
{
    std::string_view const spelling = symbol::spelling(symbol::resolve(word.word2));
    if (spelling.size() != name.size()) return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        char c = spelling[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != name[i]) return false;
    }
    return true;
}

Cell eval_path(PathStep const& step)
{
    Cell const* path = step.path ? step.path : &step.value;
    TypeId const element_type = cell::type_of(step.element);
    if (element_type == type_ids::integer || element_type == type_ids::pair) {
        if (step.new_value) return poke(step.value, 0, step.element, *step.new_value);
        return pick(step.value, 0, step.element);
    }
    if (word::is_any_word(element_type)) {
        if (is_field(step.element, "size")) {
            if (step.new_value) fire_error(err::script::invalid_path, path, &step.element);
            return pair::make(
                static_cast<std::int32_t>(width(step.value)), static_cast<std::int32_t>(height(step.value)));
        }
        DataMode mode = DataMode::Alpha;
        bool known = true;
        if (is_field(step.element, "rgb")) {
            mode = DataMode::Rgb;
        } else if (is_field(step.element, "argb")) {
            mode = DataMode::Argb;
        } else if (!is_field(step.element, "alpha")) {
            known = false;
        }
        if (known) return step.new_value ? set_data(step.value, *step.new_value, mode) : get_data(step.value, mode);
    }
    fire_error(err::script::invalid_path, path, &step.element);
}

// Equality only: the pixels of the whole images, byte by byte in memory order; the shape does not count.
std::int32_t compare(Cell const& value1, Cell const& value2, CompareOp op)
{
    if (cell::type_of(value2) != type_id) return compare_incomparable;
    bool const same = value1.word2 == value2.word2 && value1.word1 == value2.word1;
    if (op == CompareOp::Same) return same ? 0 : 1;
    bool const sorting = op == CompareOp::Sort || op == CompareOp::CaseSort;
    bool const equality = op == CompareOp::Equal || op == CompareOp::NotEqual || op == CompareOp::StrictEqual
        || op == CompareOp::FindEqual;
    if (!sorting && !equality) return compare_incomparable;
    if (same) return 0;
    std::uint32_t const count1 = pixel_count(value1);
    std::uint32_t const count2 = pixel_count(value2);
    std::int32_t order = 0;
    if (count1 != count2) {
        order = count1 < count2 ? -1 : 1;
    } else if (count1 > 0) {
        int const bytes = std::memcmp(store_of(value1)->pixels, store_of(value2)->pixels, std::size_t { count1 } * 4);
        order = (bytes > 0) - (bytes < 0);
    }
    if (equality) return order == 0 ? 0 : 1;
    return order;
}

// ---- navigation -----------------------------------------------------------------------------------------

void check_position(Cell const& position)
{
    TypeId const type = cell::type_of(position);
    if (type != type_ids::integer && type != type_ids::pair) fire_error(err::script::invalid_arg, &position);
}

void at()
{
    Cell const position = stack::state.base[1];
    check_position(position);
    frame_image().word1 = offset(frame_image(), position, 1, nullptr);
}

void skip()
{
    Cell const position = stack::state.base[1];
    check_position(position);
    frame_image().word1 = offset(frame_image(), position, 0, nullptr);
}

void next()
{
    Cell& value = frame_image();
    if (std::uint64_t { value.word1 } + 1 <= pixel_count(value)) ++value.word1;
}

void tail()
{
    frame_image().word1 = pixel_count(frame_image());
}

void tail_q()
{
    frame_image() = logic::make(frame_image().word1 >= pixel_count(frame_image()));
}

std::int32_t length_q(Cell const& value)
{
    return static_cast<std::int32_t>(std::min<std::uint32_t>(pixel_count(value), INT32_MAX));
}

Cell pick(Cell const& value, std::int32_t, Cell const& index_value)
{
    check_position(index_value);
    bool out_of_range = false;
    std::uint32_t const at = offset(value, index_value, 1, &out_of_range);
    if (out_of_range) return none_value;
    return pixel_at(value, at);
}

Cell poke(Cell const& value, std::int32_t, Cell const& index_value, Cell const& new_value)
{
    check_position(index_value);
    bool out_of_range = false;
    std::uint32_t const at = offset(value, index_value, 1, &out_of_range);
    if (out_of_range || at >= pixel_count(value)) fire_error(err::script::out_of_range, &index_value);
    if (cell::type_of(new_value) != type_ids::tuple) fire_error(err::script::invalid_arg, &new_value);
    store_of(value)->pixels[at] = tuple_pixel(new_value);
    if (value.header & ownership::image_owned_flag) {
        Rooted kept(new_value);
        tell_owner(value, "poke", &*kept, at, 1);
        return *kept;
    }
    return new_value;
}

// ---- change and copy ------------------------------------------------------------------------------------

Cell change(Cell const& series, Cell const& value, std::int32_t part, bool, std::int32_t dup)
{
    if (part >= 0 || dup > 1) fire_error(err::internal::not_done);
    Rooted target(series);
    Rooted source(value);
    TypeId const type = cell::type_of(value);
    if (type == type_ids::tuple) {
        std::uint32_t const at = target->word1;
        if (at >= pixel_count(*target)) {
            Cell const one = integer::make(1);
            fire_error(err::script::out_of_range, &one);
        }
        tell_owner(*target, "change", &*source, at, 1);
        store_of(*target)->pixels[at] = tuple_pixel(*source);
        ++target->word1;
        tell_owner(*target, "changed", &*source, at, 1);
        return *target;
    }
    if (type != type_id) {
        Cell const type_value = datatype::make(type);
        fire_error(err::script::invalid_type, &type_value);
    }
    std::uint32_t const count = pixel_count(*target);
    std::uint32_t const position = target->word1;
    // An empty source changes nothing.
    if (position >= count || !store_of(*source)) return *target;
    // A source sharing the target's pixels is read from a copy, so that no pixel is overwritten before it is read.
    if (source->word2 == target->word2) *source = copy_rectangle(*source, 0, 0, width(*source), height(*source));
    std::uint32_t const w = width(*target);
    std::uint32_t const h = height(*target);
    std::uint32_t const x0 = position % w;
    std::uint32_t const y0 = position / w;
    std::uint32_t const columns = std::min(width(*source), w - x0);
    std::uint32_t const rows = std::min(height(*source), h - y0);
    tell_owner(*target, "change", &*source, position, columns * rows);
    pixel_store::copy_rectangle(*store_of(*source), 0, 0, width(*source), height(*source), *store_of(*target), x0, y0);
    target->word1 = (y0 + rows - 1) * w + std::min(x0 + width(*source), w);
    tell_owner(*target, "changed", &*source, position, columns * rows);
    return *target;
}

Cell copy(Cell const& value, Refinement part, bool, Refinement)
{
    std::int64_t const w = width(value);
    std::int64_t const h = height(value);
    if (w == 0 || h == 0) return empty_image();
    std::int64_t const count = w * h;
    std::int64_t const position = std::min<std::int64_t>(value.word1, count);
    std::int64_t x0 = position % w;
    std::int64_t y0 = position / w;
    if (!part) {
        if (position == 0) return copy_rectangle(value, 0, 0, w, h);
        return copy_rectangle(value, x0, y0, w - x0, h - y0);
    }
    Cell const range = *part;
    switch (cell::type_of(range)) {
    case type_ids::pair: {
        std::int64_t const px = pair::x(range);
        std::int64_t const py = pair::y(range);
        if (px > 0 && py > 0 && position < count)
            return copy_rectangle(value, x0, y0, std::min(px, w - x0), std::min(py, h - y0));
        if (px < 0 && py < 0 && position > 0) {
            std::int64_t columns = -px;
            std::int64_t rows = -py;
            if (x0 == 0) x0 = w;
            std::int64_t left = 0;
            if (columns > x0) {
                columns = x0;
            } else {
                left = x0 - columns;
            }
            if (y0 < h) ++y0;
            std::int64_t top = 0;
            if (rows > y0) {
                rows = y0;
            } else {
                top = y0 - rows;
            }
            return copy_rectangle(value, left, top, columns, rows);
        }
        return empty_image();
    }
    case type_ids::integer:
        fire_error(err::internal::not_done);
    case type_id: {
        if (range.word2 != value.word2) {
            Rooted kept(range);
            Cell const refinement = series::refinement_word("part");
            fire_error(err::script::invalid_refine_arg, &refinement, &*kept);
        }
        std::int64_t const other = std::min<std::int64_t>(range.word1, count);
        std::int64_t const start = std::min(position, other);
        std::int64_t const end = std::max(position, other);
        return copy_rectangle(value, start % w, start / w, end % w - start % w, end / w - start / w);
    }
    default: {
        Rooted kept(range);
        Cell const refinement = series::refinement_word("part");
        fire_error(err::script::invalid_refine_arg, &refinement, &*kept);
    }
    }
}

}

// Slots appear in table order. back, head, head? and index? move only the position, which series! does
// for every type; modify is the ownership field.
constexpr DatatypeRecord record {
    .id = type_id,
    .parent = type_ids::series,
    .name = "image!",
    .actions = {
        .make = make,
        .to = to,
        .form = form,
        .mold = mold,
        .eval_path = eval_path,
        .compare = compare,
        .at = at,
        .back = inherit,
        .change = change,
        .copy = copy,
        .head = inherit,
        .head_q = inherit,
        .index_q = inherit,
        .length_q = length_q,
        .next = next,
        .pick = pick,
        .poke = poke,
        .skip = skip,
        .tail = tail,
        .tail_q = tail_q,
        .modify = inherit,
    },
};

}
