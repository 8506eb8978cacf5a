// The entries of the port actions with options or several arguments (modify, open, read, rename, write):
// files, URLs and ports answer them through their types' slots. The one-argument ones (create, close,
// delete, open?, query, update) are actions_private.h's `unary`.

#include "interpreter/actions.h"
#include "interpreter/actions_private.h"

namespace xol::actions::detail {

// Refinement: /case.
void modify(std::int32_t const* refinements)
{
    Cell const& target = argument(0);
    set_result(lookup_of(target, &TypeActions::modify)(target, argument(1), argument(2), used(refinements[0])));
}

// Refinements: /new /read /write /seek /allow.
void open(std::int32_t const* refinements)
{
    OpenOptions const options {
        .new_ = used(refinements[0]),
        .read = used(refinements[1]),
        .write = used(refinements[2]),
        .seek = used(refinements[3]),
        .allow = refinement_argument(refinements[4]),
    };
    Cell const& port = argument(0);
    set_result(lookup_of(port, &TypeActions::open)(port, options));
}

// Refinements: /part /seek /binary /lines /info /as.
void read(std::int32_t const* refinements)
{
    ReadOptions const options {
        .part = refinement_argument(refinements[0]),
        .seek = refinement_argument(refinements[1]),
        .binary = used(refinements[2]),
        .lines = used(refinements[3]),
        .info = used(refinements[4]),
        .as = refinement_argument(refinements[5]),
    };
    Cell const& source = argument(0);
    set_result(lookup_of(source, &TypeActions::read)(source, options));
}

void rename(std::int32_t const*)
{
    Cell const& from = argument(0);
    set_result(lookup_of(from, &TypeActions::rename)(from, argument(1)));
}

// Refinements: /binary /lines /info /append /part /seek /allow /as.
void write(std::int32_t const* refinements)
{
    WriteOptions const options {
        .binary = used(refinements[0]),
        .lines = used(refinements[1]),
        .info = used(refinements[2]),
        .append = used(refinements[3]),
        .part = refinement_argument(refinements[4]),
        .seek = refinement_argument(refinements[5]),
        .allow = refinement_argument(refinements[6]),
        .as = refinement_argument(refinements[7]),
    };
    Cell const& destination = argument(0);
    set_result(lookup_of(destination, &TypeActions::write)(destination, argument(1), options));
}

}
