// The program's command line: no arguments runs the dialogue; a listing
// with options runs the same job as a batch that asks nothing.
#pragma once

namespace vandorak::cli {

// Runs the program for these arguments and returns its exit status: 0
// success, 1 a failed run, 2 a usage error.
int run_command_line(int argc, char** argv);

}  // namespace vandorak::cli
