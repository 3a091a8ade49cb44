#include "listing/passes.h"
#include "listing/response_recording.h"
#include "listing/scanner.h"
#include "output/response_files.h"

namespace vandorak {

namespace {

constexpr int kLinesAfterTitle = 4;
constexpr int kRecordFields = 8;
constexpr double kFrequencyThreshold = 0.001;
constexpr std::int32_t kLargestPlausibleId = 100000;
constexpr unsigned kHolder7 = 1u << 6;

// Follows what a pass takes from the state it started in: for each of the
// window's lines, the start line it holds (-1 once it is a line of the
// pass), and the token holders the pass has written.
struct StartTracker {
  std::array<int, 3> origins{0, 1, 2};  // two-back, one-back, current
  unsigned holders_written = 0;

  // At end of input the current line keeps its text, so it keeps its origin.
  void shifted(bool read) { origins = {origins[1], origins[2], read ? -1 : origins[2]}; }
};

struct Pass {
  RunState& state;
  const Console& console;
  ResponseRecording* recording;
  IdSet wanted;  // the node of interest and the recorded nodes
  StartTracker tracker;
};

void print_large_id_notice(const RunState& state, const Console& console) {
  std::fprintf(console.out, "\n error: interest = %ld \n", static_cast<long>(state.node_of_interest));
  console.wait();
}

void print_incomplete_record(const Console& console, std::int32_t id) {
  // A record cut short would carry the previous node's magnitudes.
  std::fprintf(console.out, "\n warning: incomplete record of node %ld skipped \n", static_cast<long>(id));
}

// Reads the block whose title is the window's current line. The skipped
// lines and the records do not enter the window.
ScanResult read_response_block(Pass& pass, ResponseKind kind) {
  RunState& state = pass.state;
  ListingStream& listing = state.listing;
  const double divisor = acceleration_divisor(kind, state.unit_answer);
  if (state.node_of_interest > kLargestPlausibleId) print_large_id_notice(state, pass.console);

  // The frequency is token 7 of the line two reads before the title; a
  // short line leaves an older token in holder 7.
  const int origin = pass.tracker.origins[0];
  const int stored = split_header_tokens(state.tokens, state.window.two_back, kTokenCount);
  if (pass.recording != nullptr) {
    if (origin >= 0) pass.recording->used_start_line(origin);
    if (stored < 7 && (pass.tracker.holders_written & kHolder7) == 0) pass.recording->used_start_holder7();
  }
  pass.tracker.holders_written |= (1u << stored) - 1;
  state.block_frequency = static_cast<float>(convert_token(state.tokens.token(7)));

  skip_lines(state.window, listing, kLinesAfterTitle);
  const bool read = static_cast<double>(state.block_frequency) >= kFrequencyThreshold;
  if (pass.recording != nullptr) pass.recording->add_block(kind, read, state.block_frequency);
  if (!read) return {};

  for (std::size_t pair = 0; pair < state.nodes.size(); ++pair) {
    const int converted = read_node_record(state.record, listing, &pass.wanted);
    if (converted < 1) break;
    const std::int32_t id = state.record.node_id;
    if (pass.recording != nullptr) pass.recording->add_pair(id, converted, state.record);
    if (id != state.node_of_interest) continue;
    if (converted < kRecordFields) {
      print_incomplete_record(pass.console, id);
      continue;
    }
    const int failed = write_response_values(state.units, kind, state.block_frequency, state.record, divisor);
    if (failed != 0) return {false, failed};
  }
  return {};
}

ScanResult scan_listing(Pass& pass) {
  RunState& state = pass.state;
  for (;;) {
    const bool read = next_line(state.window, state.listing);
    pass.tracker.shifted(read);
    if (!read) break;
    const char* line = state.window.current;
    if (line_contains(line, kSummaryWarnings) || line_contains(line, kSummaryFatal)) break;
    // A line holding both titles is read as both kinds of block.
    if (line_contains(line, kAccelerationTitle)) {
      const ScanResult result = read_response_block(pass, ResponseKind::acceleration);
      if (!result.ok) return result;
    }
    if (line_contains(line, kDisplacementTitle)) {
      const ScanResult result = read_response_block(pass, ResponseKind::displacement);
      if (!result.ok) return result;
    }
  }
  return {};
}

// Gives the node of interest what a scan would: the same notices at each
// block, the same warnings, the same lines in the same order, the same
// stop at a failed write, and the window and tokens left as a scan leaves
// them.
ScanResult replay_responses(RunState& state, const Console& console, const ResponseRecording& recording) {
  const std::deque<RecordedBlock>& blocks = recording.blocks();
  const bool flagged = state.node_of_interest > kLargestPlausibleId;
  std::size_t noticed = 0;  // blocks whose notice has been given
  auto notices_through = [&](std::size_t block) {
    if (!flagged) return;
    for (; noticed <= block && noticed < blocks.size(); ++noticed) print_large_id_notice(state, console);
  };

  ScanResult result;
  recording.for_each_pair(state.node_of_interest, [&](const RecordedPair& pair) {
    if (!result.ok) return;
    notices_through(pair.block);
    if (pair.converted < kRecordFields) {
      print_incomplete_record(console, state.node_of_interest);
      return;
    }
    const RecordedBlock& block = blocks[pair.block];
    const int failed = write_response_magnitudes(state.units, block.kind, block.frequency, pair.magnitudes,
                                                 acceleration_divisor(block.kind, state.unit_answer));
    if (failed != 0) result = {false, failed};
  });
  if (!result.ok) return result;
  notices_through(blocks.size());
  recording.restore_end_state(state.window, state.tokens);
  return result;
}

}  // namespace

ScanResult scan_responses(RunState& state, const Console& console, ResponseRecording* recording,
                          const NodeList& upcoming) {
  if (recording != nullptr && recording->can_replay(state.node_of_interest, state.window, state.tokens)) {
    return replay_responses(state, console, *recording);
  }
  Pass pass{state, console, recording, {}, {}};
  if (recording != nullptr) {
    recording->start(upcoming, 0, state.window, state.tokens);
    pass.wanted = recording->wanted();
  }
  pass.wanted.insert(state.node_of_interest);
  const ScanResult result = scan_listing(pass);
  if (recording != nullptr) {
    if (result.ok && !state.listing.read_failed()) {
      recording->finish(state.window, state.tokens, pass.tracker.origins, pass.tracker.holders_written);
    } else {
      recording->clear();
    }
  }
  return result;
}

}  // namespace vandorak
