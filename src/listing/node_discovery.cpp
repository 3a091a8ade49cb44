#include <cerrno>
#include <cinttypes>
#include <climits>

#include "listing/passes.h"
#include "listing/scanner.h"

namespace vandorak {

namespace {

constexpr int kLinesAfterTitle = 4;

// Reads record pairs while each starts with a node id, listing the ids on
// the console, in the node-list file and in state.nodes.
bool list_block_nodes(RunState& state, const Console& console, std::FILE* node_file) {
  ListingStream& listing = state.listing;
  state.nodes.clear();
  bool written = true;
  while (read_node_record(state.record, listing) >= 1) {
    const long id = state.record.node_id;
    std::fprintf(console.out, "\n %ld", id);
    if (std::fprintf(node_file, "\n %ld", id) < 0 && written) {
      written = false;
      state.units[kNodeListUnit].error = errno;
    }
    state.nodes.push_back(state.record.node_id);
  }
  return written;
}

}  // namespace

DiscoveryResult discover_nodes(RunState& state, const Console& console) {
  std::fprintf(console.out, "\n\n nodes \n");
  FileUnit& node_unit = state.units[kNodeListUnit];
  node_unit.stream = state.units.open(kNodeListUnit, "w");
  if (node_unit.stream == nullptr) return DiscoveryResult::node_file_error;
  std::fprintf(console.out, "\n open %s \n", node_unit.name.c_str());

  ListingStream& listing = state.listing;
  DiscoveryResult result = DiscoveryResult::no_block;
  bool written = true;
  while (next_line(state.window, listing)) {
    if (!line_contains(state.window.current, kAccelerationTitle)) continue;
    std::fprintf(console.out, "\n %s \n", state.window.current);
    split_header_tokens(state.tokens, state.window.two_back, kTokenCount);
    skip_lines(state.window, listing, kLinesAfterTitle);
    written = list_block_nodes(state, console, node_unit.stream);
    std::fprintf(console.out, "\n\n %d nodes detected \n\n", static_cast<int>(state.nodes.size()));
    if (state.nodes.empty()) {
      result = DiscoveryResult::zero_nodes;
      break;
    }
    listing.rewind();
    result = DiscoveryResult::found;
    break;
  }

  const bool closed = std::fclose(node_unit.stream) == 0;
  if (!closed && written) node_unit.error = errno;
  node_unit.stream = nullptr;
  if (!written || !closed) return DiscoveryResult::node_file_error;
  return result;
}

void read_node_list(RunState& state, std::size_t count) {
  FileUnit& node_unit = state.units[kNodeListUnit];
  node_unit.stream = state.units.open(kNodeListUnit, "rb");
  // The list in memory holds the same ids: carry on with it.
  if (node_unit.stream == nullptr) return;
  for (std::size_t i = 0; i < count && i < state.nodes.size(); ++i) {
    std::int64_t id = 0;
    if (std::fscanf(node_unit.stream, "%" SCNd64, &id) != 1) continue;
    if (id < INT32_MIN || id > INT32_MAX) continue;
    state.nodes[i] = static_cast<std::int32_t>(id);
  }
  std::fclose(node_unit.stream);
  node_unit.stream = nullptr;
}

}  // namespace vandorak
