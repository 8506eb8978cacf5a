// The program's launch: what runs once start-up has built the runtime and the library.
#pragma once

namespace xol::console {

// Handles the command line: options before the script's name ("--catch" asks for the prompt loop after
// the script; a lone "--" ends the options), then runs the script named there, if any. Without a script
// it runs the prompt loop. Returns when the run is over; start-up then ends the process with status 0.
void launch();

}
