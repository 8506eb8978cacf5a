// Start-up's bridge to the library written in Xol: reading the built-in descriptions of library/boot.xol
// into values, then evaluating the library's other sources in order.
//
// The descriptions are read, never evaluated: they make the values the evaluator itself stands on
// (typesets for argument checks, the native! and action! values), so they cannot wait for it. Each entry
// has one fixed shape, and a shape not met is a bug of the program, caught at every start.

#include "interpreter/boot.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <source_location>
#include <string_view>
#include <vector>

#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/datatype.h"
#include "datatypes/function.h"
#include "datatypes/integer.h"
#include "datatypes/map.h"
#include "datatypes/native.h"
#include "datatypes/none.h"
#include "datatypes/object.h"
#include "datatypes/op.h"
#include "datatypes/registry.h"
#include "datatypes/routine.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/typeset.h"
#include "datatypes/unset.h"
#include "datatypes/word.h"
#include "interpreter/actions.h"
#include "interpreter/actions_table.h"
#include "interpreter/evaluator.h"
#include "interpreter/lexer/lexer.h"
#include "interpreter/natives/natives.h"
#include "interpreter/natives/table.h"
#include "interpreter/routines.h"
#include "runtime/assert.h"
#include "runtime/collector.h"
#include "runtime/roots.h"
#include "runtime/runtime_record.h"
#include "runtime/series.h"
#include "runtime/stack.h"
#include "runtime/type_families.h"
#include "xolbin/xolbin.h"

namespace xol::boot {

namespace {

// A description that breaks its shape stops the process in every build, not only where assertions are on:
// the values it would make are the ones every call relies on.
void require(bool condition, char const* message, std::source_location where = std::source_location::current())
{
    if (!condition) assertion_failed(message, where);
}

// The symbol of every datatype's name by id, from the datatypes entry: the types not built yet are
// known by name only, so that typesets can hold them from the start.
struct BootState {
    std::array<SymbolId, type_ids::last + 1> type_names {};
};
BootState state;

Cell cell_at(Cell const& block, std::uint32_t index)
{
    return node::buffer(block.word2)->head_cell()[index];
}
std::uint32_t tail_of(Cell const& block)
{
    return node::buffer(block.word2)->length();
}
bool is_word_spelled(Cell const& value, TypeId type, std::string_view spelling)
{
    return cell::type_of(value) == type && symbol::spelling(word::symbol_of(value)) == spelling;
}

// The id of a datatype named by the word (case-blind, as words are), or 0.
TypeId type_named(Cell const& word)
{
    SymbolId const wanted = symbol::resolve(word::symbol_of(word));
    for (TypeId type = 1; type <= type_ids::last; ++type)
        if (state.type_names[type] != 0 && symbol::resolve(state.type_names[type]) == wanted) return type;
    return 0;
}

// Sets the global word that `name` (a word of any kind, bound to the global context) spells. May allocate.
void set_global(Cell const& name, Cell const& value)
{
    Rooted kept_value(value);
    Rooted target(name);
    cell::set_type(*target, type_ids::word);
    cell::clear_new_line(*target);
    word::set(*target, *kept_value);
}

// The datatypes entry: names in id order. Each registered type's word gets its datatype!.
// May allocate.
void read_datatypes(Cell const& given_names)
{
    Rooted names(given_names);
    require(tail_of(*names) - names->word1 == type_ids::last, "boot: the datatypes entry names every datatype");
    for (TypeId type = 1; type <= type_ids::last; ++type) {
        Cell const name = cell_at(*names, names->word1 + type - 1u);
        require(cell::type_of(name) == type_ids::word, "boot: a datatype name is a word");
        state.type_names[type] = word::symbol_of(name);
        if (!datatype::is_registered(type)) continue;
        require(symbol::spelling(word::symbol_of(name)) == datatype::name(type),
            "boot: the datatypes entry names the registered types in id order");
        set_global(name, datatype::make(type));
    }
}

// The value a word of a type block stands for: its own datatype! or typeset!, or, for a datatype not
// built yet, nothing at all (`unbuilt` says so).
Cell type_value(Cell const& word, TypeId& unbuilt)
{
    unbuilt = 0;
    Cell const value = *word::get_value(word);
    TypeId const type = cell::type_of(value);
    if (type == type_ids::datatype || type == type_ids::typeset) return value;
    require(type == type_ids::unset, "boot: a type word names a datatype or a typeset");
    unbuilt = type_named(word);
    require(unbuilt != 0 && !datatype::is_registered(unbuilt), "boot: a type word names a datatype or a typeset");
    return value;
}

// name!: typeset [...]: datatypes, and typesets already read, united.
Cell make_typeset(Cell const& types)
{
    Cell result = typeset::make();
    for (std::uint32_t i = types.word1; i < tail_of(types); ++i) {
        Cell const item = cell_at(types, i);
        require(cell::type_of(item) == type_ids::word, "boot: a typeset lists words");
        TypeId unbuilt;
        Cell const value = type_value(item, unbuilt);
        if (unbuilt != 0) {
            typeset::set_bit(result, unbuilt);
        } else if (cell::type_of(value) == type_ids::datatype) {
            typeset::set_bit(result, datatype::get(value));
        } else {
            result.word1 |= value.word1;
            result.word2 |= value.word2;
            result.word3 |= value.word3;
        }
    }
    return result;
}

// Leaves out of a type block the datatypes not built yet: the argument check builds its typeset from
// the block's words, and no value of such a type can reach the call anyway. Nested blocks (a callback's
// own spec) are documentation and stay. Allocates nothing.
void drop_unbuilt_types(Cell const& types)
{
    std::uint32_t kept = types.word1;
    for (std::uint32_t i = types.word1; i < tail_of(types); ++i) {
        Cell const item = cell_at(types, i);
        if (cell::type_of(item) == type_ids::word) {
            TypeId unbuilt;
            type_value(item, unbuilt);
            if (unbuilt != 0) continue;
        }
        node::buffer(types.word2)->head_cell()[kept++] = item;
    }
    block::rs_set_tail_at(types, kept);
}

void normalize_spec(Cell const& spec)
{
    for (std::uint32_t i = spec.word1; i < tail_of(spec); ++i) {
        Cell const item = cell_at(spec, i);
        if (cell::type_of(item) == type_ids::block) drop_unbuilt_types(item);
    }
}

// The values of a source's text, as a block. May allocate.
Cell load_source(SourceFile const& source)
{
    Rooted text(string::from_utf8(source.text));
    return lexer::load_all(*text);
}

// The image's block of source blocks, decoded once and rooted until the library has run.
struct ImageState {
    Cell sources = none_value;
    bool rooted = false;
};
ImageState image_state;

// The values of library source `index`: from the image when the program has one, else loaded from the
// source's text. May allocate.
Cell source_values(std::size_t index)
{
    std::span<std::uint8_t const> const image = runtime::record.boot_image;
    if (image.empty()) return load_source(library_sources()[index]);
    if (cell::type_of(image_state.sources) != type_ids::block) {
        if (!image_state.rooted) gc::add_root(&image_state.sources);
        image_state.rooted = true;
        Rooted decoded(unset_value);
        block::make_at(*decoded, 1);
        xolbin::load_boot(image, *decoded, runtime::record.boot_name_hashes);
        require(block::rs_length_q(*decoded) == 1, "boot: the image holds one block of the sources");
        image_state.sources = block::rs_head(*decoded)[0];
        require(cell::type_of(image_state.sources) == type_ids::block
                && block::rs_length_q(image_state.sources) == library_sources().size(),
            "boot: the image holds a block for each source");
    }
    return block::rs_head(image_state.sources)[index];
}

std::int32_t routines_read = 0;
std::int32_t last_routine = -1; // the row of the routine read last

// name: routine [spec]: the routine! of the routines table's row of that name, made from the spec, with
// the row's result type. May allocate.
void make_routine(Cell const& given_name, Cell const& given_spec)
{
    require(cell::type_of(given_spec) == type_ids::block, "boot: a routine's spec is a block");
    Rooted name(given_name);
    Rooted spec(given_spec);
    normalize_spec(*spec);
    // The name's spelling stays where it is: nothing allocates until the row is found.
    std::int32_t const index = routines::find(symbol::spelling(word::symbol_of(*name)), last_routine + 1);
    require(index >= 0, "boot: a routine has a row of its name in the routines table");
    last_routine = index;
    Cell* made = routine::make(*spec, none_value, index, routines::result_type(index), false);
    Rooted value(*made);
    stack::pop(1);
    set_global(*name, *value);
    ++routines_read;
}

enum class BuiltIn { Native, Action };

struct Counts {
    std::int32_t natives = 0;
    std::int32_t last_native = 0;
    std::int32_t actions = 0;
    std::int32_t last_action = 0;
};

// name: native N [spec] or name: action N [spec]. May allocate.
void make_builtin(BuiltIn kind, Cell const& name, Cell const& index_value, Cell const& given_spec, Counts& counts)
{
    require(cell::type_of(index_value) == type_ids::integer, "boot: a native or action index is an integer");
    require(cell::type_of(given_spec) == type_ids::block, "boot: a native or action spec is a block");
    std::int32_t const index = integer::get(index_value);
    Rooted spec(given_spec);
    normalize_spec(*spec);
    if (kind == BuiltIn::Native) {
        require(index == counts.last_native + 1, "boot: natives come in index order, each once");
        require(
            index <= natives::builtin_count && is_word_spelled(name, type_ids::set_word, natives::rows[index - 1].name),
            "boot: a native's spec has the name of its row in the natives table");
        counts.last_native = index;
        ++counts.natives;
        native::set_builtin_shape(native::type_id, index, *spec);
        Rooted value(native::make_value(native::type_id, *spec, index, true));
        natives::add_builtin(index, *value);
        set_global(name, *value);
    } else {
        require(index > counts.last_action && index <= actions::count, "boot: actions come in index order, each once");
        require(actions::rows[index - 1].reach == actions::Reach::Word,
            "boot: eval-path, set-path and compare have no action value");
        require(is_word_spelled(name, type_ids::set_word, actions::rows[index - 1].name),
            "boot: an action's spec has the name of its row in the action table");
        counts.last_action = index;
        ++counts.actions;
        native::set_builtin_shape(action::type_id, index, *spec);
        Rooted value(native::make_value(action::type_id, *spec, index, true));
        actions::add_builtin(index, *value);
        set_global(name, *value);
    }
}

}

std::int32_t after_header(Cell const& block)
{
    for (std::uint32_t i = block.word1; i < tail_of(block); ++i) {
        if (!is_word_spelled(cell_at(block, i), type_ids::word, "Xol")) continue;
        if (i + 1 < tail_of(block) && cell::type_of(cell_at(block, i + 1)) == type_ids::block)
            return static_cast<std::int32_t>(i + 2);
        return -1; // the first Xol word decides
    }
    return -1;
}

void read_specs()
{
    std::span<SourceFile const> const sources = library_sources();
    require(!sources.empty(), "boot: the descriptions are embedded");
    read_entries(source_values(0));
}

void read_specs(SourceFile const& descriptions)
{
    read_entries(load_source(descriptions));
    // What was loaded only to be read (the entries, their typeset blocks, the text) goes at once, so that
    // the run starts with live values only. The image's entries stay with the rest of the image until the
    // library has run: a collection here would only walk it.
    gc::collect();
}

void read_entries(Cell const& descriptions)
{
    state = BootState {};
    Rooted entries(descriptions);
    std::int32_t const start = after_header(*entries);
    require(start >= 0, "boot: the descriptions start with a header");
    std::uint32_t position = static_cast<std::uint32_t>(start);
    std::uint32_t const tail = tail_of(*entries);

    require(position + 1 < tail && is_word_spelled(cell_at(*entries, position), type_ids::word, "datatypes")
            && cell::type_of(cell_at(*entries, position + 1)) == type_ids::block,
        "boot: the datatypes entry comes first");
    read_datatypes(cell_at(*entries, position + 1));
    position += 2;

    Counts counts;
    routines_read = 0;
    last_routine = -1;
    while (position < tail) {
        Rooted name(cell_at(*entries, position));
        require(cell::type_of(*name) == type_ids::set_word && position + 2 < tail,
            "boot: an entry is a set-word, its kind and at least one value");
        Cell const kind = cell_at(*entries, position + 1);
        if (is_word_spelled(kind, type_ids::word, "typeset")) {
            Cell const types = cell_at(*entries, position + 2);
            require(cell::type_of(types) == type_ids::block, "boot: a typeset entry holds a block");
            require(counts.natives == 0 && counts.actions == 0, "boot: typesets come before natives and actions");
            set_global(*name, make_typeset(types));
            position += 3;
            continue;
        }
        if (is_word_spelled(kind, type_ids::word, "routine")) {
            require(counts.natives == natives::builtin_count && counts.actions == actions::word_count,
                "boot: routines come after the natives and actions");
            make_routine(*name, cell_at(*entries, position + 2));
            position += 3;
            continue;
        }
        bool const is_native = is_word_spelled(kind, type_ids::word, "native");
        require(is_native || is_word_spelled(kind, type_ids::word, "action"),
            "boot: an entry is a typeset, native or action");
        require(position + 3 < tail, "boot: a native or action entry holds an index and a spec");
        require(!is_native || counts.actions == 0, "boot: natives come before actions");
        require(routines_read == 0, "boot: natives and actions come before routines");
        Rooted index_value(cell_at(*entries, position + 2));
        Rooted spec(cell_at(*entries, position + 3));
        make_builtin(is_native ? BuiltIn::Native : BuiltIn::Action, *name, *index_value, *spec, counts);
        position += 4;
    }
    require(counts.natives == natives::builtin_count, "boot: every native is described");
    require(counts.actions == actions::word_count, "boot: every action with a word is described");
}

void evaluate_from(Cell const& given_code, std::uint32_t start)
{
    Rooted code(given_code);
    code->word1 = start;
    Cell* const saved_top = stack::state.top;
    stack::push_native_frame(word::make_global("do"));
    interp::eval_block(*code, true);
    stack::pop_frame_empty();
    stack::cut_to(saved_top);
}

namespace {

// A set of node ids, as a bitmap grown on demand: the walks below meet tens of thousands of nodes, and ids
// are dense. Allocates nothing on the collector's heap.
class NodeSet {
public:
    bool insert(NodeId id)
    {
        std::size_t const word = id >> 6;
        if (word >= m_words.size()) m_words.resize(std::max<std::size_t>(word + 1, 2 * m_words.size()));
        std::uint64_t const bit = std::uint64_t { 1 } << (id & 63);
        if ((m_words[word] & bit) != 0) return false;
        m_words[word] |= bit;
        return true;
    }

private:
    std::vector<std::uint64_t> m_words;
};

// Walks every value the global words' values reach, deeply (blocks, maps, objects, function specs and
// bodies), and hands `on_series` each block-like or map! series node once and `on_body` each function's
// body block once. Allocates nothing.
template <class OnSeries, class OnBody> void walk_library(OnSeries&& on_series, OnBody&& on_body)
{
    NodeSet seen;
    NodeSet seen_contexts;
    NodeSet seen_bodies;
    std::vector<Cell> pending;
    // Only values that hold others are kept for the walk: most cells are words and scalars.
    auto const keep = [&](Cell const& value) {
        TypeId const type = cell::type_of(value);
        if (type_ids::is_any_block(type) || type == type_ids::map || type == type_ids::object
            || type == type_ids::function || type == type_ids::op)
            pending.push_back(value);
    };
    NodeId const global = context::global();
    for (std::uint32_t i = 0; i < context::word_count(global); ++i) keep(*context::values_at(global, i));
    while (!pending.empty()) {
        Cell value = pending.back();
        pending.pop_back();
        TypeId type = cell::type_of(value);
        if (type == type_ids::op && op::wrapped_type(value) == type_ids::function) {
            value = function::record_cell(value, function::op_value_cell);
            type = type_ids::function;
        }
        if (type_ids::is_any_block(type) || type == type_ids::map) {
            if (!seen.insert(value.word2)) continue;
            on_series(value.word2, type);
            SeriesBuffer* buffer = node::buffer(value.word2);
            Cell const* const cells = buffer->head_cell();
            std::uint32_t const length = buffer->length();
            for (std::uint32_t i = 0; i < length; ++i) keep(cells[i]);
        } else if (type == type_ids::object) {
            NodeId const context = object::context_of(value);
            if (context == global || !seen_contexts.insert(context)) continue;
            if (context::is_on_stack(context) || !context::has_values(context)) continue;
            for (std::uint32_t i = 0; i < context::word_count(context); ++i) keep(*context::values_at(context, i));
        } else if (type == type_ids::function) {
            Cell const body = function::record_cell(value, function::body_cell);
            if (cell::type_of(body) == type_ids::block && seen_bodies.insert(body.word2)) on_body(body.word2);
            keep(function::spec_block(value));
            keep(body);
        }
    }
}

// Marks a block the walk meets as the library's code (a map's pair block is data, never evaluated).
void mark_series(NodeId series, TypeId type)
{
    if (type != type_ids::map) node::buffer(series)->flags |= series_flags::library;
}

// The bodies of the functions the global words' values reach, deeply (an object's functions, a function
// inside a block). With `mark`, marks the blocks on the way as mark_library does. Allocates nothing.
std::vector<NodeId> library_bodies(bool mark)
{
    std::vector<NodeId> bodies;
    walk_library(
        [mark](NodeId series, TypeId type) {
            if (mark) mark_series(series, type);
        },
        [&](NodeId body) { bodies.push_back(body); });
    return bodies;
}

// The global slot a word of a library body names, or -1 when it is not a global word.
std::int32_t global_slot(Cell const& cell)
{
    if (!type_ids::is_bindable(cell::type_of(cell)) || cell.word1 != context::global()) return -1;
    if (cell.word3 != word::unresolved) return static_cast<std::int32_t>(cell.word3);
    return context::find_word(cell.word1, cell.word2, true);
}

// rebind_library's work on the bodies found, and on the blocks nested in them (nested code and the bodies
// of functions made at run time), which the first scan finds along with the words set. May allocate.
void rebind_bodies(std::vector<NodeId> bodies)
{
    NodeId const global = context::global();
    std::uint32_t const slots = context::word_count(global);
    // By global slot (case variants share one): the words that stay live, the words read to be rebound, and
    // then each rebound word's slot in the context of the boot-time values.
    constexpr std::int32_t read = -3;
    constexpr std::int32_t live = -2;
    constexpr std::int32_t untouched = -1;
    std::vector<std::int32_t> slot_map(slots, untouched);
    // The words the bodies set stay live, and so does the one that names the system object.
    std::int32_t const system_slot = context::find_word(global, symbol::make("system"), true);
    if (system_slot >= 0) slot_map[static_cast<std::uint32_t>(system_slot)] = live;
    // The words the bodies set make their slots live, and so do words without a value yet and the typeset
    // words; the blocks nested in the bodies join them.
    NodeSet seen;
    for (NodeId body : bodies) seen.insert(body);
    for (std::size_t next = 0; next < bodies.size(); ++next) {
        SeriesBuffer* buffer = node::buffer(bodies[next]);
        Cell const* const cells = buffer->head_cell();
        std::uint32_t const length = buffer->length();
        for (std::uint32_t i = 0; i < length; ++i) {
            Cell const& cell = cells[i];
            TypeId const type = cell::type_of(cell);
            if (type_ids::is_any_block(type)) {
                if (seen.insert(cell.word2)) bodies.push_back(cell.word2);
                continue;
            }
            bool const sets = type == type_ids::set_word || type == type_ids::lit_word;
            if (!sets && type != type_ids::word && type != type_ids::get_word) continue;
            std::int32_t const slot = global_slot(cell);
            if (slot < 0) continue;
            std::int32_t& mapped = slot_map[static_cast<std::uint32_t>(slot)];
            if (sets) {
                mapped = live;
            } else if (mapped == untouched) {
                TypeId const held = cell::type_of(*context::values_at(global, static_cast<std::uint32_t>(slot)));
                mapped = held == type_ids::unset || held == type_ids::typeset ? live : read;
            }
        }
    }
    std::uint32_t const rebound = static_cast<std::uint32_t>(std::count(slot_map.begin(), slot_map.end(), read));
    if (rebound == 0) return;
    // The context of the boot-time values, owned by an object of its own; the words bound to it keep it.
    Rooted owner(unset_value);
    object::make_empty(*owner, rebound);
    NodeId const values = object::context_of(*owner);
    std::uint32_t const first = context::word_count(values);
    // The words read that stay are rebound in one more walk, their slots given in the order first met; the
    // slots are added after it, as adding allocates and the walk holds cells. Until then the rebound words
    // name slots still to come, which nothing reads: the collector marks a word's context, not its slot.
    std::vector<SymbolId> names;
    names.reserve(rebound);
    for (NodeId body : bodies) {
        SeriesBuffer* buffer = node::buffer(body);
        Cell* const cells = buffer->head_cell();
        std::uint32_t const length = buffer->length();
        for (std::uint32_t i = 0; i < length; ++i) {
            Cell& cell = cells[i];
            TypeId const type = cell::type_of(cell);
            if (type != type_ids::word && type != type_ids::get_word) continue;
            std::int32_t const slot = global_slot(cell);
            if (slot < 0) continue;
            std::int32_t& mapped = slot_map[static_cast<std::uint32_t>(slot)];
            if (mapped == read) {
                mapped = static_cast<std::int32_t>(names.size());
                names.push_back(cell.word2);
            }
            if (mapped < 0) continue;
            cell.word1 = values;
            cell.word3 = first + static_cast<std::uint32_t>(mapped);
        }
    }
    // Each name is a distinct global word: the slots follow the order of `names`.
    for (SymbolId name : names) {
        std::int32_t const slot = context::find_word(global, name, true);
        Cell const value = *context::values_at(global, static_cast<std::uint32_t>(slot));
        context::add_if_missing(values, Cell { type_ids::word, values, name, 0 }, value);
    }
    XOL_ASSERT(context::word_count(values) == first + names.size(), "boot: a rebound word added twice");
}

}

void mark_library()
{
    walk_library(mark_series, [](NodeId) {});
}

void rebind_library()
{
    rebind_bodies(library_bodies(false));
}

void run_library()
{
    std::span<SourceFile const> const sources = library_sources();
    // The image's blocks are the library's alone: its functions take their bodies rather than copies. An
    // error raised by a source ends the setting up as well.
    struct SettingUp {
        SettingUp() { series::library_state.setting_up = true; }
        ~SettingUp() { series::library_state.setting_up = false; }
        SettingUp(SettingUp const&) = delete;
        SettingUp& operator=(SettingUp const&) = delete;
    };
    std::optional<SettingUp> setting_up(std::in_place);
    for (std::size_t i = 1; i < sources.size(); ++i) {
        Rooted code(source_values(i));
        std::int32_t const start = after_header(*code);
        require(start >= 0, "boot: a library source starts with a header");
        evaluate_from(*code, static_cast<std::uint32_t>(start));
    }
    setting_up.reset();
    image_state.sources = none_value; // the blocks the library keeps stay reachable through it
    rebind_bodies(library_bodies(true)); // one walk marks and finds the bodies
}

Cell library_values()
{
    Rooted sources(unset_value);
    block::make_at(*sources, static_cast<std::int32_t>(library_sources().size()));
    for (SourceFile const& source : library_sources()) {
        Rooted values(load_source(source));
        block::rs_append(*sources, *values);
    }
    return *sources;
}

}
