// libFuzzer target: read_node_record against the C library's fscanf.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (const std::string difference = vandorak::fuzz::check_record(data, size); !difference.empty()) {
    std::fprintf(stderr, "record_fuzzer: read_node_record differs from fscanf: %s", difference.c_str());
    std::abort();
  }
  return 0;
}
