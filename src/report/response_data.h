// A node's response curves and the natural frequencies, as the reporting module takes them.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace vandorak::report {

constexpr int kComponentCount = 6;

// "x", "y", "z", "rx", "ry", "rz" for c = 0..5.
const char* component_name(int c);

// One kind's curves of a node, in the order the response files hold them (listing order; frequencies may
// be unsorted or repeated). magnitude[c] has one value per frequency; c = 0..5 for x, y, z, rx, ry, rz.
struct KindSeries {
  std::vector<double> frequency;
  std::array<std::vector<double>, kComponentCount> magnitude;

  // True when the kind has no lines at all.
  bool empty() const { return frequency.empty(); }
};

struct NodeResponse {
  std::int32_t node_id = 0;
  KindSeries acceleration, displacement;
};

// A natural frequency: the mode number as the listing prints it, and its frequency in Hz.
struct Mode {
  std::string number;
  double frequency = 0.0;
};

}  // namespace vandorak::report
