// The program's dialogue: banner, prompts and the passes over the listing.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "common/run_state.h"

namespace vandorak {

// How a run is driven. The defaults are the interactive dialogue.
struct RunOptions {
  // Given, the listing's name and the unit answer are not read from the
  // input; the prompts print all the same, so the console text is what
  // the dialogue prints when they are typed.
  std::optional<std::string> listing;
  std::optional<int> unit_answer;
  // Where the node-list file and the response files go; empty for the
  // working directory.
  std::string output_directory;
  // Passes only for the nodes of the list with these ids; empty for all.
  // An id not in the list stops the run with status 2 before any pass.
  std::vector<std::int32_t> only_nodes;
  // Sees the natural frequencies and every node's written lines.
  RunObserver* observer = nullptr;
  // Reads the whole listing for every node instead of answering the
  // nodes' passes from one recorded scan; the output is the same (it is
  // there so tests can compare the two).
  bool per_node_scan = false;
};

// Runs the whole dialogue on the given console streams and returns the
// exit status: 0 after the closing message, 1 when the run stopped (its
// message printed, the key waited for), 2 for an id of only_nodes that is
// not in the list. The reason of a stop also goes to
// standard error in one line.
int run_dialogue(std::FILE* in, const Console& console, const RunOptions& options = {});

}  // namespace vandorak
