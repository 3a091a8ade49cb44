#include "report/peaks.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <limits>

namespace vandorak::report {
namespace {

// Index of the largest value, the first one on ties; NaN values never win unless all are NaN.
std::size_t peak_index(const std::vector<double>& values, std::size_t count) {
  std::size_t best = 0;
  while (best < count && std::isnan(values[best])) ++best;
  if (best == count) return 0;
  for (std::size_t i = best + 1; i < count; ++i) {
    if (values[i] > values[best]) best = i;
  }
  return best;
}

const Mode* nearest_mode(const std::vector<Mode>& modes, double frequency) {
  if (!(frequency > 0.0)) return nullptr;
  const double log_frequency = std::log(frequency);
  const Mode* nearest = nullptr;
  double nearest_distance = std::numeric_limits<double>::infinity();
  for (const Mode& mode : modes) {
    if (!(mode.frequency > 0.0) || !std::isfinite(mode.frequency)) continue;
    const double distance = std::fabs(std::log(mode.frequency) - log_frequency);
    if (nearest == nullptr || distance < nearest_distance) {
      nearest = &mode;
      nearest_distance = distance;
    }
  }
  return nearest;
}

void add_kind_rows(std::int32_t node, const char* kind, const KindSeries& series, const std::vector<Mode>& modes,
                   std::vector<PeakRow>& rows) {
  for (int c = 0; c < kComponentCount; ++c) {
    const std::vector<double>& values = series.magnitude[static_cast<std::size_t>(c)];
    const std::size_t count = std::min(values.size(), series.frequency.size());
    if (count == 0) continue;
    const std::size_t peak = peak_index(values, count);
    PeakRow row;
    row.node = node;
    row.kind = kind;
    row.component = component_name(c);
    row.peak_hz = series.frequency[peak];
    row.peak_value = values[peak];
    if (const Mode* mode = nearest_mode(modes, row.peak_hz)) {
      row.nearest_mode = mode->number;
      row.nearest_mode_hz = mode->frequency;
      row.has_mode = true;
    }
    rows.push_back(std::move(row));
  }
}

// "%.6g" without depending on the process locale.
std::string number_text(double value) {
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 6);
  return std::string(text, result.ptr);
}

struct Column {
  const char* name;
  bool right_aligned;
};

constexpr Column kColumns[] = {
    {"node", true},     {"kind", false},         {"component", false},      {"peak_hz", true},
    {"peak_value", true}, {"nearest_mode", true}, {"nearest_mode_hz", true}, {"grms", true},
    {"three_sigma", true},
};
constexpr std::size_t kColumnsWithoutGrms = 7;

bool any_grms(const std::vector<PeakRow>& rows) {
  return std::any_of(rows.begin(), rows.end(), [](const PeakRow& row) { return row.grms.has_value(); });
}

// A row's cells in column order, as both the CSV and the table show them.
std::vector<std::string> cells_of(const PeakRow& row, bool with_grms) {
  std::vector<std::string> cells = {
      std::to_string(row.node),
      row.kind,
      row.component,
      number_text(row.peak_hz),
      number_text(row.peak_value),
      row.has_mode ? row.nearest_mode : std::string(),
      row.has_mode ? number_text(row.nearest_mode_hz) : std::string(),
  };
  if (with_grms) {
    cells.push_back(row.grms ? number_text(*row.grms) : std::string());
    cells.push_back(row.grms ? number_text(3.0 * *row.grms) : std::string());
  }
  return cells;
}

// Quotes a CSV cell only when it holds a separator, a quote or a line end.
std::string csv_cell(const std::string& cell) {
  if (cell.find_first_of(",\"\r\n") == std::string::npos) return cell;
  std::string quoted = "\"";
  for (char ch : cell) {
    if (ch == '"') quoted += '"';
    quoted += ch;
  }
  quoted += '"';
  return quoted;
}

}  // namespace

std::vector<PeakRow> find_peaks(const NodeResponse& node, const std::vector<Mode>& modes) {
  std::vector<PeakRow> rows;
  add_kind_rows(node.node_id, "acc", node.acceleration, modes, rows);
  add_kind_rows(node.node_id, "dis", node.displacement, modes, rows);
  return rows;
}

std::string summary_csv(const std::vector<PeakRow>& rows) {
  const bool with_grms = any_grms(rows);
  const std::size_t column_count = with_grms ? std::size(kColumns) : kColumnsWithoutGrms;
  std::string text;
  for (std::size_t i = 0; i < column_count; ++i) {
    if (i > 0) text += ',';
    text += kColumns[i].name;
  }
  text += '\n';
  for (const PeakRow& row : rows) {
    const std::vector<std::string> cells = cells_of(row, with_grms);
    for (std::size_t i = 0; i < cells.size(); ++i) {
      if (i > 0) text += ',';
      text += csv_cell(cells[i]);
    }
    text += '\n';
  }
  return text;
}

std::string summary_table(const std::vector<PeakRow>& rows) {
  const bool with_grms = any_grms(rows);
  const std::size_t column_count = with_grms ? std::size(kColumns) : kColumnsWithoutGrms;
  std::vector<std::vector<std::string>> lines;
  lines.emplace_back();
  for (std::size_t i = 0; i < column_count; ++i) lines.back().push_back(kColumns[i].name);
  for (const PeakRow& row : rows) lines.push_back(cells_of(row, with_grms));

  std::vector<std::size_t> widths(column_count, 0);
  for (const auto& cells : lines) {
    for (std::size_t i = 0; i < column_count; ++i) widths[i] = std::max(widths[i], cells[i].size());
  }
  std::string text;
  for (const auto& cells : lines) {
    std::string line;
    for (std::size_t i = 0; i < column_count; ++i) {
      if (i > 0) line += "  ";
      const std::string padding(widths[i] - cells[i].size(), ' ');
      line += kColumns[i].right_aligned ? padding + cells[i] : cells[i] + padding;
    }
    line.erase(line.find_last_not_of(' ') + 1);
    text += line;
    text += '\n';
  }
  return text;
}

}  // namespace vandorak::report
