// The natives table, filled at start-up in index order.

#include "interpreter/natives/natives.h"

#include "interpreter/natives/entries.h"

namespace xol::natives {

namespace {

constexpr Entry builtin_entries[builtin_count] = {
    if_, unless, either, any, all, while_,
    until, loop, repeat, forever, foreach, forall,
    remove_each, func, function, does, has, switch_,
    case_, do_, get, set, print, prin,
    equal_q, not_equal_q, strict_equal_q, lesser_q, greater_q, lesser_or_equal_q,
    greater_or_equal_q, same_q, not_, type_q, reduce, compose,
    stats, bind, in, parse, union_, intersect,
    unique, difference, exclude, complement_q, dehex, enhex,
    negative_q, positive_q, max, min, shift, to_hex,
    sine, cosine, tangent, arcsine, arccosine, arctangent,
    arctangent2, nan_q, log_2, log_10, log_e, exp,
    square_root, construct, value_q, try_, uppercase, lowercase,
    as_pair, as_point2d, as_point3d, as_money, break_, continue_,
    exit_, return_, throw_, catch_, extend, debase,
    to_local_file, wait, checksum, unset, new_line, new_line_q,
    enbase, context_q, set_env, get_env, list_env, now,
    sign_q, as, call, zero_q, size_q, browse,
    compress, decompress, recycle, transcode, apply,
};

}

void fill_table()
{
    for (Entry const entry : builtin_entries) state.entries[state.next_index++ - 1] = entry;
}

}
