// Resonance summary: the peak of each response curve and the natural frequency nearest to it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "report/response_data.h"

namespace vandorak::report {

struct PeakRow {
  std::int32_t node = 0;
  std::string kind;       // "acc" or "dis"
  std::string component;  // "x" .. "rz"
  double peak_hz = 0.0;
  double peak_value = 0.0;
  std::string nearest_mode;  // mode number; empty when has_mode is false
  double nearest_mode_hz = 0.0;
  bool has_mode = false;
  std::optional<double> grms;  // random-vibration RMS in g, filled in by the caller when known
};

// One row per kind (acceleration, then displacement) and component (x .. rz) that has at least one point.
// The peak is the largest magnitude, the first one on ties. The nearest mode minimises
// |ln f_mode - ln f_peak| (first on ties), ignoring modes at <= 0 Hz; none when the peak is at <= 0 Hz.
std::vector<PeakRow> find_peaks(const NodeResponse& node, const std::vector<Mode>& modes);

// CSV: header "node,kind,component,peak_hz,peak_value,nearest_mode,nearest_mode_hz", plus
// ",grms,three_sigma" when any row has grms (three_sigma = 3 * grms; empty cells in rows without it),
// then one line per row; numbers as "%.6g" in the C locale, '\n' line ends.
std::string summary_csv(const std::vector<PeakRow>& rows);

// The same cells as summary_csv aligned for a terminal: a header line, columns separated by two spaces,
// numbers right-aligned, words left-aligned, no trailing spaces.
std::string summary_table(const std::vector<PeakRow>& rows);

}  // namespace vandorak::report
