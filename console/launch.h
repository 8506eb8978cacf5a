// The program's launch: what runs once start-up has built the runtime and the library.
#pragma once

namespace xol::console {

// Runs the console's start-up entry: settings, terminal, then the script named on the command line or the
// read-eval-print loop. Returns when the run is over; start-up then ends the process with status 0.
void launch();

}
