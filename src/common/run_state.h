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

// errno-style code of a unit whose file would be the listing itself.
constexpr int kIsTheListing = -1;

// A file unit: a name and, while the file is open, its stream.
struct FileUnit {
  std::string name;
  std::FILE* stream = nullptr;
  int error = 0;  // errno of the unit's last failure, or kIsTheListing
};

class RunObserver;

// Units 0 to 44, addressed by number: 0 the listing, 1-12 acceleration
// responses, 21 the node-list file, 31-42 displacement responses.
struct FileUnitTable {
  std::array<FileUnit, kUnitCount> units;
  // Where the written files go; empty for the working directory. Unit
  // names stay bare file names.
  std::string directory;
  // The listing's device and inode, once it is open: no written file may be it.
  bool listing_known = false;
  unsigned long long listing_device = 0;
  unsigned long long listing_inode = 0;
  // Sees every response line set written, as written.
  RunObserver* observer = nullptr;

  FileUnit& operator[](int unit) { return units[static_cast<std::size_t>(unit)]; }

  // The path a written unit's file has.
  std::string path_of(int unit) const;
  // Opens unit's file by its name in the output directory with mode,
  // refusing the listing itself. On failure returns null and sets the
  // unit's error.
  std::FILE* open(int unit, const char* mode);
  // Describes the unit's last failure, for diagnostics.
  std::string reason(int unit) const;
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

// What a run shows besides its console text, so that reports can be made
// from the very values written. Every call has a default that does nothing.
class RunObserver {
 public:
  virtual ~RunObserver() = default;
  // One row of the eigenvalue table: the mode number as printed, and Hz.
  virtual void natural_frequency(const char* /*mode*/, double /*hz*/) {}
  // A node's pass is about to write its files (pass counts from 0).
  virtual void node_pass_started(std::int32_t /*id*/, std::size_t /*pass*/, std::size_t /*passes*/) {}
  // Twelve values were written for one block: six magnitudes (divided as
  // written), then their squares.
  virtual void response_line(ResponseKind /*kind*/, float /*frequency*/, const double* /*values*/) {}
  // The node's files are closed; bytes_scanned is what its pass read of
  // the listing (0 when it was answered from a recording).
  virtual void node_pass_finished(std::int32_t /*id*/, std::size_t /*bytes_scanned*/) {}
};

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
  RunObserver* observer = nullptr;
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
