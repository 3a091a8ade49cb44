// libFuzzer target: the whole reader, recorded scan against per-node scan.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (const std::string difference = vandorak::fuzz::check_reader(data, size); !difference.empty()) {
    std::fprintf(stderr, "reader_fuzzer: the two scans differ: %s", difference.c_str());
    std::abort();
  }
  return 0;
}
