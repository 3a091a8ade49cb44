// The program's dialogue: banner, prompts and the passes over the listing.
#pragma once

#include <cstdio>

#include "common/run_state.h"

namespace vandorak {

// Runs the whole dialogue on the given console streams. Returns the exit
// status after the closing message; a failure ends the program through
// stop_run.
int run_dialogue(std::FILE* in, const Console& console);

}  // namespace vandorak
