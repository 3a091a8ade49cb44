#include "listing/passes.h"
#include "listing/scanner.h"
#include "output/response_files.h"

namespace vandorak {

namespace {

constexpr int kLinesAfterTitle = 4;
constexpr int kRecordFields = 8;
constexpr double kFrequencyThreshold = 0.001;
constexpr std::int32_t kLargestPlausibleId = 100000;

// Reads the block whose title is the window's current line. The skipped
// lines and the records do not enter the window.
ScanResult read_response_block(RunState& state, const Console& console, ResponseKind kind) {
  ListingStream& listing = state.listing;
  const double divisor = acceleration_divisor(kind, state.unit_answer);
  if (state.node_of_interest > kLargestPlausibleId) {
    std::fprintf(console.out, "\n error: interest = %ld \n", static_cast<long>(state.node_of_interest));
    console.wait();
  }
  state.block_frequency = read_block_frequency(state.window, state.tokens);
  skip_lines(state.window, listing, kLinesAfterTitle);
  if (static_cast<double>(state.block_frequency) < kFrequencyThreshold) return {};

  for (std::size_t pair = 0; pair < state.nodes.size(); ++pair) {
    const int converted = read_node_record(state.record, listing, &state.node_of_interest);
    if (converted < 1) break;
    if (state.record.node_id != state.node_of_interest) continue;
    // A record cut short would carry the previous node's magnitudes.
    if (converted < kRecordFields) {
      std::fprintf(console.out, "\n warning: incomplete record of node %ld skipped \n",
                   static_cast<long>(state.record.node_id));
      continue;
    }
    const int failed = write_response_values(state.units, kind, state.block_frequency,
                                             state.record, divisor);
    if (failed != 0) return {false, failed};
  }
  return {};
}

}  // namespace

ScanResult scan_responses(RunState& state, const Console& console) {
  ListingStream& listing = state.listing;
  while (next_line(state.window, listing)) {
    const char* line = state.window.current;
    if (line_contains(line, kSummaryWarnings) || line_contains(line, kSummaryFatal)) break;
    // A line holding both titles is read as both kinds of block.
    if (line_contains(line, kAccelerationTitle)) {
      const ScanResult result = read_response_block(state, console, ResponseKind::acceleration);
      if (!result.ok) return result;
    }
    if (line_contains(line, kDisplacementTitle)) {
      const ScanResult result = read_response_block(state, console, ResponseKind::displacement);
      if (!result.ok) return result;
    }
  }
  return {};
}

}  // namespace vandorak
