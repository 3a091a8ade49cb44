// What one response pass over the listing found, kept so that later passes
// for other nodes can be answered without reading the listing again.
//
// A pass reads the listing the same way for every node: the node of
// interest decides only which pairs are written. So one pass can record,
// for a group of nodes at once, every block it met and every pair of those
// nodes. What a pass also depends on is the state it starts in: the
// window's lines from before the rewind (a block title among the first two
// lines takes its frequency from them) and token holder 7 (when a block's
// frequency line is short). The recording notes which of these it used,
// and a replay is allowed only when they are the same as then.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "common/run_state.h"
#include "listing/scanner.h"

namespace vandorak {

// The start state of a pass that can matter to it, or the end state it
// leaves: the window's three lines and the token holders.
struct PassState {
  std::array<std::array<char, kLineSize>, 3> lines{};  // two-back, one-back, current
  TokenHolders tokens;

  void take_from(const LineWindow& window, const TokenHolders& holders);
};

struct RecordedBlock {
  ResponseKind kind;
  bool read;  // false when below the frequency threshold: no pairs read
  float frequency;
};

// One pair of a recorded node in a read block.
struct RecordedPair {
  std::uint32_t block;
  int converted;  // fields the pair's first part converted
  const double* magnitudes;  // T1 T2 T3 R1 R2 R3, valid when converted is complete
};

class ResponseRecording {
 public:
  // 10.5 MiB: it holds a 100-node listing of 1,000 frequencies with both
  // kinds of block (200,000 pairs) in one group, and keeps a run's peak
  // memory under 16 MB. Each group beyond the first costs one more scan.
  static constexpr std::size_t kDefaultBudget = std::size_t{21} << 19;

  explicit ResponseRecording(std::size_t budget = kDefaultBudget);

  // Starts a recording for the ids at list positions first and later, in
  // list order, as far as the budget holds them.
  void start(const NodeList& nodes, std::size_t first, const LineWindow& window, const TokenHolders& tokens);
  // Drops everything recorded.
  void clear();

  // The ids whose pairs are being recorded.
  const IdSet& wanted() const { return wanted_; }

  void add_block(ResponseKind kind, bool read, float frequency);
  // A pair of a wanted id in the last block added.
  void add_pair(std::int32_t id, int converted, const NodeRecord& record);

  // What the pass used of its start state: a start line (0 two-back,
  // 1 one-back, 2 current) taken as a block's frequency line, or holder 7
  // as the pass found it.
  void used_start_line(int slot) { used_lines_[static_cast<std::size_t>(slot)] = true; }
  void used_start_holder7() { used_holder7_ = true; }
  // Ends the recording: line_origins tells, for each of the window's three
  // lines, the start line it holds (or -1 for a line of the pass), and
  // holders_written which token holders the pass wrote (bit h for holder h).
  void finish(const LineWindow& window, const TokenHolders& tokens, const std::array<int, 3>& line_origins,
              unsigned holders_written);

  // True when a pass for id, starting from this window and these tokens,
  // can be replayed from the recording.
  bool can_replay(std::int32_t id, const LineWindow& window, const TokenHolders& tokens) const;

  const std::deque<RecordedBlock>& blocks() const { return blocks_; }
  // Calls visit(const RecordedPair&) for every pair of id, in listing order.
  template <typename Visit>
  void for_each_pair(std::int32_t id, Visit&& visit) const;

  // Leaves the window and tokens as the recorded pass would have left them
  // from their present state.
  void restore_end_state(LineWindow& window, TokenHolders& tokens) const;

  // Memory the recording holds now.
  std::size_t bytes_held() const;

 private:
  static constexpr std::size_t kPairsPerChunk = 64;
  struct Chunk {
    std::array<std::uint32_t, kPairsPerChunk> tags;  // block index << 4 | converted
    std::array<std::array<double, 6>, kPairsPerChunk> magnitudes;
  };
  struct Slot {
    std::int32_t id = 0;
    std::vector<std::uint32_t> chunks;  // indices into chunks_
    std::size_t count = 0;              // pairs held
    bool held = true;
  };

  Slot* slot_of(std::int32_t id);
  const Slot* slot_of(std::int32_t id) const;
  std::uint32_t take_chunk();
  bool evict_last();

  std::size_t budget_;
  bool active_ = false;
  bool finished_ = false;
  std::vector<Slot> slots_;                 // in list order
  std::vector<std::int32_t> sorted_ids_;    // slot ids, sorted, with slot_index_
  std::vector<std::uint32_t> slot_index_;
  IdSet wanted_;
  static constexpr std::uint32_t kNoChunk = UINT32_MAX;
  std::vector<std::unique_ptr<Chunk>> chunks_;  // null where freed
  std::vector<std::uint32_t> pooled_;           // allocated, not in use
  std::vector<std::uint32_t> unallocated_;      // freed indices
  std::size_t live_chunks_ = 0;
  std::deque<RecordedBlock> blocks_;
  PassState start_;
  PassState end_;
  std::array<bool, 3> used_lines_{};
  bool used_holder7_ = false;
  std::array<int, 3> line_origins_{};
  unsigned holders_written_ = 0;
};

template <typename Visit>
void ResponseRecording::for_each_pair(std::int32_t id, Visit&& visit) const {
  const Slot* slot = slot_of(id);
  if (slot == nullptr) return;
  for (std::size_t i = 0; i < slot->count; ++i) {
    const Chunk& chunk = *chunks_[slot->chunks[i / kPairsPerChunk]];
    const std::size_t at = i % kPairsPerChunk;
    const std::uint32_t tag = chunk.tags[at];
    visit(RecordedPair{tag >> 4, static_cast<int>(tag & 0xf), chunk.magnitudes[at].data()});
  }
}

}  // namespace vandorak
