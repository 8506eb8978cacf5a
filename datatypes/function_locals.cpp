// function!: the locals of the `function` native, collected from the body: every set-word, the words a
// foreach or remove-each sets, the counter of a repeat; never a word the spec already names, never a word
// listed after /extern, each name once in the order of its first appearance.

#include "datatypes/block.h"
#include "datatypes/function.h"
#include "datatypes/runtime_words.h"
#include "datatypes/symbol.h"
#include "datatypes/word.h"
#include "runtime/cycles.h"
#include "runtime/errors.h"
#include "runtime/roots.h"
#include "runtime/series.h"
#include "runtime/stack.h"

namespace xol::function {

namespace {

SymbolId canonical(Cell const& word)
{
    return symbol::resolve(word.word2);
}

bool is_named(Cell const& value, TypeId type, SymbolId name)
{
    return cell::type_of(value) == type && canonical(value) == symbol::resolve(name);
}

std::uint32_t length_of(Cell const& block)
{
    return node::buffer(block.word2)->length();
}
Cell cell_at(Cell const& block, std::uint32_t i)
{
    return node::buffer(block.word2)->head_cell()[i];
}

bool contains_name(Cell const& list, SymbolId name)
{
    SeriesBuffer* buffer = node::buffer(list.word2);
    for (Cell const* item = buffer->head_cell(); item < buffer->tail_cell(); ++item)
        if (word::is_any_word(cell::type_of(*item)) && canonical(*item) == name) return true;
    return false;
}

// A word! copy of the name goes into both lists unless the ignore list has it. May allocate.
void collect(Cell const& list, Cell const& ignore, Cell const& name)
{
    if (contains_name(ignore, canonical(name))) return;
    Cell copy = name;
    cell::set_type(copy, type_ids::word);
    cell::clear_new_line(copy);
    Rooted word(copy);
    block::rs_append(list, *word);
    block::rs_append(ignore, *word);
}

// The loop words whose next value names words the loop sets.
enum class Loop { None, Each, Repeat };

Loop loop_of(Cell const& value)
{
    if (cell::type_of(value) != type_ids::word) return Loop::None;
    SymbolId const name = canonical(value);
    if (name == symbol::resolve(words::symbol_of(words::Symbol::foreach))
        || name == symbol::resolve(words::symbol_of(words::Symbol::remove_each)))
        return Loop::Each;
    if (name == symbol::resolve(words::symbol_of(words::Symbol::repeat))) return Loop::Repeat;
    return Loop::None;
}

}

void collect_body_words(Cell const& given_list, Cell const& given_ignore, Cell const& given_body)
{
    Rooted list(given_list), ignore(given_ignore), body(given_body);
    // A body that holds itself is walked once.
    if (cycles::find(body->word2)) return;
    cycles::push(body->word2);
    struct Pop {
        ~Pop() { cycles::pop(); }
    } const pop;
    for (std::uint32_t i = body->word1; i < length_of(*body); ++i) {
        Rooted item(cell_at(*body, i));
        TypeId const type = cell::type_of(*item);
        if (type == type_ids::block || type == type_ids::paren) {
            collect_body_words(*list, *ignore, *item);
        } else if (type == type_ids::set_word) {
            collect(*list, *ignore, *item);
        } else if (Loop const loop = loop_of(*item); loop != Loop::None && i + 1 < length_of(*body)) {
            Rooted next(cell_at(*body, i + 1));
            TypeId const next_type = cell::type_of(*next);
            if (loop == Loop::Each && next_type == type_ids::block) {
                for (std::uint32_t j = next->word1; j < length_of(*next); ++j) {
                    Rooted name(cell_at(*next, j));
                    TypeId const name_type = cell::type_of(*name);
                    if (name_type == type_ids::word || name_type == type_ids::get_word
                        || name_type == type_ids::lit_word)
                        collect(*list, *ignore, *name);
                }
            } else if (next_type == type_ids::word || next_type == type_ids::set_word) {
                collect(*list, *ignore, *next);
            }
        }
    }
}

Cell collect_locals(Cell const& given_spec, Cell const& body)
{
    Rooted spec(given_spec);
    Rooted kept_body(body);
    Rooted locals(*block::push_new(8));
    Cell const* copied = block::clone(*spec, false, false);
    Rooted ignore(cell::make(type_ids::block, 0, copied->word2, 0));
    stack::pop(2);

    SymbolId const extern_name = words::refinement_of(words::RefinementWord::extern_).word2;
    SymbolId const local_name = words::refinement_of(words::RefinementWord::local).word2;
    bool has_extern = false;
    for (std::uint32_t i = spec->word1; i < length_of(*spec); ++i) {
        if (!is_named(cell_at(*spec, i), type_ids::refinement, extern_name)) continue;
        has_extern = true;
        std::uint32_t j = i + 1;
        while (j < length_of(*spec) && cell::type_of(cell_at(*spec, j)) == type_ids::word) ++j;
        if (j < length_of(*spec) && is_named(cell_at(*spec, j), type_ids::refinement, local_name)) {
            for (++j; j < length_of(*spec); ++j) {
                Rooted item(cell_at(*spec, j));
                if (cell::type_of(*item) == type_ids::word) block::rs_append(*locals, *item);
            }
        }
        block::rs_set_tail_at(*spec, i);
        break;
    }

    // The ignore list holds the spec's names as plain words.
    for (std::uint32_t i = 0; i < length_of(*ignore); ++i) {
        Cell& item = node::buffer(ignore->word2)->head_cell()[i];
        TypeId const type = cell::type_of(item);
        if (type == type_ids::set_word || type == type_ids::lit_word || type == type_ids::get_word
            || type == type_ids::refinement) {
            cell::set_type(item, type_ids::word);
        } else if (type != type_ids::word && type != type_ids::block && type != type_ids::string && has_extern) {
            fire_error(err::script::bad_func_extern, &item);
        }
    }

    collect_body_words(*locals, *ignore, *kept_body);

    if (length_of(*locals) > 0) {
        if (count_locals(spec->word2, spec->word1, true) < 0)
            block::rs_append(*spec, words::refinement_of(words::RefinementWord::local));
        for (std::uint32_t i = 0; i < length_of(*locals); ++i) {
            if (!is_named(cell_at(*locals, i), type_ids::word, local_name)) continue;
            Cell const removed = cell_at(*locals, i);
            block::remove_value(*locals, removed, true);
            break;
        }
        block::append_cells(*spec, *locals);
    }
    return *locals;
}

}
