// The program's entry point. TODO: launch the console once it exists.

#include "runtime/startup.h"

int main(int argc, char** argv) { return xol::runtime::start(argc, argv, nullptr); }
