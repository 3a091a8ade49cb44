#include "fuzz/harness.h"

#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <system_error>
#include <vector>

#include "common/run_state.h"
#include "driver/console.h"
#include "driver/dialogue.h"
#include "listing/listing_stream.h"
#include "listing/scanner.h"

namespace vandorak::fuzz {

namespace {

namespace fs = std::filesystem;

// ---------------------------------------------------------------------------
// Reader

// Thrown by the observer when a run reaches the pass limit.
struct PassLimitReached {};

class PassLimit : public RunObserver {
 public:
  void node_pass_started(std::int32_t /*id*/, std::size_t pass, std::size_t /*passes*/) override {
    if (pass >= kMaxPasses) throw PassLimitReached{};
  }
};

// The status a run cut off at the pass limit is given.
constexpr int kCutOff = -100;

// Text written to a stream in memory.
class MemoryStream {
 public:
  MemoryStream() : file_(::open_memstream(&data_, &size_)) {}
  ~MemoryStream() {
    if (file_ != nullptr) std::fclose(file_);
    ::free(data_);  // open_memstream's buffer is malloc'd
  }
  MemoryStream(const MemoryStream&) = delete;
  MemoryStream& operator=(const MemoryStream&) = delete;

  std::FILE* file() const { return file_; }
  std::string text() {
    std::fflush(file_);
    return data_ == nullptr ? std::string() : std::string(data_, size_);
  }

 private:
  char* data_ = nullptr;
  std::size_t size_ = 0;
  std::FILE* file_;
};

// Points the C library's stderr stream at another stream for its lifetime.
// The sanitizers write their reports to descriptor 2 directly, so those
// still reach the terminal. (glibc lets stderr be assigned.)
class StderrRedirect {
 public:
  explicit StderrRedirect(std::FILE* to) : saved_(stderr) { stderr = to; }
  ~StderrRedirect() {
    std::fflush(stderr);
    stderr = saved_;
  }
  StderrRedirect(const StderrRedirect&) = delete;
  StderrRedirect& operator=(const StderrRedirect&) = delete;

 private:
  std::FILE* saved_;
};

// The per-process scratch directory: the listing, and one output directory
// for each way of scanning. Memory-backed when /dev/shm is usable.
class Scratch {
 public:
  Scratch() {
    fs::path base = "/dev/shm";
    if (!fs::is_directory(base) || ::access(base.c_str(), W_OK) != 0) base = fs::temp_directory_path();
    std::string pattern = (base / "vandorak_fuzz_XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
      std::fprintf(stderr, "fuzz harness: cannot make a directory under %s: %s\n", base.c_str(),
                   std::strerror(errno));
      std::abort();
    }
    root_ = pattern;
    listing_ = root_ / "listing.out";
    recorded_ = root_ / "recorded";
    per_node_ = root_ / "per_node";
    fs::create_directory(recorded_);
    fs::create_directory(per_node_);
  }
  ~Scratch() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;

  const fs::path& listing() const { return listing_; }
  const fs::path& recorded() const { return recorded_; }
  const fs::path& per_node() const { return per_node_; }

 private:
  fs::path root_, listing_, recorded_, per_node_;
};

Scratch& scratch() {
  static Scratch instance;
  return instance;
}

std::string file_bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_bytes(const fs::path& path, const std::uint8_t* data, std::size_t size) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr || (size > 0 && std::fwrite(data, 1, size, file) != size) || std::fclose(file) != 0) {
    std::fprintf(stderr, "fuzz harness: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
    std::abort();
  }
}

void empty_directory(const fs::path& directory) {
  for (const fs::directory_entry& entry : fs::directory_iterator(directory)) fs::remove_all(entry.path());
}

struct ReaderRun {
  int status = 0;
  std::string out;
  std::string err;
  std::map<std::string, std::string> files;  // name to bytes
};

ReaderRun run_reader(int unit_answer, const fs::path& output_directory, bool per_node_scan) {
  static std::FILE* const no_input = std::fopen("/dev/null", "r");
  empty_directory(output_directory);
  MemoryStream out;
  MemoryStream err;
  PassLimit limit;
  RunOptions options;
  options.listing = scratch().listing().string();
  options.unit_answer = unit_answer;
  options.output_directory = output_directory.string();
  options.observer = &limit;
  options.per_node_scan = per_node_scan;
  const Console console{out.file(), nullptr};
  ReaderRun run;
  {
    const StderrRedirect redirect(err.file());
    try {
      run.status = run_dialogue(no_input, console, options);
    } catch (const PassLimitReached&) {
      clear_node_being_written();
      run.status = kCutOff;
    }
  }
  run.out = out.text();
  run.err = err.text();
  for (const fs::directory_entry& entry : fs::directory_iterator(output_directory)) {
    run.files[entry.path().filename().string()] =
        entry.is_regular_file() && !entry.is_symlink() ? file_bytes(entry.path()) : "<not a regular file>";
  }
  return run;
}

// Where two texts first differ, with a little of each around it.
std::string text_difference(const char* what, const std::string& recorded, const std::string& per_node) {
  std::size_t at = 0;
  while (at < recorded.size() && at < per_node.size() && recorded[at] == per_node[at]) ++at;
  const std::size_t from = at < 40 ? 0 : at - 40;
  return std::string(what) + " differs at byte " + std::to_string(at) + "\n  recorded: ..." +
         recorded.substr(from, 120) + "\n  per-node: ..." + per_node.substr(from, 120) + "\n";
}

std::string compare_runs(const ReaderRun& recorded, const ReaderRun& per_node) {
  if (recorded.status != per_node.status) {
    return "status: recorded " + std::to_string(recorded.status) + ", per-node " + std::to_string(per_node.status) +
           "\n";
  }
  if (recorded.out != per_node.out) return text_difference("console text", recorded.out, per_node.out);
  if (recorded.err != per_node.err) return text_difference("standard error", recorded.err, per_node.err);
  for (const auto& [name, bytes] : per_node.files) {
    const auto found = recorded.files.find(name);
    if (found == recorded.files.end()) return "file " + name + " written by the per-node scan only\n";
    if (found->second != bytes) return text_difference(("file " + name).c_str(), found->second, bytes);
  }
  for (const auto& [name, bytes] : recorded.files) {
    if (per_node.files.count(name) == 0) return "file " + name + " written by the recorded scan only\n";
  }
  return {};
}

// ---------------------------------------------------------------------------
// Records

constexpr std::size_t kMaxRecords = 4096;

// Distinct values for fields no read has converted yet.
NodeRecord unread_record() {
  NodeRecord record;
  record.node_id = 0x5a5a5a5a;
  record.type_code = -0x3c3c3c3c;
  for (std::size_t k = 0; k < 3; ++k) {
    record.translation[k] = 1000.25 + static_cast<double>(k);
    record.rotation[k] = 2000.25 + static_cast<double>(k);
  }
  for (std::size_t k = 0; k < 6; ++k) record.phase[k] = 3000.25 + static_cast<double>(k);
  return record;
}

// A stream reading the input bytes.
std::FILE* open_bytes(const std::uint8_t* data, std::size_t size) {
  // fmemopen only reads; a zero-size buffer may be refused.
  std::FILE* file = size > 0 ? ::fmemopen(const_cast<std::uint8_t*>(data), size, "r") : std::tmpfile();
  if (file == nullptr) {
    std::fprintf(stderr, "fuzz harness: cannot open the input as a stream: %s\n", std::strerror(errno));
    std::abort();
  }
  return file;
}

struct Step {
  int converted = 0;
  long position = 0;  // bytes consumed after the step
  NodeRecord record;
};

std::string rest_of(std::FILE* file) {
  std::string rest;
  for (int c = std::getc(file); c != EOF; c = std::getc(file)) rest.push_back(static_cast<char>(c));
  return rest;
}

std::string rest_of(ListingStream& stream) {
  std::string rest;
  for (int c = stream.get(); c != EOF; c = stream.get()) rest.push_back(static_cast<char>(c));
  return rest;
}

// The record pairs as the C library reads them, up to the first read that
// does not convert all eight fields.
std::vector<Step> reference_steps(const std::uint8_t* data, std::size_t size, std::string& rest) {
  std::FILE* file = open_bytes(data, size);
  std::vector<Step> steps;
  NodeRecord r = unread_record();
  while (steps.size() < kMaxRecords) {
    Step step;
    step.converted = std::fscanf(file, "%d %d %lf %lf %lf %lf %lf %lf", &r.node_id, &r.type_code, &r.translation[0],
                                 &r.translation[1], &r.translation[2], &r.rotation[0], &r.rotation[1],
                                 &r.rotation[2]);
    if (std::fscanf(file, "      %lf %lf %lf %lf %lf %lf", &r.phase[0], &r.phase[1], &r.phase[2], &r.phase[3],
                    &r.phase[4], &r.phase[5]) < 0) {
      // Nothing to do: the count of the second part is not used.
    }
    step.position = std::ftell(file);
    step.record = r;
    steps.push_back(step);
    if (step.converted != 8) break;
  }
  rest = rest_of(file);
  std::fclose(file);
  return steps;
}

std::string show_double(double value) {
  std::uint64_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  char text[64];
  std::snprintf(text, sizeof text, "%.17g (0x%016" PRIx64 ")", value, bits);
  return text;
}

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// The first field in which got differs from expected, or empty.
std::string field_difference(const NodeRecord& expected, const NodeRecord& got) {
  if (expected.node_id != got.node_id) {
    return "node id: fscanf " + std::to_string(expected.node_id) + ", read_node_record " + std::to_string(got.node_id);
  }
  if (expected.type_code != got.type_code) {
    return "type code: fscanf " + std::to_string(expected.type_code) + ", read_node_record " +
           std::to_string(got.type_code);
  }
  struct Field {
    const char* name;
    double expected, got;
  };
  const Field fields[] = {
      {"T1", expected.translation[0], got.translation[0]}, {"T2", expected.translation[1], got.translation[1]},
      {"T3", expected.translation[2], got.translation[2]}, {"R1", expected.rotation[0], got.rotation[0]},
      {"R2", expected.rotation[1], got.rotation[1]},       {"R3", expected.rotation[2], got.rotation[2]},
      {"P1", expected.phase[0], got.phase[0]},             {"P2", expected.phase[1], got.phase[1]},
      {"P3", expected.phase[2], got.phase[2]},             {"P4", expected.phase[3], got.phase[3]},
      {"P5", expected.phase[4], got.phase[4]},             {"P6", expected.phase[5], got.phase[5]},
  };
  for (const Field& f : fields) {
    if (!same_bits(f.expected, f.got)) {
      return std::string(f.name) + ": fscanf " + show_double(f.expected) + ", read_node_record " + show_double(f.got);
    }
  }
  return {};
}

// What a filtered read leaves in its record at every step: the id whenever
// it converts; the other converted fields only for ids in the set; no phase.
std::vector<NodeRecord> filtered_expectation(const std::vector<Step>& steps, const IdSet& only_for) {
  std::vector<NodeRecord> records;
  NodeRecord expected = unread_record();
  for (const Step& step : steps) {
    const NodeRecord& r = step.record;
    if (step.converted >= 1) {
      expected.node_id = r.node_id;
      if (only_for.contains(r.node_id)) {
        if (step.converted >= 2) expected.type_code = r.type_code;
        for (int k = 2; k < step.converted; ++k) {
          const auto index = static_cast<std::size_t>(k < 5 ? k - 2 : k - 5);
          (k < 5 ? expected.translation : expected.rotation)[index] = (k < 5 ? r.translation : r.rotation)[index];
        }
      }
    }
    records.push_back(expected);
  }
  return records;
}

// Replays the steps with read_node_record over a stream with the given
// buffer size; expected holds the record after each step.
std::string replay(const std::uint8_t* data, std::size_t size, const std::vector<Step>& steps,
                   const std::vector<NodeRecord>& expected, const std::string& rest, std::size_t buffer_size,
                   const IdSet* only_for) {
  std::FILE* file = open_bytes(data, size);
  ListingStream stream(file, buffer_size);
  NodeRecord record = unread_record();
  const std::string where = "buffer " + std::to_string(buffer_size) +
                            (only_for == nullptr ? std::string()
                                                 : ", filter of " + std::to_string(only_for->size()) + " ids") +
                            ", record ";
  std::string difference;
  for (std::size_t i = 0; i < steps.size() && difference.empty(); ++i) {
    const int converted = read_node_record(record, stream, only_for);
    const std::string at = where + std::to_string(i) + ": ";
    if (converted != steps[i].converted) {
      difference = at + "converted fscanf " + std::to_string(steps[i].converted) + ", read_node_record " +
                   std::to_string(converted);
    } else if (static_cast<long>(stream.consumed()) != steps[i].position) {
      difference = at + "consumed fscanf " + std::to_string(steps[i].position) + ", read_node_record " +
                   std::to_string(stream.consumed());
    } else if (const std::string field = field_difference(expected[i], record); !field.empty()) {
      difference = at + field;
    }
  }
  if (difference.empty()) {
    if (const std::string left = rest_of(stream); left != rest) {
      difference = where + "end: " + std::to_string(rest.size()) + " bytes left after fscanf, " +
                   std::to_string(left.size()) + " after read_node_record";
    }
  }
  std::fclose(file);
  return difference.empty() ? difference : difference + "\n";
}

}  // namespace

std::string check_reader(const std::uint8_t* data, std::size_t size) {
  write_bytes(scratch().listing(), data, size);
  const int unit_answer = size > 0 && (data[0] & 1) != 0 ? 1 : 2;
  const ReaderRun recorded = run_reader(unit_answer, scratch().recorded(), false);
  const ReaderRun per_node = run_reader(unit_answer, scratch().per_node(), true);
  return compare_runs(recorded, per_node);
}

std::string check_record(const std::uint8_t* data, std::size_t size) {
  std::string rest;
  const std::vector<Step> steps = reference_steps(data, size, rest);
  std::vector<NodeRecord> unfiltered;
  for (const Step& step : steps) unfiltered.push_back(step.record);
  for (const std::size_t buffer_size : {std::size_t{1}, std::size_t{7}, std::size_t{1} << 16}) {
    if (std::string d = replay(data, size, steps, unfiltered, rest, buffer_size, nullptr); !d.empty()) return d;
  }
  // Ids of every other pair held, the rest not; then none held.
  IdSet even;
  for (std::size_t i = 0; i < steps.size(); i += 2) {
    if (steps[i].converted >= 1) even.insert(steps[i].record.node_id);
  }
  const IdSet none;
  const std::vector<NodeRecord> even_expected = filtered_expectation(steps, even);
  const std::vector<NodeRecord> none_expected = filtered_expectation(steps, none);
  for (const std::size_t buffer_size : {std::size_t{7}, std::size_t{1} << 16}) {
    if (std::string d = replay(data, size, steps, even_expected, rest, buffer_size, &even); !d.empty()) return d;
  }
  return replay(data, size, steps, none_expected, rest, 7, &none);
}

}  // namespace vandorak::fuzz
