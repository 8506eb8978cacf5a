// The natives that read, write and bind words: get, set, type?, bind and in.

#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/function.h"
#include "datatypes/none.h"
#include "datatypes/object.h"
#include "datatypes/registry.h"
#include "datatypes/runtime_words.h"
#include "datatypes/series.h"
#include "datatypes/word.h"
#include "interpreter/evaluator.h"
#include "interpreter/natives/entries.h"
#include "interpreter/natives/loops.h"
#include "interpreter/natives/natives.h"
#include "runtime/errors.h"
#include "runtime/roots.h"
#include "runtime/stack.h"
#include "runtime/type_families.h"

namespace xol::natives {

namespace {

// The context a value stands for: a word's own, an object's, a function's. no_node for any other value.
NodeId context_of(Cell const& holder)
{
    TypeId const type = cell::type_of(holder);
    if (word::is_any_word(type)) return word::context_of(holder);
    if (type_ids::is_object(type)) return object::context_of(holder);
    if (type_ids::is_context_function(type)) return function::context_of(holder);
    return no_node;
}

}

void get(std::int32_t const* refinements)
{
    bool const any = refinements[0] >= 0;
    bool const case_sensitive = refinements[1] >= 0;
    Cell* const base = stack::state.base;
    TypeId const type = cell::type_of(base[0]);
    if (type_ids::is_path(type)) {
        interp::eval_path_alone(base[0], interp::PathMode::Get, case_sensitive);
        stack::set_only_result(stack::state.top[-1]);
        return;
    }
    if (type == type_ids::object) {
        stack::set_only_result(object::reflect(base[0], words::symbol_of(words::Symbol::values)));
        return;
    }
    Cell const value = *word::get_value(base[0]);
    if (!any && cell::type_of(value) == type_ids::unset) fire_error(err::script::no_value, &base[0]);
    stack::set_only_result(value);
}

void set(std::int32_t const* refinements)
{
    bool const any = refinements[0] >= 0;
    bool const case_sensitive = refinements[1] >= 0;
    bool const only = refinements[2] >= 0;
    bool const some = refinements[3] >= 0;
    Cell* const base = stack::state.base;
    if (!any && cell::type_of(base[1]) == type_ids::unset) fire_error(err::script::need_value, &base[0]);
    TypeId const type = cell::type_of(base[0]);
    if (type_ids::is_path(type)) {
        // A path write takes its new value from the arguments base.
        Rooted path(base[0]);
        base[0] = base[1];
        interp::eval_path_alone(*path, interp::PathMode::Set, case_sensitive);
    } else if (type == type_ids::object) {
        object::set_fields(base[0], base[1], any, only, some);
    } else if (type == type_ids::block) {
        stack::push_native_frame(words::word_of(words::Word::anon));
        set_many(base[0], base[1], static_cast<std::int32_t>(series::length_of(base[0])), any, only, some);
        stack::pop_frame_empty();
    } else {
        word::set(base[0], base[1]);
    }
    stack::set_only_result(base[1]);
}

void type_q(std::int32_t const* refinements)
{
    TypeId const type = cell::type_of(*stack::state.base);
    if (refinements[0] < 0) {
        stack::set_only_result(datatype::make(type));
        return;
    }
    stack::set_only_result(word::make(datatype::registry.types[type].word));
}

void bind(std::int32_t const* refinements)
{
    bool const copy = refinements[0] >= 0;
    Cell* const base = stack::state.base;
    if (context_of(base[1]) == no_node) fire_error(err::script::not_in_context, &base[1]);
    if (cell::type_of(base[0]) != type_ids::block) {
        // A word the context lacks comes back as it was.
        context::bind_word(context_of(base[1]), base[0]);
        stack::keep_first();
        return;
    }
    // The copy is made first: making it may move the context's node.
    Cell* const target = copy ? block::clone(base[0], true, true) : &base[0];
    NodeId const context = context_of(base[1]);
    context::bind_block(*target, context, context::kind_of(context) == context::Kind::Object);
    stack::set_only_result(*target);
}

void in(std::int32_t const*)
{
    Cell* const base = stack::state.base;
    TypeId const type = cell::type_of(base[1]);
    if (type == type_ids::block || type == type_ids::paren) {
        stack::keep_first();
        return;
    }
    NodeId const context = context_of(base[0]);
    if (!word::is_bindable(type) || context == no_node || context::bind_word(context, base[1]) < 0) {
        stack::set_only_result(none_value);
        return;
    }
    if (type == type_ids::refinement) cell::set_type(base[1], type_ids::word);
    stack::set_only_result(base[1]);
}

}
