// The program's dialogue: banner, prompts and the passes over the listing.
#pragma once

#include <cstdio>

#include "common/run_state.h"

namespace vandorak {

// Runs the whole dialogue on the given console streams. Returns the exit
// status after the closing message; a failure ends the program through
// stop_run. per_node_scan reads the whole listing for every node instead of
// answering the nodes' passes from one recorded scan; the output is the
// same (it is there so tests can compare the two).
int run_dialogue(std::FILE* in, const Console& console, bool per_node_scan = false);

}  // namespace vandorak
