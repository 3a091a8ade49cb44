// The fixed holders shared by the passes over a listing, and the file units.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "listing/listing_stream.h"

namespace vandorak {

static_assert(sizeof(int) == 4, "node ids are read with %d into a 32-bit int");

constexpr int kUnitCount = 45;
constexpr int kListingUnit = 0;
constexpr int kNodeListUnit = 21;
constexpr const char* kNodeListName = "sdfsd.txt";

// A file unit: a name and, while the file is open, its stream.
struct FileUnit {
  std::string name;
  std::FILE* stream = nullptr;
};

// Units 0 to 44, addressed by number: 0 the listing, 1-12 acceleration
// responses, 21 the node-list file, 31-42 displacement responses.
struct FileUnitTable {
  std::array<FileUnit, kUnitCount> units;

  FileUnit& operator[](int unit) { return units[static_cast<std::size_t>(unit)]; }
};

constexpr int kLineSize = 200;  // one read takes at most kLineSize - 1 characters

// The last three lines read by the scan, plus a scratch line for skipped
// lines. Never cleared: it keeps its lines across rewinds of the listing.
struct LineWindow {
  std::array<std::array<char, kLineSize>, 4> buffers{};
  char* two_back = buffers[0].data();
  char* one_back = buffers[1].data();
  char* current = buffers[2].data();
  char* scratch = buffers[3].data();

  LineWindow() = default;
  LineWindow(const LineWindow&) = delete;
  LineWindow& operator=(const LineWindow&) = delete;
};

constexpr int kTokenCount = 8;
constexpr int kTokenSize = 20;  // a token keeps at most kTokenSize - 1 characters

// Eight token fields. A split overwrites only as many as the line has tokens;
// the others keep what an earlier split left in them.
struct TokenHolders {
  std::array<std::array<char, kTokenSize>, kTokenCount> fields{};

  // 1-based, as the listing's columns are counted.
  const char* token(int n) const { return fields[static_cast<std::size_t>(n - 1)].data(); }
};

// One node record pair. Fields a read does not convert keep their last values.
struct NodeRecord {
  int node_id = 0;
  int type_code = 0;
  std::array<double, 3> translation{};  // T1..T3 magnitudes
  std::array<double, 3> rotation{};     // R1..R3 magnitudes
  std::array<double, 6> phase{};        // P1..P6, read and not used
};

enum class ResponseKind { acceleration, displacement };

// Node ids of the first complex acceleration block, in listing order.
using NodeList = std::vector<std::int32_t>;

// Console output and the key wait, handed to every pass so a test can
// capture what the user would see.
struct Console {
  std::FILE* out = stdout;
  void (*wait_key)() = nullptr;

  void wait() const {
    if (wait_key != nullptr) wait_key();
  }
};

// Everything a run keeps from its first prompt to its end.
struct RunState {
  FileUnitTable units;
  ListingStream listing;  // reads unit 0
  LineWindow window;
  TokenHolders tokens;
  NodeRecord record;
  float block_frequency = 0.0f;
  NodeList nodes;
  int unit_answer = 0;
  std::int32_t node_of_interest = 0;

  RunState() = default;
  RunState(const RunState&) = delete;
  RunState& operator=(const RunState&) = delete;
  ~RunState();
};

// 386.0 for acceleration blocks when the unit question was answered 1, else 1.0.
double acceleration_divisor(ResponseKind kind, int unit_answer);

}  // namespace vandorak
