// The console's platform layer: the single-key wait, the stop, and what an
// interrupting signal does.
#pragma once

#include <cstdint>

namespace vandorak {

// Waits for one key press without echo and without waiting for Enter, and
// discards it, the whole of a key that sends several bytes (an escape
// sequence, a UTF-8 character) included. When standard input is not a
// terminal it returns at once and consumes nothing, so scripted runs never
// hang or lose their answers. The terminal is restored on every way out,
// also when SIGINT, SIGTERM, SIGHUP or SIGQUIT ends the program in the wait.
void wait_for_key();

// Thrown by stop_run: the run ends by unwinding to its entry, which returns
// the status to main, so files are closed and a caller can go on.
struct RunStopped {
  int status = 1;
};

// Flushes the console and ends the run with status 1.
[[noreturn]] void stop_run();

// Ends the program's use of standard output: flushes it, and turns a run
// that succeeded into a failed one (status 1, a line on standard error)
// when what it printed could not be written. Returns the exit status.
int finish_standard_output(int status);

// Makes SIGINT, SIGTERM, SIGHUP and SIGQUIT restore the terminal if a key
// wait has it, report a node whose response files are being written, then
// end the program as the signal would. Signals ignored at start stay ignored.
// Calling it again does nothing.
void install_interrupt_handlers();

// Marks node id's response files as being written, until the clear.
void note_node_being_written(std::int32_t id);
void clear_node_being_written();

}  // namespace vandorak
