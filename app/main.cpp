// The program's entry point: start-up builds the runtime and the library, then hands over to the console.

#include "app/startup.h"
#include "console/launch.h"

int main(int argc, char** argv)
{
    return xol::app::start(argc, argv, xol::console::launch);
}
