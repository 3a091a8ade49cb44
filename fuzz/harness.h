// The checks the fuzz targets make on one input, shared with the regression
// test that replays saved inputs without libFuzzer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vandorak::fuzz {

// Passes a run starts before both runs of a reader check are cut off.
inline constexpr std::size_t kMaxPasses = 8;

// Runs the whole reader on data as the listing, once answering the node
// passes from the recorded scan and once with the per-node scan, and
// compares status, console text, diagnostics and written files. The unit
// answer is 1 when the first byte is odd, else 2. Returns a description of
// the first difference, empty when the runs agree.
std::string check_reader(const std::uint8_t* data, std::size_t size);

// Reads data as a sequence of record pairs with the C library's fscanf and
// with read_node_record (several buffer sizes, with and without an id
// filter), and compares every field bit for bit, the converted counts and
// the bytes consumed. Returns a description of the first difference, empty
// when all agree.
std::string check_record(const std::uint8_t* data, std::size_t size);

}  // namespace vandorak::fuzz
