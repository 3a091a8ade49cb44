// Replays the fuzz targets' seed corpus and every input they were found to
// fail on through the same checks, without libFuzzer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/harness.h"

namespace {

namespace fs = std::filesystem;

using Check = std::string (*)(const std::uint8_t*, std::size_t);

std::vector<fs::path> files_under(const std::vector<fs::path>& directories) {
  std::vector<fs::path> files;
  for (const fs::path& directory : directories) {
    if (!fs::is_directory(directory)) continue;
    for (const fs::directory_entry& entry : fs::directory_iterator(directory)) {
      if (entry.is_regular_file()) files.push_back(entry.path());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

void replay_all(const char* kind, Check check) {
  const fs::path source = VANDORAK_SOURCE_DIR;
  const std::vector<fs::path> files =
      files_under({source / "fuzz/corpus" / kind, source / "tests/fuzz_regressions" / kind});
  ASSERT_FALSE(files.empty()) << "no inputs for the " << kind << " checks under " << source;
  for (const fs::path& file : files) {
    std::ifstream in(file, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_EQ(check(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), "") << file;
  }
}

TEST(FuzzRegressions, ReaderScansAgreeOnEverySavedListing) { replay_all("reader", vandorak::fuzz::check_reader); }

TEST(FuzzRegressions, RecordReadsAgreeWithFscanfOnEverySavedText) {
  replay_all("record", vandorak::fuzz::check_record);
}

}  // namespace
