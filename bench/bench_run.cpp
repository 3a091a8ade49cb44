// Times full runs of vandorak on listings made by gen_listing against two
// floors measured in the same run: one raw read of the listing, and writing
// the run's output files with nothing else. Prints one table per listing.
//
// Usage: bench_run [--quick] [--huge]
//   --quick  only the 5 MB listing (skips the 46 MB one)
//   --huge   adds a 500 MB listing (recorded scan only), for peak memory
//
// Work files go under <temp>/vandorak_bench and are removed at the end.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int kRepeats = 3;
constexpr std::size_t kReadBlock = std::size_t{1} << 20;
constexpr double kMega = 1e6;
constexpr double kMebi = 1024.0 * 1024.0;

#ifdef PER_NODE_SCAN_BINARY
constexpr const char* kPerNodeBinary = PER_NODE_SCAN_BINARY;
#else
constexpr const char* kPerNodeBinary = nullptr;
#endif

struct Case {
  const char* label;
  long nodes;
  long freqs;
  bool per_node;  // the per-node scan takes minutes on the largest listing
};

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double seconds_of(const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; }

// Thrown on any failure; main reports it and cleans up.
struct BenchFailure {
  std::string reason;
};

[[noreturn]] void fail(const std::string& reason) { throw BenchFailure{reason}; }

std::string errno_text() { return std::strerror(errno); }

// ---------------------------------------------------------------------------
// Child processes

struct ChildRun {
  double seconds = 0;
  double user_seconds = 0;
  double system_seconds = 0;
  long peak_rss_kib = 0;
  long long bytes_read = -1;  // from /proc/PID/io; -1 when it cannot be read
};

// rchar of a child that has exited but is not yet reaped.
long long bytes_read_by(pid_t pid) {
  std::ifstream io("/proc/" + std::to_string(pid) + "/io");
  std::string key;
  long long value = 0;
  while (io >> key >> value) {
    if (key == "rchar:") return value;
  }
  return -1;
}

// Runs binary with arguments in directory, standard input from input and
// standard output to output; standard error is the bench's. Fails unless
// the child exits with status 0.
ChildRun run_child(const std::string& binary, const std::vector<std::string>& arguments, const fs::path& directory,
                   const fs::path& input, const fs::path& output) {
  std::vector<std::string> words{binary};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  const std::string directory_text = directory.string();
  const std::string input_text = input.string();
  const std::string output_text = output.string();

  const Clock::time_point start = Clock::now();
  const pid_t pid = fork();
  if (pid < 0) fail("fork: " + errno_text());
  if (pid == 0) {
    const int in = ::open(input_text.c_str(), O_RDONLY);
    const int out = ::open(output_text.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::chdir(directory_text.c_str()) != 0) {
      std::fprintf(stderr, "bench_run: cannot set up the child for %s: %s\n", argv[0], std::strerror(errno));
      _exit(127);
    }
    ::close(in);
    ::close(out);
    ::execv(argv[0], argv.data());
    std::fprintf(stderr, "bench_run: cannot run %s: %s\n", argv[0], std::strerror(errno));
    _exit(127);
  }
  // Wait without reaping, so that the child's /proc entry can still be read.
  siginfo_t info{};
  while (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) != 0) {
    if (errno != EINTR) fail("waitid: " + errno_text());
  }
  ChildRun run;
  run.seconds = seconds_since(start);
  run.bytes_read = bytes_read_by(pid);
  int status = 0;
  rusage usage{};
  while (::wait4(pid, &status, 0, &usage) < 0) {
    if (errno != EINTR) fail("wait4: " + errno_text());
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    fail(binary + " failed (wait status " + std::to_string(status) + ")");
  }
  run.user_seconds = seconds_of(usage.ru_utime);
  run.system_seconds = seconds_of(usage.ru_stime);
  run.peak_rss_kib = usage.ru_maxrss;
  return run;
}

void make_fresh_directory(const fs::path& directory) {
  fs::remove_all(directory);
  fs::create_directories(directory);
}

// Best time of kRepeats runs, each in a fresh directory (left with the last
// run's files); the peak memory is the largest of the runs.
ChildRun best_of_runs(const std::string& binary, const fs::path& directory, const fs::path& answers,
                      const fs::path& console) {
  ChildRun best;
  long peak = 0;
  for (int i = 0; i < kRepeats; ++i) {
    make_fresh_directory(directory);
    const ChildRun run = run_child(binary, {}, directory, answers, console);
    peak = std::max(peak, run.peak_rss_kib);
    if (i == 0 || run.seconds < best.seconds) best = run;
  }
  best.peak_rss_kib = peak;
  return best;
}

// ---------------------------------------------------------------------------
// Floors

struct RawRead {
  double seconds = 0;
  long long lines = 0;
};

// One read of the listing in 1 MiB blocks, finding every line end.
RawRead raw_read(const fs::path& listing, char* block) {
  const Clock::time_point start = Clock::now();
  std::FILE* file = std::fopen(listing.c_str(), "rb");
  if (file == nullptr) fail("cannot open " + listing.string() + ": " + errno_text());
  long long lines = 0;
  bool open_line = false;
  for (;;) {
    const std::size_t got = std::fread(block, 1, kReadBlock, file);
    if (got == 0) break;
    const char* p = block;
    const char* const end = block + got;
    while (const void* found = std::memchr(p, '\n', static_cast<std::size_t>(end - p))) {
      ++lines;
      p = static_cast<const char*>(found) + 1;
    }
    open_line = p != end;
  }
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) fail("cannot read " + listing.string());
  RawRead result;
  result.seconds = seconds_since(start);
  result.lines = lines + (open_line ? 1 : 0);
  return result;
}

RawRead best_raw_read(const fs::path& listing) {
  const auto block = std::make_unique<char[]>(kReadBlock);
  raw_read(listing, block.get());  // warms the cache
  RawRead best;
  for (int i = 0; i < kRepeats; ++i) {
    const RawRead read = raw_read(listing, block.get());
    if (i == 0 || read.seconds < best.seconds) best = read;
  }
  return best;
}

// Every regular file of a directory, held in one block of memory so that
// freeing it gives the memory back before the next child is started.
struct OutputFiles {
  std::vector<std::string> names;
  std::vector<std::size_t> offsets;  // names.size() + 1 entries into bytes
  std::vector<char> bytes;

  std::size_t size() const { return bytes.size(); }
};

OutputFiles read_output_files(const fs::path& directory) {
  OutputFiles files;
  std::size_t total = 0;
  for (const fs::directory_entry& entry : fs::directory_iterator(directory)) {
    if (!entry.is_regular_file()) continue;
    files.names.push_back(entry.path().filename().string());
    total += entry.file_size();
  }
  std::sort(files.names.begin(), files.names.end());
  files.bytes.resize(total);
  std::size_t at = 0;
  for (const std::string& name : files.names) {
    files.offsets.push_back(at);
    const fs::path path = directory / name;
    const std::size_t size = fs::file_size(path);
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) fail("cannot open " + path.string() + ": " + errno_text());
    const std::size_t got = std::fread(files.bytes.data() + at, 1, size, file);
    std::fclose(file);
    if (got != size) fail("cannot read " + path.string());
    at += size;
  }
  files.offsets.push_back(at);
  return files;
}

double write_output_files(const OutputFiles& files, const fs::path& directory) {
  make_fresh_directory(directory);
  const Clock::time_point start = Clock::now();
  for (std::size_t i = 0; i < files.names.size(); ++i) {
    const fs::path path = directory / files.names[i];
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) fail("cannot create " + path.string() + ": " + errno_text());
    const std::size_t size = files.offsets[i + 1] - files.offsets[i];
    const bool wrote = std::fwrite(files.bytes.data() + files.offsets[i], 1, size, file) == size;
    if (std::fclose(file) != 0 || !wrote) fail("cannot write " + path.string() + ": " + errno_text());
  }
  const double seconds = seconds_since(start);
  fs::remove_all(directory);
  return seconds;
}

double best_output_write(const OutputFiles& files, const fs::path& directory) {
  double best = 0;
  for (int i = 0; i < kRepeats; ++i) {
    const double seconds = write_output_files(files, directory);
    if (i == 0 || seconds < best) best = seconds;
  }
  return best;
}

// True when both directories hold the same regular files with the same bytes.
bool same_files(const fs::path& a, const fs::path& b) {
  auto names_in = [](const fs::path& directory) {
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(directory)) {
      if (entry.is_regular_file()) names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  };
  auto contents = [](const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  };
  const std::vector<std::string> names = names_in(a);
  if (names != names_in(b)) return false;
  return std::all_of(names.begin(), names.end(),
                     [&](const std::string& name) { return contents(a / name) == contents(b / name); });
}

// ---------------------------------------------------------------------------
// One listing

void print_time_row(const char* what, double seconds, double floor) {
  std::printf("  %-34s %8.4f %8.2f\n", what, seconds, seconds / floor);
}

void print_run_row(const char* what, const ChildRun& run, double floor) {
  std::printf("  %-34s %8.4f %8.2f %9.1f %7.2f %7.2f", what, run.seconds, run.seconds / floor,
              static_cast<double>(run.peak_rss_kib) * 1024.0 / kMebi, run.user_seconds, run.system_seconds);
  if (run.bytes_read >= 0) {
    std::printf(" %9.1f\n", static_cast<double>(run.bytes_read) / kMega);
  } else {
    std::printf(" %9s\n", "?");
  }
}

void bench_listing(const Case& c, const fs::path& folder) {
  const fs::path listing = folder / "listing.out";
  const fs::path answers = folder / "answers.txt";
  const fs::path console = folder / "console.txt";
  const fs::path recorded_dir = folder / "recorded";
  const fs::path per_node_dir = folder / "per_node";
  const fs::path rewrite_dir = folder / "rewrite";

  run_child(GEN_LISTING_BINARY,
            {"--nodes", std::to_string(c.nodes), "--freqs", std::to_string(c.freqs), "--seed", "7"}, folder,
            "/dev/null", listing);
  std::ofstream(answers) << listing.string() << "\n1\n";
  const double listing_bytes = static_cast<double>(fs::file_size(listing));

  const RawRead read = best_raw_read(listing);
  // Child runs come before the output files are held in memory: a forked
  // child's peak resident memory starts from the bench's own.
  const ChildRun recorded = best_of_runs(VANDORAK_BINARY, recorded_dir, answers, console);
  std::optional<ChildRun> per_node;
  std::optional<bool> identical;
  if (c.per_node && kPerNodeBinary != nullptr) {
    per_node = best_of_runs(kPerNodeBinary, per_node_dir, answers, console);
    identical = same_files(recorded_dir, per_node_dir);
    fs::remove_all(per_node_dir);
  }
  const ChildRun trivial = run_child("/bin/true", {}, folder, "/dev/null", "/dev/null");

  double output_write = 0;
  std::size_t output_bytes = 0;
  std::size_t output_count = 0;
  {
    const OutputFiles files = read_output_files(recorded_dir);
    output_bytes = files.size();
    output_count = files.names.size();
    fs::remove_all(recorded_dir);
    output_write = best_output_write(files, rewrite_dir);
  }
  fs::remove(listing);

  const double floor = read.seconds + output_write;
  std::printf("\n%s: listing %.1f MB, %lld lines; output %zu files, %.1f MB\n", c.label, listing_bytes / kMega,
              read.lines, output_count, static_cast<double>(output_bytes) / kMega);
  std::printf("  %-34s %8s %8s %9s %7s %7s %9s\n", "", "best s", "x floor", "peak MiB", "user s", "sys s",
              "read MB");
  print_run_row("vandorak (recorded scan)", recorded, floor);
  if (per_node) {
    print_run_row("vandorak_per_node_scan", *per_node, floor);
  } else {
    std::printf("  %-34s %s\n", "vandorak_per_node_scan",
                kPerNodeBinary == nullptr ? "skipped (tests not built)" : "skipped on this listing");
  }
  print_time_row("raw read + line split (1 scan)", read.seconds, floor);
  print_time_row("output write (open/fwrite/close)", output_write, floor);
  print_time_row("floor = raw read + output write", floor, floor);
  std::printf("  raw read: %.0f MB/s\n", listing_bytes / read.seconds / kMega);
  if (recorded.bytes_read >= 0) {
    // Everything but the output floor is charged to reading the listing.
    const double reading = recorded.seconds - output_write;
    std::printf("  vandorak read %.1f listings' worth; scan rate estimate %.0f MB/s"
                " (bytes read / (run - output write))\n",
                static_cast<double>(recorded.bytes_read) / listing_bytes,
                reading > 0 ? static_cast<double>(recorded.bytes_read) / reading / kMega : 0.0);
  } else {
    std::printf("  scan rate estimate %.0f MB/s (listing size / (run - output write); bytes read unknown)\n",
                listing_bytes / (recorded.seconds - output_write) / kMega);
  }
  if (per_node && per_node->bytes_read >= 0 && per_node->seconds > output_write) {
    // Every node's pass reads the whole listing, so this is the rate of one
    // scan pass for one node, writing aside.
    std::printf("  per-node scan rate estimate %.0f MB/s over %.0f scans (bytes read / (run - output write))\n",
                static_cast<double>(per_node->bytes_read) / (per_node->seconds - output_write) / kMega,
                static_cast<double>(per_node->bytes_read) / listing_bytes);
  }
  if (identical) std::printf("  per-node scan output identical: %s\n", *identical ? "yes" : "NO");
  std::printf("  peak MiB of a trivial child (/bin/true) started the same way: %.1f\n",
              static_cast<double>(trivial.peak_rss_kib) * 1024.0 / kMebi);
  std::fflush(stdout);
}

// Removes the bench's folder however the bench ends.
struct FolderGuard {
  fs::path path;
  ~FolderGuard() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
};

}  // namespace

int main(int argc, char** argv) {
  bool quick = false;
  bool huge = false;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--quick") {
      quick = true;
    } else if (argument == "--huge") {
      huge = true;
    } else {
      std::fprintf(stderr, "usage: bench_run [--quick] [--huge]\n");
      return 2;
    }
  }
  std::vector<Case> cases = {{"100 nodes x 109 freqs", 100, 109, true}};
  if (!quick) cases.push_back({"100 nodes x 1000 freqs", 100, 1000, true});
  if (huge) cases.push_back({"100 nodes x 10900 freqs", 100, 10900, false});

  const FolderGuard folder{fs::temp_directory_path() / "vandorak_bench"};
  std::printf("times: best of %d, warm cache (listing read once before timing); peak MiB: largest ru_maxrss\n"
              "of the %d runs (wait4); user/sys: of the best run; read MB: rchar of the best run;\n"
              "x floor: time / (raw read + output write)\n",
              kRepeats, kRepeats);
  if (std::ifstream load("/proc/loadavg"); load) {
    std::string one, five;
    load >> one >> five;
    std::printf("load average at start: %s %s\n", one.c_str(), five.c_str());
  }
  try {
    make_fresh_directory(folder.path);
    for (const Case& c : cases) bench_listing(c, folder.path);
  } catch (const BenchFailure& failure) {
    std::fprintf(stderr, "bench_run: %s\n", failure.reason.c_str());
    return 1;
  } catch (const fs::filesystem_error& error) {
    std::fprintf(stderr, "bench_run: %s\n", error.what());
    return 1;
  }
  return 0;
}
