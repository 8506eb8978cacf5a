// The natives table: one row per built-in native, in index order (row i is native i + 1), each the
// native's language name, its entry and whether it tests its arguments for a caller that has not. The one
// list of the natives: start-up refuses a spec of library/boot.xol whose name is not its row's, and code
// that needs a native's index asks index_of at compile time.
#pragma once

#include <cstdint>
#include <iterator>
#include <string_view>

#include "interpreter/natives/entries.h"
#include "interpreter/natives/natives.h"

namespace xol::natives {

// Whether call_checked tests the argument cells against the native's spec before the entry runs. A native
// whose spec takes any value or no argument needs no test, nor one still to come (entry not_yet_built).
enum class ArgumentCheck { None, Spec };

struct Row {
    std::string_view name; // the language name, as the native's spec names it
    Entry entry;
    ArgumentCheck check;
};

inline constexpr Row rows[] = {
    { "if", if_, ArgumentCheck::Spec },
    { "unless", unless, ArgumentCheck::Spec },
    { "either", either, ArgumentCheck::Spec },
    { "any", any, ArgumentCheck::Spec },
    { "all", all, ArgumentCheck::Spec },
    { "while", while_, ArgumentCheck::Spec },
    { "until", until, ArgumentCheck::Spec },
    { "loop", loop, ArgumentCheck::Spec },
    { "repeat", repeat, ArgumentCheck::Spec },
    { "forever", forever, ArgumentCheck::Spec },
    { "foreach", foreach, ArgumentCheck::Spec },
    { "forall", forall, ArgumentCheck::Spec },
    { "remove-each", remove_each, ArgumentCheck::Spec },
    { "func", func, ArgumentCheck::Spec },
    { "function", function, ArgumentCheck::Spec },
    { "does", does, ArgumentCheck::Spec },
    { "has", has, ArgumentCheck::Spec },
    { "switch", switch_, ArgumentCheck::Spec },
    { "case", case_, ArgumentCheck::Spec },
    { "do", do_, ArgumentCheck::Spec },
    { "get", get, ArgumentCheck::Spec },
    { "set", set, ArgumentCheck::Spec },
    { "print", print, ArgumentCheck::None },
    { "prin", prin, ArgumentCheck::Spec },
    { "equal?", equal_q, ArgumentCheck::None },
    { "not-equal?", not_equal_q, ArgumentCheck::None },
    { "strict-equal?", strict_equal_q, ArgumentCheck::None },
    { "lesser?", lesser_q, ArgumentCheck::None },
    { "greater?", greater_q, ArgumentCheck::None },
    { "lesser-or-equal?", lesser_or_equal_q, ArgumentCheck::None },
    { "greater-or-equal?", greater_or_equal_q, ArgumentCheck::None },
    { "same?", same_q, ArgumentCheck::None },
    { "not", not_, ArgumentCheck::None },
    { "type?", type_q, ArgumentCheck::Spec },
    { "reduce", reduce, ArgumentCheck::Spec },
    { "compose", compose, ArgumentCheck::Spec },
    { "stats", stats, ArgumentCheck::Spec },
    { "bind", bind, ArgumentCheck::Spec },
    { "in", in, ArgumentCheck::Spec },
    { "parse", parse, ArgumentCheck::Spec },
    { "union", union_, ArgumentCheck::Spec },
    { "intersect", intersect, ArgumentCheck::Spec },
    { "unique", unique, ArgumentCheck::Spec },
    { "difference", difference, ArgumentCheck::Spec },
    { "exclude", exclude, ArgumentCheck::Spec },
    { "complement?", complement_q, ArgumentCheck::None },
    { "dehex", dehex, ArgumentCheck::Spec },
    { "enhex", enhex, ArgumentCheck::Spec },
    { "negative?", negative_q, ArgumentCheck::Spec },
    { "positive?", positive_q, ArgumentCheck::Spec },
    { "max", max, ArgumentCheck::Spec },
    { "min", min, ArgumentCheck::Spec },
    { "shift", shift, ArgumentCheck::Spec },
    { "to-hex", to_hex, ArgumentCheck::Spec },
    { "sine", sine, ArgumentCheck::Spec },
    { "cosine", cosine, ArgumentCheck::Spec },
    { "tangent", tangent, ArgumentCheck::Spec },
    { "arcsine", arcsine, ArgumentCheck::Spec },
    { "arccosine", arccosine, ArgumentCheck::Spec },
    { "arctangent", arctangent, ArgumentCheck::Spec },
    { "arctangent2", arctangent2, ArgumentCheck::Spec },
    { "NaN?", nan_q, ArgumentCheck::Spec },
    { "log-2", log_2, ArgumentCheck::Spec },
    { "log-10", log_10, ArgumentCheck::Spec },
    { "log-e", log_e, ArgumentCheck::Spec },
    { "exp", exp, ArgumentCheck::Spec },
    { "square-root", square_root, ArgumentCheck::Spec },
    { "construct", construct, ArgumentCheck::Spec },
    { "value?", value_q, ArgumentCheck::Spec },
    { "try", try_, ArgumentCheck::Spec },
    { "uppercase", uppercase, ArgumentCheck::Spec },
    { "lowercase", lowercase, ArgumentCheck::Spec },
    { "as-pair", as_pair, ArgumentCheck::Spec },
    { "as-point2D", as_point2d, ArgumentCheck::Spec },
    { "as-point3D", as_point3d, ArgumentCheck::Spec },
    { "as-money", as_money, ArgumentCheck::Spec },
    { "break", break_, ArgumentCheck::Spec },
    { "continue", continue_, ArgumentCheck::None },
    { "exit", exit_, ArgumentCheck::None },
    { "return", return_, ArgumentCheck::Spec },
    { "throw", throw_, ArgumentCheck::Spec },
    { "catch", catch_, ArgumentCheck::Spec },
    { "extend", extend, ArgumentCheck::Spec },
    { "debase", debase, ArgumentCheck::Spec },
    { "to-local-file", to_local_file, ArgumentCheck::Spec },
    { "wait", wait, ArgumentCheck::Spec },
    { "checksum", checksum, ArgumentCheck::Spec },
    { "unset", unset, ArgumentCheck::Spec },
    { "new-line", new_line, ArgumentCheck::Spec },
    { "new-line?", new_line_q, ArgumentCheck::Spec },
    { "enbase", enbase, ArgumentCheck::Spec },
    { "context?", context_q, ArgumentCheck::Spec },
    { "set-env", set_env, ArgumentCheck::Spec },
    { "get-env", get_env, ArgumentCheck::Spec },
    { "list-env", list_env, ArgumentCheck::Spec },
    { "now", now, ArgumentCheck::Spec },
    { "sign?", sign_q, ArgumentCheck::Spec },
    { "as", as, ArgumentCheck::Spec },
    { "call", call, ArgumentCheck::Spec },
    { "zero?", zero_q, ArgumentCheck::Spec },
    { "size?", size_q, ArgumentCheck::None },
    { "browse", browse, ArgumentCheck::Spec },
    { "compress", compress, ArgumentCheck::Spec },
    { "decompress", decompress, ArgumentCheck::Spec },
    { "recycle", recycle, ArgumentCheck::None },
    { "transcode", transcode, ArgumentCheck::Spec },
    { "apply", apply, ArgumentCheck::Spec },
};

inline constexpr std::int32_t builtin_count = static_cast<std::int32_t>(std::size(rows));
static_assert(builtin_count <= table_size, "the natives table has a slot for every built-in native");

// The index of the native named `name`, at compile time: a name without a row stops the build.
consteval std::int32_t index_of(std::string_view name)
{
    for (std::size_t i = 0; i < std::size(rows); ++i)
        if (rows[i].name == name) return static_cast<std::int32_t>(i + 1);
    throw "no native has that name";
}

consteval bool names_are_distinct()
{
    for (std::size_t i = 0; i < std::size(rows); ++i)
        for (std::size_t j = 0; j < i; ++j)
            if (rows[j].name == rows[i].name) return false;
    return true;
}
static_assert(names_are_distinct(), "every row has a name of its own");

}
