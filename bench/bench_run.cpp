// Times full runs of vandorak on listings made by gen_listing and prints
// the figures. Usage: bench_run [--quick]
//   --quick  skips the 100-node listing
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Case {
  const char* label;
  std::string generator_arguments;  // empty: the shipped sample listing
};

int run(const std::string& command) {
  const int status = std::system(command.c_str());
  return status == -1 ? -1 : (status >> 8) & 0xff;
}

}  // namespace

int main(int argc, char** argv) {
  const bool quick = argc > 1 && std::string(argv[1]) == "--quick";
  std::vector<Case> cases = {
      {"sample listing (4 nodes x 150 freqs)", ""},
      {"10 nodes x 1000 freqs", "--nodes 10 --freqs 1000"},
  };
  if (!quick) cases.push_back({"100 nodes x 1000 freqs", "--nodes 100 --freqs 1000"});

  const fs::path folder = fs::temp_directory_path() / "vandorak_bench";
  fs::remove_all(folder);
  fs::create_directories(folder);
  std::printf("%-40s %10s %6s %10s %12s\n", "listing", "size MB", "nodes", "wall s", "scanned MB/s");
  for (const Case& c : cases) {
    fs::path listing = fs::path(VANDORAK_SOURCE_DIR) / "examples" / "sample.out";
    if (!c.generator_arguments.empty()) {
      listing = folder / "listing.out";
      if (run(std::string(GEN_LISTING_BINARY) + " " + c.generator_arguments + " > " + listing.string()) != 0) {
        std::fprintf(stderr, "gen_listing failed\n");
        return 1;
      }
    }
    const fs::path work = folder / "work";
    fs::remove_all(work);
    fs::create_directories(work);
    std::ofstream(folder / "answers.txt") << listing.string() << "\n1\n";

    const auto start = std::chrono::steady_clock::now();
    const int status = run("cd " + work.string() + " && " + VANDORAK_BINARY + " < " + (folder / "answers.txt").string() +
                           " > " + (folder / "console.txt").string());
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (status != 0) {
      std::fprintf(stderr, "vandorak exited with %d\n", status);
      return 1;
    }
    // Each node's pass reads the whole listing; discovery reads it once more.
    const auto response_files = std::distance(fs::directory_iterator(work), fs::directory_iterator{}) - 1;
    const long nodes = static_cast<long>(response_files / 24);
    const double megabytes = static_cast<double>(fs::file_size(listing)) / 1e6;
    std::printf("%-40s %10.1f %6ld %10.2f %12.0f\n", c.label, megabytes, nodes, seconds,
                megabytes * static_cast<double>(nodes + 1) / seconds);
  }
  fs::remove_all(folder);
  return 0;
}
