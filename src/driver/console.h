// The console's platform layer: the single-key wait and the stop.
#pragma once

namespace vandorak {

// Waits for one key press without echo and without waiting for Enter, and
// discards it. When standard input is not a terminal it returns at once and
// consumes nothing, so scripted runs never hang or lose their answers.
void wait_for_key();

// Flushes the console and ends the program with status 1.
[[noreturn]] void stop_run();

}  // namespace vandorak
