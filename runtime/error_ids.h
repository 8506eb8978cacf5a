// The error ids a raise names, each looked up by its spelling in the catalogue (runtime/error_catalog.h)
// when the program is compiled: a misspelt id, or one the catalogue lacks, does not compile, and nothing
// but that look-up makes an ErrorId. To add an error, add its entry to the catalogue and its constant
// here, named by the mapping the rest of the code uses: category, then id, `-` read as `_`, a C++ keyword
// with a trailing `_` (script `out-of-range` is err::script::out_of_range).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "runtime/error_catalog.h"

namespace xol {

class ErrorId;
consteval ErrorId id_of(std::string_view category, std::string_view id);

// A catalogue position: the category's index and the id's position in it (from 2), read-only. A default
// ErrorId names no entry: it is the record of no error raised yet.
class ErrorId {
public:
    constexpr ErrorId() = default;
    constexpr std::uint8_t category() const { return m_category; }
    constexpr std::uint8_t position() const { return m_position; }
    constexpr std::int32_t code() const { return m_category * 100 + m_position - 2; }
    friend constexpr bool operator==(ErrorId, ErrorId) = default;

private:
    constexpr ErrorId(std::uint8_t category, std::uint8_t position)
        : m_category(category)
        , m_position(position)
    {
    }
    friend consteval ErrorId id_of(std::string_view, std::string_view);

    std::uint8_t m_category = 0;
    std::uint8_t m_position = 0;
};

namespace error_catalog {

// Called only when a compile-time look-up fails, so that the compiler names the fault in its error.
inline void no_such_entry_in_the_catalogue() { }
inline void template_is_not_one_string() { }

}

// The index of a category, by its spelling.
consteval std::uint8_t category_of(std::string_view name)
{
    for (std::uint32_t i = 0; i < error_catalog::category_count; ++i)
        if (error_catalog::categories[i].name == name) return static_cast<std::uint8_t>(i);
    error_catalog::no_such_entry_in_the_catalogue();
    return 0;
}

// The position of an id, by the spellings of its category and of the id.
consteval ErrorId id_of(std::string_view category, std::string_view id)
{
    std::uint8_t const category_position = category_of(category);
    std::span<error_catalog::Entry const> const ids = error_catalog::categories[category_position].ids;
    for (std::size_t i = 0; i < ids.size(); ++i)
        if (ids[i].id == id) return ErrorId(category_position, static_cast<std::uint8_t>(i + 2));
    error_catalog::no_such_entry_in_the_catalogue();
    return ErrorId();
}

namespace error_catalog {

// The entry of an id; nullptr for a default ErrorId.
constexpr Entry const* find(ErrorId error)
{
    if (error.category() >= category_count) return nullptr;
    std::span<Entry const> const ids = categories[error.category()].ids;
    if (error.position() < 2 || error.position() - 2u >= ids.size()) return nullptr;
    return &ids[error.position() - 2u];
}

// The text of a template written as one string, without its quotes; only such a template has one.
consteval std::string_view string_template_text(ErrorId error)
{
    std::string_view const source = find(error)->template_;
    if (source.size() < 2 || source.front() != '"' || source.back() != '"') template_is_not_one_string();
    return source.substr(1, source.size() - 2);
}

}

namespace err {

namespace throw_ {
inline constexpr std::uint8_t category = category_of("throw");
inline constexpr ErrorId break_ = id_of("throw", "break");
inline constexpr ErrorId return_ = id_of("throw", "return");
inline constexpr ErrorId throw_ = id_of("throw", "throw");
inline constexpr ErrorId continue_ = id_of("throw", "continue");
inline constexpr ErrorId while_cond = id_of("throw", "while-cond");
}

namespace note {
inline constexpr std::uint8_t category = category_of("note");
inline constexpr ErrorId no_load = id_of("note", "no-load");
}

namespace syntax {
inline constexpr std::uint8_t category = category_of("syntax");
inline constexpr ErrorId invalid = id_of("syntax", "invalid");
inline constexpr ErrorId missing = id_of("syntax", "missing");
inline constexpr ErrorId no_header = id_of("syntax", "no-header");
inline constexpr ErrorId no_rs_header = id_of("syntax", "no-rs-header");
inline constexpr ErrorId bad_header = id_of("syntax", "bad-header");
inline constexpr ErrorId malconstruct = id_of("syntax", "malconstruct");
inline constexpr ErrorId bad_char = id_of("syntax", "bad-char");
}

namespace script {
inline constexpr std::uint8_t category = category_of("script");
inline constexpr ErrorId no_value = id_of("script", "no-value");
inline constexpr ErrorId need_value = id_of("script", "need-value");
inline constexpr ErrorId not_defined = id_of("script", "not-defined");
inline constexpr ErrorId not_in_context = id_of("script", "not-in-context");
inline constexpr ErrorId no_arg = id_of("script", "no-arg");
inline constexpr ErrorId expect_arg = id_of("script", "expect-arg");
inline constexpr ErrorId expect_val = id_of("script", "expect-val");
inline constexpr ErrorId expect_type = id_of("script", "expect-type");
inline constexpr ErrorId cannot_use = id_of("script", "cannot-use");
inline constexpr ErrorId invalid_arg = id_of("script", "invalid-arg");
inline constexpr ErrorId invalid_type = id_of("script", "invalid-type");
inline constexpr ErrorId invalid_type_spec = id_of("script", "invalid-type-spec");
inline constexpr ErrorId invalid_key_type = id_of("script", "invalid-key-type");
inline constexpr ErrorId invalid_op = id_of("script", "invalid-op");
inline constexpr ErrorId no_op_arg = id_of("script", "no-op-arg");
inline constexpr ErrorId bad_op_spec = id_of("script", "bad-op-spec");
inline constexpr ErrorId invalid_data = id_of("script", "invalid-data");
inline constexpr ErrorId invalid_part = id_of("script", "invalid-part");
inline constexpr ErrorId not_same_type = id_of("script", "not-same-type");
inline constexpr ErrorId not_same_class = id_of("script", "not-same-class");
inline constexpr ErrorId not_related = id_of("script", "not-related");
inline constexpr ErrorId bad_func_def = id_of("script", "bad-func-def");
inline constexpr ErrorId bad_func_arg = id_of("script", "bad-func-arg");
inline constexpr ErrorId bad_func_extern = id_of("script", "bad-func-extern");
inline constexpr ErrorId no_refine = id_of("script", "no-refine");
inline constexpr ErrorId bad_refines = id_of("script", "bad-refines");
inline constexpr ErrorId bad_refine = id_of("script", "bad-refine");
inline constexpr ErrorId dup_refine = id_of("script", "dup-refine");
inline constexpr ErrorId word_first = id_of("script", "word-first");
inline constexpr ErrorId empty_path = id_of("script", "empty-path");
inline constexpr ErrorId unset_path = id_of("script", "unset-path");
inline constexpr ErrorId invalid_path = id_of("script", "invalid-path");
inline constexpr ErrorId invalid_path_set = id_of("script", "invalid-path-set");
inline constexpr ErrorId invalid_path_get = id_of("script", "invalid-path-get");
inline constexpr ErrorId bad_path_type = id_of("script", "bad-path-type");
inline constexpr ErrorId bad_path_type2 = id_of("script", "bad-path-type2");
inline constexpr ErrorId bad_path_set = id_of("script", "bad-path-set");
inline constexpr ErrorId bad_field_set = id_of("script", "bad-field-set");
inline constexpr ErrorId dup_vars = id_of("script", "dup-vars");
inline constexpr ErrorId past_end = id_of("script", "past-end");
inline constexpr ErrorId missing_arg = id_of("script", "missing-arg");
inline constexpr ErrorId out_of_range = id_of("script", "out-of-range");
inline constexpr ErrorId invalid_chars = id_of("script", "invalid-chars");
inline constexpr ErrorId invalid_compare = id_of("script", "invalid-compare");
inline constexpr ErrorId wrong_type = id_of("script", "wrong-type");
inline constexpr ErrorId invalid_refine_arg = id_of("script", "invalid-refine-arg");
inline constexpr ErrorId type_limit = id_of("script", "type-limit");
inline constexpr ErrorId size_limit = id_of("script", "size-limit");
inline constexpr ErrorId no_return = id_of("script", "no-return");
inline constexpr ErrorId throw_usage = id_of("script", "throw-usage");
inline constexpr ErrorId locked_word = id_of("script", "locked-word");
inline constexpr ErrorId protected_ = id_of("script", "protected");
inline constexpr ErrorId bad_bad = id_of("script", "bad-bad");
inline constexpr ErrorId bad_make_arg = id_of("script", "bad-make-arg");
inline constexpr ErrorId bad_to_arg = id_of("script", "bad-to-arg");
inline constexpr ErrorId invalid_months = id_of("script", "invalid-months");
inline constexpr ErrorId invalid_spec_field = id_of("script", "invalid-spec-field");
inline constexpr ErrorId missing_spec_field = id_of("script", "missing-spec-field");
inline constexpr ErrorId move_bad = id_of("script", "move-bad");
inline constexpr ErrorId too_long = id_of("script", "too-long");
inline constexpr ErrorId invalid_char = id_of("script", "invalid-char");
inline constexpr ErrorId bad_loop_series = id_of("script", "bad-loop-series");
inline constexpr ErrorId wrong_denom = id_of("script", "wrong-denom");
inline constexpr ErrorId bad_denom = id_of("script", "bad-denom");
inline constexpr ErrorId invalid_obj_evt = id_of("script", "invalid-obj-evt");
inline constexpr ErrorId parse_rule = id_of("script", "parse-rule");
inline constexpr ErrorId parse_end = id_of("script", "parse-end");
inline constexpr ErrorId parse_invalid_ref = id_of("script", "parse-invalid-ref");
inline constexpr ErrorId parse_block = id_of("script", "parse-block");
inline constexpr ErrorId parse_unsupported = id_of("script", "parse-unsupported");
inline constexpr ErrorId parse_infinite = id_of("script", "parse-infinite");
inline constexpr ErrorId parse_stack = id_of("script", "parse-stack");
inline constexpr ErrorId parse_keep = id_of("script", "parse-keep");
inline constexpr ErrorId parse_into_bad = id_of("script", "parse-into-bad");
inline constexpr ErrorId parse_into_type = id_of("script", "parse-into-type");
inline constexpr ErrorId draw_invalid = id_of("script", "draw-invalid");
inline constexpr ErrorId draw_infinite = id_of("script", "draw-infinite");
inline constexpr ErrorId invalid_data_facet = id_of("script", "invalid-data-facet");
inline constexpr ErrorId face_type = id_of("script", "face-type");
inline constexpr ErrorId not_window = id_of("script", "not-window");
inline constexpr ErrorId bad_window = id_of("script", "bad-window");
inline constexpr ErrorId not_linked = id_of("script", "not-linked");
inline constexpr ErrorId not_event_type = id_of("script", "not-event-type");
inline constexpr ErrorId invalid_facet_type = id_of("script", "invalid-facet-type");
inline constexpr ErrorId vid_invalid_syntax = id_of("script", "vid-invalid-syntax");
inline constexpr ErrorId rtd_invalid_syntax = id_of("script", "rtd-invalid-syntax");
inline constexpr ErrorId rtd_no_match = id_of("script", "rtd-no-match");
inline constexpr ErrorId react_bad_func = id_of("script", "react-bad-func");
inline constexpr ErrorId react_not_enough = id_of("script", "react-not-enough");
inline constexpr ErrorId react_no_match = id_of("script", "react-no-match");
inline constexpr ErrorId react_bad_obj = id_of("script", "react-bad-obj");
inline constexpr ErrorId react_gctx = id_of("script", "react-gctx");
inline constexpr ErrorId lib_invalid_arg = id_of("script", "lib-invalid-arg");
inline constexpr ErrorId xb_invalid_record = id_of("script", "xb-invalid-record");
}

namespace math {
inline constexpr std::uint8_t category = category_of("math");
inline constexpr ErrorId zero_divide = id_of("math", "zero-divide");
inline constexpr ErrorId overflow = id_of("math", "overflow");
inline constexpr ErrorId positive = id_of("math", "positive");
}

namespace access {
inline constexpr std::uint8_t category = category_of("access");
inline constexpr ErrorId cannot_open = id_of("access", "cannot-open");
inline constexpr ErrorId cannot_close = id_of("access", "cannot-close");
inline constexpr ErrorId invalid_utf8 = id_of("access", "invalid-utf8");
inline constexpr ErrorId not_open = id_of("access", "not-open");
inline constexpr ErrorId no_connect = id_of("access", "no-connect");
inline constexpr ErrorId no_scheme = id_of("access", "no-scheme");
inline constexpr ErrorId unknown_scheme = id_of("access", "unknown-scheme");
inline constexpr ErrorId invalid_spec = id_of("access", "invalid-spec");
inline constexpr ErrorId invalid_port = id_of("access", "invalid-port");
inline constexpr ErrorId invalid_actor = id_of("access", "invalid-actor");
inline constexpr ErrorId no_port_action = id_of("access", "no-port-action");
inline constexpr ErrorId no_create = id_of("access", "no-create");
inline constexpr ErrorId no_codec = id_of("access", "no-codec");
inline constexpr ErrorId bad_media = id_of("access", "bad-media");
inline constexpr ErrorId invalid_cmd = id_of("access", "invalid-cmd");
}

namespace reserved1 {
inline constexpr std::uint8_t category = category_of("reserved1");
}

namespace reserved2 {
inline constexpr std::uint8_t category = category_of("reserved2");
}

namespace user {
inline constexpr std::uint8_t category = category_of("user");
inline constexpr ErrorId message = id_of("user", "message");
}

namespace internal {
inline constexpr std::uint8_t category = category_of("internal");
inline constexpr ErrorId bad_path = id_of("internal", "bad-path");
inline constexpr ErrorId not_here = id_of("internal", "not-here");
inline constexpr ErrorId no_memory = id_of("internal", "no-memory");
inline constexpr ErrorId wrong_mem = id_of("internal", "wrong-mem");
inline constexpr ErrorId stack_overflow = id_of("internal", "stack-overflow");
inline constexpr ErrorId limit_hit = id_of("internal", "limit-hit");
inline constexpr ErrorId too_deep = id_of("internal", "too-deep");
inline constexpr ErrorId no_cycle = id_of("internal", "no-cycle");
inline constexpr ErrorId feature_na = id_of("internal", "feature-na");
inline constexpr ErrorId not_done = id_of("internal", "not-done");
inline constexpr ErrorId invalid_error = id_of("internal", "invalid-error");
inline constexpr ErrorId routines = id_of("internal", "routines");
inline constexpr ErrorId xol_system = id_of("internal", "xol-system");
inline constexpr ErrorId deprecated = id_of("internal", "deprecated");
}

}

}
