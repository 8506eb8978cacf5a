// The natives that come with later modules: until then a call raises internal not-done.

#include "interpreter/natives/entries.h"
#include "runtime/errors.h"

namespace xol::natives {

void parse(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}
void union_(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}
void intersect(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}
void unique(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}
void difference(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}
void exclude(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}
void complement_q(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}
void dehex(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}
void enhex(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}
void negative_q(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}
void positive_q(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}
void max(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}
void min(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}
void shift(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}
void to_hex(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}
void sine(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}
void cosine(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}
void tangent(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}
void arcsine(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}
void arccosine(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}
void arctangent(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}
void arctangent2(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}
void nan_q(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}
void log_2(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}
void log_10(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}
void log_e(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}
void exp(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}
void square_root(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}
void construct(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}
void value_q(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}
void uppercase(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}
void lowercase(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}
void as_pair(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}
void as_point2d(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}
void as_point3d(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}
void as_money(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}
void extend(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}
void debase(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}
void to_local_file(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}
void wait(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}
void checksum(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}
void unset(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}
void new_line(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}
void new_line_q(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}
void enbase(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}
void context_q(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}
void set_env(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}
void get_env(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}
void list_env(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}
void now(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}
void sign_q(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}
void as(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}
void call(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}
void zero_q(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}
void size_q(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}
void browse(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}
void compress(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}
void decompress(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}
void recycle(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}
void transcode(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}
void apply(bool, std::int32_t const*)
{
    fire_error(err::internal::not_done);
}

}
