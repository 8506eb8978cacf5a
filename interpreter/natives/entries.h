// The entries of the 107 natives, in index order. Each has the shape of natives::Entry; the natives that
// come with later modules raise internal not-done until then (not_yet_built.cpp).
#pragma once

#include <cstdint>

namespace xol::natives {

void if_(bool check, std::int32_t const* refinements); // 1
void unless(bool check, std::int32_t const* refinements); // 2
void either(bool check, std::int32_t const* refinements); // 3
void any(bool check, std::int32_t const* refinements); // 4
void all(bool check, std::int32_t const* refinements); // 5
void while_(bool check, std::int32_t const* refinements); // 6
void until(bool check, std::int32_t const* refinements); // 7
void loop(bool check, std::int32_t const* refinements); // 8
void repeat(bool check, std::int32_t const* refinements); // 9
void forever(bool check, std::int32_t const* refinements); // 10
void foreach (bool check, std::int32_t const* refinements); // 11
void forall(bool check, std::int32_t const* refinements); // 12
void remove_each(bool check, std::int32_t const* refinements); // 13
void func(bool check, std::int32_t const* refinements); // 14
void function(bool check, std::int32_t const* refinements); // 15
void does(bool check, std::int32_t const* refinements); // 16
void has(bool check, std::int32_t const* refinements); // 17
void switch_(bool check, std::int32_t const* refinements); // 18
void case_(bool check, std::int32_t const* refinements); // 19
void do_(bool check, std::int32_t const* refinements); // 20
void get(bool check, std::int32_t const* refinements); // 21
void set(bool check, std::int32_t const* refinements); // 22
void print(bool check, std::int32_t const* refinements); // 23
void prin(bool check, std::int32_t const* refinements); // 24
void equal_q(bool check, std::int32_t const* refinements); // 25
void not_equal_q(bool check, std::int32_t const* refinements); // 26
void strict_equal_q(bool check, std::int32_t const* refinements); // 27
void lesser_q(bool check, std::int32_t const* refinements); // 28
void greater_q(bool check, std::int32_t const* refinements); // 29
void lesser_or_equal_q(bool check, std::int32_t const* refinements); // 30
void greater_or_equal_q(bool check, std::int32_t const* refinements); // 31
void same_q(bool check, std::int32_t const* refinements); // 32
void not_(bool check, std::int32_t const* refinements); // 33
void type_q(bool check, std::int32_t const* refinements); // 34
void reduce(bool check, std::int32_t const* refinements); // 35
void compose(bool check, std::int32_t const* refinements); // 36
void stats(bool check, std::int32_t const* refinements); // 37
void bind(bool check, std::int32_t const* refinements); // 38
void in(bool check, std::int32_t const* refinements); // 39
void parse(bool check, std::int32_t const* refinements); // 40
void union_(bool check, std::int32_t const* refinements); // 41
void intersect(bool check, std::int32_t const* refinements); // 42
void unique(bool check, std::int32_t const* refinements); // 43
void difference(bool check, std::int32_t const* refinements); // 44
void exclude(bool check, std::int32_t const* refinements); // 45
void complement_q(bool check, std::int32_t const* refinements); // 46
void dehex(bool check, std::int32_t const* refinements); // 47
void enhex(bool check, std::int32_t const* refinements); // 48
void negative_q(bool check, std::int32_t const* refinements); // 49
void positive_q(bool check, std::int32_t const* refinements); // 50
void max(bool check, std::int32_t const* refinements); // 51
void min(bool check, std::int32_t const* refinements); // 52
void shift(bool check, std::int32_t const* refinements); // 53
void to_hex(bool check, std::int32_t const* refinements); // 54
void sine(bool check, std::int32_t const* refinements); // 55
void cosine(bool check, std::int32_t const* refinements); // 56
void tangent(bool check, std::int32_t const* refinements); // 57
void arcsine(bool check, std::int32_t const* refinements); // 58
void arccosine(bool check, std::int32_t const* refinements); // 59
void arctangent(bool check, std::int32_t const* refinements); // 60
void arctangent2(bool check, std::int32_t const* refinements); // 61
void nan_q(bool check, std::int32_t const* refinements); // 62
void log_2(bool check, std::int32_t const* refinements); // 63
void log_10(bool check, std::int32_t const* refinements); // 64
void log_e(bool check, std::int32_t const* refinements); // 65
void exp(bool check, std::int32_t const* refinements); // 66
void square_root(bool check, std::int32_t const* refinements); // 67
void construct(bool check, std::int32_t const* refinements); // 68
void value_q(bool check, std::int32_t const* refinements); // 69
void try_(bool check, std::int32_t const* refinements); // 70
void uppercase(bool check, std::int32_t const* refinements); // 71
void lowercase(bool check, std::int32_t const* refinements); // 72
void as_pair(bool check, std::int32_t const* refinements); // 73
void as_point2d(bool check, std::int32_t const* refinements); // 74
void as_point3d(bool check, std::int32_t const* refinements); // 75
void as_money(bool check, std::int32_t const* refinements); // 76
void break_(bool check, std::int32_t const* refinements); // 77
void continue_(bool check, std::int32_t const* refinements); // 78
void exit_(bool check, std::int32_t const* refinements); // 79
void return_(bool check, std::int32_t const* refinements); // 80
void throw_(bool check, std::int32_t const* refinements); // 81
void catch_(bool check, std::int32_t const* refinements); // 82
void extend(bool check, std::int32_t const* refinements); // 83
void debase(bool check, std::int32_t const* refinements); // 84
void to_local_file(bool check, std::int32_t const* refinements); // 85
void wait(bool check, std::int32_t const* refinements); // 86
void checksum(bool check, std::int32_t const* refinements); // 87
void unset(bool check, std::int32_t const* refinements); // 88
void new_line(bool check, std::int32_t const* refinements); // 89
void new_line_q(bool check, std::int32_t const* refinements); // 90
void enbase(bool check, std::int32_t const* refinements); // 91
void context_q(bool check, std::int32_t const* refinements); // 92
void set_env(bool check, std::int32_t const* refinements); // 93
void get_env(bool check, std::int32_t const* refinements); // 94
void list_env(bool check, std::int32_t const* refinements); // 95
void now(bool check, std::int32_t const* refinements); // 96
void sign_q(bool check, std::int32_t const* refinements); // 97
void as(bool check, std::int32_t const* refinements); // 98
void call(bool check, std::int32_t const* refinements); // 99
void zero_q(bool check, std::int32_t const* refinements); // 100
void size_q(bool check, std::int32_t const* refinements); // 101
void browse(bool check, std::int32_t const* refinements); // 102
void compress(bool check, std::int32_t const* refinements); // 103
void decompress(bool check, std::int32_t const* refinements); // 104
void recycle(bool check, std::int32_t const* refinements); // 105
void transcode(bool check, std::int32_t const* refinements); // 106
void apply(bool check, std::int32_t const* refinements); // 107

}
