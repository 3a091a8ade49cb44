#include "listing/response_recording.h"

#include <algorithm>
#include <cstring>

namespace vandorak {

void PassState::take_from(const LineWindow& window, const TokenHolders& holders) {
  std::memcpy(lines[0].data(), window.two_back, kLineSize);
  std::memcpy(lines[1].data(), window.one_back, kLineSize);
  std::memcpy(lines[2].data(), window.current, kLineSize);
  tokens = holders;
}

ResponseRecording::ResponseRecording(std::size_t budget) : budget_(budget) {}

void ResponseRecording::clear() {
  active_ = finished_ = false;
  slots_.clear();
  sorted_ids_.clear();
  slot_index_.clear();
  wanted_.clear();
  // The chunks stay allocated for the next recording.
  pooled_.clear();
  for (std::uint32_t i = 0; i < chunks_.size(); ++i) {
    if (chunks_[i] != nullptr) pooled_.push_back(i);
  }
  blocks_.clear();
  blocks_.shrink_to_fit();
  used_lines_ = {};
  used_holder7_ = false;
}

void ResponseRecording::start(const NodeList& nodes, std::size_t first, const LineWindow& window,
                              const TokenHolders& tokens) {
  clear();
  active_ = true;
  start_.take_from(window, tokens);
  for (std::size_t i = first; i < nodes.size(); ++i) {
    if (wanted_.contains(nodes[i])) continue;
    wanted_.insert(nodes[i]);
    Slot slot;
    slot.id = nodes[i];
    slots_.push_back(std::move(slot));
  }
  std::vector<std::uint32_t> order(slots_.size());
  for (std::uint32_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) { return slots_[a].id < slots_[b].id; });
  for (std::uint32_t i : order) {
    sorted_ids_.push_back(slots_[i].id);
    slot_index_.push_back(i);
  }
  if (slots_.empty()) active_ = false;
}

ResponseRecording::Slot* ResponseRecording::slot_of(std::int32_t id) {
  const auto at = std::lower_bound(sorted_ids_.begin(), sorted_ids_.end(), id);
  if (at == sorted_ids_.end() || *at != id) return nullptr;
  Slot& slot = slots_[slot_index_[static_cast<std::size_t>(at - sorted_ids_.begin())]];
  return slot.held ? &slot : nullptr;
}

const ResponseRecording::Slot* ResponseRecording::slot_of(std::int32_t id) const {
  return const_cast<ResponseRecording*>(this)->slot_of(id);
}

std::size_t ResponseRecording::bytes_held() const {
  return live_chunks_ * sizeof(Chunk) + blocks_.size() * sizeof(RecordedBlock);
}

// Gives up the node that comes last in the list; its chunks go to the pool.
// Returns false when no node is left.
bool ResponseRecording::evict_last() {
  for (auto slot = slots_.rbegin(); slot != slots_.rend(); ++slot) {
    if (!slot->held) continue;
    slot->held = false;
    wanted_.erase(slot->id);
    pooled_.insert(pooled_.end(), slot->chunks.begin(), slot->chunks.end());
    slot->chunks.clear();
    slot->chunks.shrink_to_fit();
    slot->count = 0;
    return true;
  }
  return false;
}

// A chunk for new pairs, within the budget, giving up the last nodes for
// it if need be; kNoChunk when no node is left.
std::uint32_t ResponseRecording::take_chunk() {
  for (;;) {
    if (!pooled_.empty()) {
      const std::uint32_t chunk = pooled_.back();
      pooled_.pop_back();
      return chunk;
    }
    if (bytes_held() + sizeof(Chunk) <= budget_) {
      std::uint32_t chunk;
      if (!unallocated_.empty()) {
        chunk = unallocated_.back();
        unallocated_.pop_back();
      } else {
        chunk = static_cast<std::uint32_t>(chunks_.size());
        chunks_.emplace_back();
      }
      chunks_[chunk] = std::make_unique<Chunk>();
      ++live_chunks_;
      return chunk;
    }
    if (!evict_last()) return kNoChunk;
  }
}

void ResponseRecording::add_block(ResponseKind kind, bool read, float frequency) {
  if (!active_) return;
  // The block list counts against the budget too: pooled chunks are freed
  // for it first, then the last nodes give way.
  while (bytes_held() + sizeof(RecordedBlock) > budget_) {
    if (!pooled_.empty()) {
      const std::uint32_t chunk = pooled_.back();
      pooled_.pop_back();
      chunks_[chunk].reset();
      --live_chunks_;
      unallocated_.push_back(chunk);
    } else if (!evict_last()) {
      clear();
      return;
    }
  }
  blocks_.push_back({kind, read, frequency});
}

void ResponseRecording::add_pair(std::int32_t id, int converted, const NodeRecord& record) {
  if (!active_) return;
  Slot* slot = slot_of(id);
  if (slot == nullptr) return;
  if (slot->count == slot->chunks.size() * kPairsPerChunk) {
    const std::uint32_t chunk = take_chunk();
    if (chunk == kNoChunk) {
      clear();
      return;
    }
    // The slot itself may have been the one given up to make room.
    slot = slot_of(id);
    if (slot == nullptr) {
      pooled_.push_back(chunk);
      return;
    }
    slot->chunks.push_back(chunk);
  }
  Chunk& chunk = *chunks_[slot->chunks[slot->count / kPairsPerChunk]];
  const std::size_t at = slot->count % kPairsPerChunk;
  chunk.tags[at] = static_cast<std::uint32_t>(blocks_.size() - 1) << 4 | static_cast<std::uint32_t>(converted);
  auto& magnitudes = chunk.magnitudes[at];
  for (std::size_t c = 0; c < 3; ++c) {
    magnitudes[c] = record.translation[c];
    magnitudes[c + 3] = record.rotation[c];
  }
  ++slot->count;
}

void ResponseRecording::finish(const LineWindow& window, const TokenHolders& tokens,
                               const std::array<int, 3>& line_origins, unsigned holders_written) {
  if (!active_) return;
  end_.take_from(window, tokens);
  line_origins_ = line_origins;
  holders_written_ = holders_written;
  finished_ = true;
}

bool ResponseRecording::can_replay(std::int32_t id, const LineWindow& window, const TokenHolders& tokens) const {
  if (!active_ || !finished_ || slot_of(id) == nullptr) return false;
  const char* lines[3] = {window.two_back, window.one_back, window.current};
  for (std::size_t i = 0; i < 3; ++i) {
    if (used_lines_[i] && std::memcmp(lines[i], start_.lines[i].data(), kLineSize) != 0) return false;
  }
  return !used_holder7_ || std::memcmp(tokens.fields[6].data(), start_.tokens.fields[6].data(), kTokenSize) == 0;
}

void ResponseRecording::restore_end_state(LineWindow& window, TokenHolders& tokens) const {
  PassState now;
  now.take_from(window, tokens);
  char* lines[3] = {window.two_back, window.one_back, window.current};
  for (std::size_t i = 0; i < 3; ++i) {
    const int origin = line_origins_[i];
    const char* source = origin < 0 ? end_.lines[i].data() : now.lines[static_cast<std::size_t>(origin)].data();
    std::memcpy(lines[i], source, kLineSize);
  }
  for (std::size_t h = 0; h < kTokenCount; ++h) {
    if ((holders_written_ >> h & 1u) != 0) tokens.fields[h] = end_.tokens.fields[h];
  }
}

}  // namespace vandorak
