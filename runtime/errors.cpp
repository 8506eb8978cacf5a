// Raising language errors.

#include "runtime/errors.h"

#include "runtime/services.h"
#include "runtime/stack.h"

namespace xol {

namespace {

RaisedError raised {};

}

void fire_error(ErrorId id, Cell const* arg1, Cell const* arg2, Cell const* arg3)
{
    Cell const* given[] = { arg1, arg2, arg3 };
    RaisedError error { id, {}, 0 };
    for (int i = 0; i < 3; ++i) {
        error.arguments[i] = given[i] ? *given[i] : cell::make(type_ids::unset);
        if (given[i]) error.argument_count = static_cast<std::uint8_t>(i + 1);
    }
    raised = error;
    errors::current() = services.make_error(raised);
    services.error_raised(errors::current());
    stack::throw_error();
}

namespace errors {

RaisedError const& last_raised()
{
    return raised;
}
RaisedError& last_raised_for_marking()
{
    return raised;
}

void reset()
{
    raised = RaisedError {};
    for (Cell& argument : raised.arguments) argument = cell::make(type_ids::unset);
    current() = cell::make(type_ids::unset);
}

}

}
