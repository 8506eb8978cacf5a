// The natives' entries, by the file that holds them; each has the shape of natives::Entry. table.h gives
// each its name and index; the natives still to come share one entry until their modules exist.
#pragma once

#include <cstdint>

namespace xol::natives {

// conditionals.cpp
void if_(std::int32_t const* refinements);
void unless(std::int32_t const* refinements);
void either(std::int32_t const* refinements);
void any(std::int32_t const* refinements);
void all(std::int32_t const* refinements);

// loops.cpp
void while_(std::int32_t const* refinements);
void until(std::int32_t const* refinements);
void loop(std::int32_t const* refinements);
void repeat(std::int32_t const* refinements);
void forever(std::int32_t const* refinements);
void foreach (std::int32_t const* refinements);
void forall(std::int32_t const* refinements);
void remove_each(std::int32_t const* refinements);

// function_makers.cpp
void func(std::int32_t const* refinements);
void function(std::int32_t const* refinements);
void does(std::int32_t const* refinements);
void has(std::int32_t const* refinements);

// evaluation.cpp
void switch_(std::int32_t const* refinements);
void case_(std::int32_t const* refinements);
void do_(std::int32_t const* refinements);
void reduce(std::int32_t const* refinements);
void compose(std::int32_t const* refinements);

// words.cpp
void get(std::int32_t const* refinements);
void set(std::int32_t const* refinements);
void type_q(std::int32_t const* refinements);
void bind(std::int32_t const* refinements);
void in(std::int32_t const* refinements);

// output.cpp
void print(std::int32_t const* refinements);
void prin(std::int32_t const* refinements);

// comparison.cpp
void equal_q(std::int32_t const* refinements);
void not_equal_q(std::int32_t const* refinements);
void strict_equal_q(std::int32_t const* refinements);
void lesser_q(std::int32_t const* refinements);
void greater_q(std::int32_t const* refinements);
void lesser_or_equal_q(std::int32_t const* refinements);
void greater_or_equal_q(std::int32_t const* refinements);
void same_q(std::int32_t const* refinements);
void not_(std::int32_t const* refinements);

// parsing.cpp
void parse(std::int32_t const* refinements);

// checksum.cpp
void checksum(std::int32_t const* refinements);

// stats.cpp
void stats(std::int32_t const* refinements);

// control.cpp
void try_(std::int32_t const* refinements);
void break_(std::int32_t const* refinements);
void continue_(std::int32_t const* refinements);
void exit_(std::int32_t const* refinements);
void return_(std::int32_t const* refinements);
void throw_(std::int32_t const* refinements);
void catch_(std::int32_t const* refinements);

// sets.cpp
void union_(std::int32_t const* refinements);
void intersect(std::int32_t const* refinements);
void unique(std::int32_t const* refinements);
void difference(std::int32_t const* refinements);
void exclude(std::int32_t const* refinements);
void complement_q(std::int32_t const* refinements);

// math.cpp
void negative_q(std::int32_t const* refinements);
void positive_q(std::int32_t const* refinements);
void sign_q(std::int32_t const* refinements);
void max(std::int32_t const* refinements);
void min(std::int32_t const* refinements);
void shift(std::int32_t const* refinements);
void sine(std::int32_t const* refinements);
void cosine(std::int32_t const* refinements);
void tangent(std::int32_t const* refinements);
void arcsine(std::int32_t const* refinements);
void arccosine(std::int32_t const* refinements);
void arctangent(std::int32_t const* refinements);
void arctangent2(std::int32_t const* refinements);
void nan_q(std::int32_t const* refinements);
void log_2(std::int32_t const* refinements);
void log_10(std::int32_t const* refinements);
void log_e(std::int32_t const* refinements);
void exp(std::int32_t const* refinements);
void square_root(std::int32_t const* refinements);
void zero_q(std::int32_t const* refinements);

// construction.cpp
void construct(std::int32_t const* refinements);
void value_q(std::int32_t const* refinements);
void uppercase(std::int32_t const* refinements);
void lowercase(std::int32_t const* refinements);
void as_pair(std::int32_t const* refinements);
void as_point2d(std::int32_t const* refinements);
void as_point3d(std::int32_t const* refinements);
void as_money(std::int32_t const* refinements);
void extend(std::int32_t const* refinements);
void unset(std::int32_t const* refinements);
void new_line(std::int32_t const* refinements);
void new_line_q(std::int32_t const* refinements);
void context_q(std::int32_t const* refinements);
void as(std::int32_t const* refinements);

// compression.cpp
void compress(std::int32_t const* refinements);
void decompress(std::int32_t const* refinements);

// system.cpp
void recycle(std::int32_t const* refinements);
void now(std::int32_t const* refinements);
void wait(std::int32_t const* refinements);

// processes.cpp
void call(std::int32_t const* refinements);
void browse(std::int32_t const* refinements);

// environment.cpp
void set_env(std::int32_t const* refinements);
void get_env(std::int32_t const* refinements);
void list_env(std::int32_t const* refinements);

// files.cpp
void size_q(std::int32_t const* refinements);
void to_local_file(std::int32_t const* refinements);

// transcode.cpp
void transcode(std::int32_t const* refinements);

// apply.cpp
void apply(std::int32_t const* refinements);

// encoding.cpp
void dehex(std::int32_t const* refinements);
void enhex(std::int32_t const* refinements);
void to_hex(std::int32_t const* refinements);
void debase(std::int32_t const* refinements);
void enbase(std::int32_t const* refinements);

// natives.cpp: the entry of every native still to come, which raises internal not-done
void not_yet_built(std::int32_t const* refinements);

}
