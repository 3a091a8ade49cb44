// Times one response pass over a listing in-process, with nothing else:
// the recording scan of the first node (every listed node's pairs kept)
// and a plain per-node scan, each as MB/s of listing on warm cache.
// Usage: bench_scan LISTING
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "common/run_state.h"
#include "listing/passes.h"
#include "listing/response_recording.h"
#include "output/response_files.h"

namespace fs = std::filesystem;
using namespace vandorak;

namespace {

// Seconds for one pass for the list's first node, best of three.
double time_pass(RunState& state, const Console& console, bool record) {
  double best = 1e30;
  for (int round = 0; round < 3; ++round) {
    ResponseRecording recording;
    state.listing.rewind();
    state.node_of_interest = state.nodes.front();
    if (open_response_files(state.units, state.node_of_interest, console) != 0) return -1;
    const auto start = std::chrono::steady_clock::now();
    const ScanResult result = scan_responses(state, console, record ? &recording : nullptr, state.nodes);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    close_response_files(state.units, console);
    if (!result.ok) return -1;
    if (seconds < best) best = seconds;
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: bench_scan LISTING\n");
    return 2;
  }
  const fs::path listing = fs::absolute(argv[1]);
  const fs::path work = fs::temp_directory_path() / ("vandorak_bench_scan_" + std::to_string(getpid()));
  fs::create_directories(work);
  fs::current_path(work);

  RunState state;
  state.units[kListingUnit].name = listing.string();
  state.units[kNodeListUnit].name = kNodeListName;
  state.units[kListingUnit].stream = std::fopen(listing.c_str(), "rb");
  if (state.units[kListingUnit].stream == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  state.listing.attach(state.units[kListingUnit].stream);
  std::FILE* quiet = std::fopen("/dev/null", "w");
  const Console console{quiet, nullptr};
  scan_natural_frequencies(state, console);
  if (discover_nodes(state, console) != DiscoveryResult::found) {
    std::fprintf(stderr, "no nodes in %s\n", argv[1]);
    return 1;
  }
  state.unit_answer = 1;
  const double megabytes = static_cast<double>(fs::file_size(listing)) / 1e6;
  time_pass(state, console, false);  // warms the cache
  const double plain = time_pass(state, console, false);
  const double recorded = time_pass(state, console, true);
  std::printf("listing %.1f MB, %zu nodes; one pass, best of 3, warm cache:\n", megabytes, state.nodes.size());
  std::printf("  per-node scan      %8.4f s  %6.0f MB/s\n", plain, megabytes / plain);
  std::printf("  recording scan     %8.4f s  %6.0f MB/s  (every listed node's pairs kept)\n", recorded,
              megabytes / recorded);
  std::fclose(quiet);
  fs::current_path(fs::temp_directory_path());
  fs::remove_all(work);
  return 0;
}
