// The three kinds of pass over a listing.
#pragma once

#include "common/run_state.h"

namespace vandorak {

// Prints the natural frequency of every row of the listing's first real
// eigenvalue table, reading from the listing's current position. Returns the
// row count; the listing is left after the last line read.
int scan_natural_frequencies(RunState& state, const Console& console);

enum class DiscoveryResult {
  found,            // nodes listed, listing rewound
  no_block,         // end of input before an acceleration block; not rewound
  zero_nodes,       // the first block holds no record
  node_file_error,  // the node-list file could not be created or written
};

// Lists the nodes of the first complex acceleration block from the
// listing's current position, filling state.nodes and writing the
// node-list file.
DiscoveryResult discover_nodes(RunState& state, const Console& console);

// Refreshes the first count ids of state.nodes from the node-list file. An
// id that does not convert leaves its position as it was; an unreadable
// file leaves the list as it is.
void read_node_list(RunState& state, std::size_t count);

struct ScanResult {
  bool ok = true;
  int failed_unit = 0;  // the response file unit a write failed on
};

class ResponseRecording;

// One pass for state.node_of_interest from the listing's current position
// to its end or its run summary, writing the node's response lines. With a
// recording, the pass is answered from it when it holds the node and the
// pass would start as the recorded one did; otherwise the listing is
// scanned, and recorded for the ids of upcoming (the passes to come, this
// one first) as far as the recording's budget holds them.
ScanResult scan_responses(RunState& state, const Console& console, ResponseRecording* recording = nullptr,
                          const NodeList& upcoming = {});

}  // namespace vandorak
