// The program's entry point.

#include "runtime/startup.h"

int main(int argc, char** argv) { return xol::runtime::start(argc, argv); }
