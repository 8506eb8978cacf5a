// The program's entry point: start-up builds the runtime and the library, then hands over to the console.

#include "console/launch.h"
#include "runtime/startup.h"

int main(int argc, char** argv)
{
    return xol::runtime::start(argc, argv, xol::console::launch);
}
