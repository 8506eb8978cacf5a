// The error catalogue's categories and ids by position: a raise names its error by these constants.
// Positions count as the catalogue does: categories from 0, ids from 2 within their category (0 and 1
// are the category's `code` and `type` fields). An error's code is category x 100 + id position - 2.
#pragma once

#include <cstdint>

namespace xol {

struct ErrorId {
    std::uint8_t category;
    std::uint8_t id;

    constexpr std::int32_t code() const { return category * 100 + id - 2; }
    friend constexpr bool operator==(ErrorId, ErrorId) = default;
};

namespace err {

namespace throw_ {
inline constexpr std::uint8_t category = 0;
inline constexpr ErrorId break_ { 0, 2 };
inline constexpr ErrorId return_ { 0, 3 };
inline constexpr ErrorId throw_ { 0, 4 };
inline constexpr ErrorId continue_ { 0, 5 };
inline constexpr ErrorId while_cond { 0, 6 };
}

namespace note {
inline constexpr std::uint8_t category = 1;
inline constexpr ErrorId no_load { 1, 2 };
}

namespace syntax {
inline constexpr std::uint8_t category = 2;
inline constexpr ErrorId invalid { 2, 2 };
inline constexpr ErrorId missing { 2, 3 };
inline constexpr ErrorId no_header { 2, 4 };
inline constexpr ErrorId no_rs_header { 2, 5 };
inline constexpr ErrorId bad_header { 2, 6 };
inline constexpr ErrorId malconstruct { 2, 7 };
inline constexpr ErrorId bad_char { 2, 8 };
}

namespace script {
inline constexpr std::uint8_t category = 3;
inline constexpr ErrorId no_value { 3, 2 };
inline constexpr ErrorId need_value { 3, 3 };
inline constexpr ErrorId not_defined { 3, 4 };
inline constexpr ErrorId not_in_context { 3, 5 };
inline constexpr ErrorId no_arg { 3, 6 };
inline constexpr ErrorId expect_arg { 3, 7 };
inline constexpr ErrorId expect_val { 3, 8 };
inline constexpr ErrorId expect_type { 3, 9 };
inline constexpr ErrorId cannot_use { 3, 10 };
inline constexpr ErrorId invalid_arg { 3, 11 };
inline constexpr ErrorId invalid_type { 3, 12 };
inline constexpr ErrorId invalid_type_spec { 3, 13 };
inline constexpr ErrorId invalid_key_type { 3, 14 };
inline constexpr ErrorId invalid_op { 3, 15 };
inline constexpr ErrorId no_op_arg { 3, 16 };
inline constexpr ErrorId bad_op_spec { 3, 17 };
inline constexpr ErrorId invalid_data { 3, 18 };
inline constexpr ErrorId invalid_part { 3, 19 };
inline constexpr ErrorId not_same_type { 3, 20 };
inline constexpr ErrorId not_same_class { 3, 21 };
inline constexpr ErrorId not_related { 3, 22 };
inline constexpr ErrorId bad_func_def { 3, 23 };
inline constexpr ErrorId bad_func_arg { 3, 24 };
inline constexpr ErrorId bad_func_extern { 3, 25 };
inline constexpr ErrorId no_refine { 3, 26 };
inline constexpr ErrorId bad_refines { 3, 27 };
inline constexpr ErrorId bad_refine { 3, 28 };
inline constexpr ErrorId dup_refine { 3, 29 };
inline constexpr ErrorId word_first { 3, 30 };
inline constexpr ErrorId empty_path { 3, 31 };
inline constexpr ErrorId unset_path { 3, 32 };
inline constexpr ErrorId invalid_path { 3, 33 };
inline constexpr ErrorId invalid_path_set { 3, 34 };
inline constexpr ErrorId invalid_path_get { 3, 35 };
inline constexpr ErrorId bad_path_type { 3, 36 };
inline constexpr ErrorId bad_path_type2 { 3, 37 };
inline constexpr ErrorId bad_path_set { 3, 38 };
inline constexpr ErrorId bad_field_set { 3, 39 };
inline constexpr ErrorId dup_vars { 3, 40 };
inline constexpr ErrorId past_end { 3, 41 };
inline constexpr ErrorId missing_arg { 3, 42 };
inline constexpr ErrorId out_of_range { 3, 43 };
inline constexpr ErrorId invalid_chars { 3, 44 };
inline constexpr ErrorId invalid_compare { 3, 45 };
inline constexpr ErrorId wrong_type { 3, 46 };
inline constexpr ErrorId invalid_refine_arg { 3, 47 };
inline constexpr ErrorId type_limit { 3, 48 };
inline constexpr ErrorId size_limit { 3, 49 };
inline constexpr ErrorId no_return { 3, 50 };
inline constexpr ErrorId throw_usage { 3, 51 };
inline constexpr ErrorId locked_word { 3, 52 };
inline constexpr ErrorId protected_ { 3, 53 };
inline constexpr ErrorId bad_bad { 3, 54 };
inline constexpr ErrorId bad_make_arg { 3, 55 };
inline constexpr ErrorId bad_to_arg { 3, 56 };
inline constexpr ErrorId invalid_months { 3, 57 };
inline constexpr ErrorId invalid_spec_field { 3, 58 };
inline constexpr ErrorId missing_spec_field { 3, 59 };
inline constexpr ErrorId move_bad { 3, 60 };
inline constexpr ErrorId too_long { 3, 61 };
inline constexpr ErrorId invalid_char { 3, 62 };
inline constexpr ErrorId bad_loop_series { 3, 63 };
inline constexpr ErrorId wrong_denom { 3, 64 };
inline constexpr ErrorId bad_denom { 3, 65 };
inline constexpr ErrorId invalid_obj_evt { 3, 66 };
inline constexpr ErrorId parse_rule { 3, 67 };
inline constexpr ErrorId parse_end { 3, 68 };
inline constexpr ErrorId parse_invalid_ref { 3, 69 };
inline constexpr ErrorId parse_block { 3, 70 };
inline constexpr ErrorId parse_unsupported { 3, 71 };
inline constexpr ErrorId parse_infinite { 3, 72 };
inline constexpr ErrorId parse_stack { 3, 73 };
inline constexpr ErrorId parse_keep { 3, 74 };
inline constexpr ErrorId parse_into_bad { 3, 75 };
inline constexpr ErrorId parse_into_type { 3, 76 };
inline constexpr ErrorId draw_invalid { 3, 77 };
inline constexpr ErrorId draw_infinite { 3, 78 };
inline constexpr ErrorId invalid_data_facet { 3, 79 };
inline constexpr ErrorId face_type { 3, 80 };
inline constexpr ErrorId not_window { 3, 81 };
inline constexpr ErrorId bad_window { 3, 82 };
inline constexpr ErrorId not_linked { 3, 83 };
inline constexpr ErrorId not_event_type { 3, 84 };
inline constexpr ErrorId invalid_facet_type { 3, 85 };
inline constexpr ErrorId vid_invalid_syntax { 3, 86 };
inline constexpr ErrorId rtd_invalid_syntax { 3, 87 };
inline constexpr ErrorId rtd_no_match { 3, 88 };
inline constexpr ErrorId react_bad_func { 3, 89 };
inline constexpr ErrorId react_not_enough { 3, 90 };
inline constexpr ErrorId react_no_match { 3, 91 };
inline constexpr ErrorId react_bad_obj { 3, 92 };
inline constexpr ErrorId react_gctx { 3, 93 };
inline constexpr ErrorId lib_invalid_arg { 3, 94 };
inline constexpr ErrorId xb_invalid_record { 3, 95 };
}

namespace math {
inline constexpr std::uint8_t category = 4;
inline constexpr ErrorId zero_divide { 4, 2 };
inline constexpr ErrorId overflow { 4, 3 };
inline constexpr ErrorId positive { 4, 4 };
}

namespace access {
inline constexpr std::uint8_t category = 5;
inline constexpr ErrorId cannot_open { 5, 2 };
inline constexpr ErrorId cannot_close { 5, 3 };
inline constexpr ErrorId invalid_utf8 { 5, 4 };
inline constexpr ErrorId not_open { 5, 5 };
inline constexpr ErrorId no_connect { 5, 6 };
inline constexpr ErrorId no_scheme { 5, 7 };
inline constexpr ErrorId unknown_scheme { 5, 8 };
inline constexpr ErrorId invalid_spec { 5, 9 };
inline constexpr ErrorId invalid_port { 5, 10 };
inline constexpr ErrorId invalid_actor { 5, 11 };
inline constexpr ErrorId no_port_action { 5, 12 };
inline constexpr ErrorId no_create { 5, 13 };
inline constexpr ErrorId no_codec { 5, 14 };
inline constexpr ErrorId bad_media { 5, 15 };
inline constexpr ErrorId invalid_cmd { 5, 16 };
}

namespace reserved1 {
inline constexpr std::uint8_t category = 6;
}

namespace reserved2 {
inline constexpr std::uint8_t category = 7;
}

namespace user {
inline constexpr std::uint8_t category = 8;
inline constexpr ErrorId message { 8, 2 };
}

namespace internal {
inline constexpr std::uint8_t category = 9;
inline constexpr ErrorId bad_path { 9, 2 };
inline constexpr ErrorId not_here { 9, 3 };
inline constexpr ErrorId no_memory { 9, 4 };
inline constexpr ErrorId wrong_mem { 9, 5 };
inline constexpr ErrorId stack_overflow { 9, 6 };
inline constexpr ErrorId limit_hit { 9, 7 };
inline constexpr ErrorId too_deep { 9, 8 };
inline constexpr ErrorId no_cycle { 9, 9 };
inline constexpr ErrorId feature_na { 9, 10 };
inline constexpr ErrorId not_done { 9, 11 };
inline constexpr ErrorId invalid_error { 9, 12 };
inline constexpr ErrorId routines { 9, 13 };
inline constexpr ErrorId xol_system { 9, 14 };
inline constexpr ErrorId deprecated { 9, 15 };
}

}

}
