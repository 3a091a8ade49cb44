// Line-by-line reading of a solver listing and the free-format reading of
// node records, shared by every pass over the listing.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "common/run_state.h"
#include "listing/listing_stream.h"

namespace vandorak {

inline constexpr const char* kEigenvalueTitle = "R E A L   E I G E N V A L U E S";
inline constexpr const char* kAccelerationTitle = "C O M P L E X   A C C E L";
inline constexpr const char* kDisplacementTitle = "C O M P L E X   D I S P";
inline constexpr const char* kSummaryWarnings = "TOTAL WARNINGS";
inline constexpr const char* kSummaryFatal = "TOTAL FATAL ERRORS";

// Reads at most kLineSize - 1 characters into buffer, stopping after a line
// end. A longer physical line arrives over several reads. Returns false at
// end of input, leaving buffer unchanged.
bool read_line(char* buffer, ListingStream& listing);

// Shifts the window (scratch takes two-back, two-back takes one-back,
// one-back takes current), then reads the next line into current. At end of
// input returns false; the shift has happened and current keeps its text.
bool next_line(LineWindow& window, ListingStream& listing);

// Skips count lines by reading them into scratch.
void skip_lines(LineWindow& window, ListingStream& listing, int count);

bool line_contains(const char* line, const char* phrase);

// Splits line at white space into the first count token holders; holders
// the line has no token for keep their old text. A token longer than a
// holder keeps its first kTokenSize - 1 characters. Returns tokens stored.
int split_header_tokens(TokenHolders& tokens, const char* line, int count);

// The standard decimal conversion of a token: leading blanks, sign, digits,
// fraction, exponent; trailing text ignored, no number gives 0.
double convert_token(const char* token);

// Splits the window's two-back line into eight holders and returns holder 7
// as a number, rounded to single precision.
float read_block_frequency(LineWindow& window, TokenHolders& tokens);

// A set of node ids: the pairs whose values a filtered record read keeps.
class IdSet {
 public:
  void clear() { ids_.clear(); }
  void insert(std::int32_t id) {
    const auto at = std::lower_bound(ids_.begin(), ids_.end(), id);
    if (at == ids_.end() || *at != id) ids_.insert(at, id);
  }
  void erase(std::int32_t id) {
    const auto at = std::lower_bound(ids_.begin(), ids_.end(), id);
    if (at != ids_.end() && *at == id) ids_.erase(at);
  }
  bool contains(std::int32_t id) const { return std::binary_search(ids_.begin(), ids_.end(), id); }
  bool empty() const { return ids_.empty(); }
  std::size_t size() const { return ids_.size(); }

 private:
  std::vector<std::int32_t> ids_;  // sorted
};

// Reads one record pair with free-format input: "%d %d %lf %lf %lf %lf %lf
// %lf", then "      %lf %lf %lf %lf %lf %lf" whatever the first part gave,
// consuming exactly what the C library's fscanf would. Returns the number of
// fields the first part converted (EOF at end of input). Unconverted fields
// keep their values; the listing is left at the text that stopped the read.
// With only_for given, a pair of a node outside it is scanned and counted
// but only its id is stored, and no pair's phases are stored.
int read_node_record(NodeRecord& record, ListingStream& listing, const IdSet* only_for = nullptr);

}  // namespace vandorak
