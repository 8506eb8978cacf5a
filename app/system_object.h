// What start-up adds to the system object that the library's Xol code cannot make itself: the global
// context seen as an object, the error catalogue's objects and the command line; and the reads of its
// settings that the lower layers make through the services record.
#pragma once

#include <string>
#include <vector>

#include "runtime/cell.h"

namespace xol::system_object {

// Fills system/words, system/build/date and git, system/options/args, system/catalog/errors and
// system/script/args once the library has made `system`.
// Does nothing when the word system holds no object. May allocate.
void complete();

// The command line as one text: the arguments after the program's name joined by single spaces, an
// empty one or one holding a space or tab in double quotes, so that it reads like the command typed.
std::string command_line(std::vector<std::string> const& arguments);

// system/state/stack-trace: the level of the Stack line of an error report (1 the calls of functions,
// above 1 every named frame); 1 until the system object exists.
Cell stack_trace_setting();

}
