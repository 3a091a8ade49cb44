// What a batch run adds beside the response files: pictures, the resonance
// summary, the random-vibration response, warnings and progress, all made
// from the values the node passes wrote.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "common/run_state.h"
#include "psd/input_spectrum.h"
#include "report/peaks.h"
#include "report/plots.h"
#include "report/response_data.h"

namespace vandorak::cli {

struct ReportOptions {
  std::filesystem::path directory;  // where the reports go, beside the response files
  std::string listing_name;         // for titles
  bool divided_by_386 = false;
  std::optional<report::PlotFormat> plot;
  bool summary = false;
  std::optional<psd::InputSpectrum> input_psd;
  bool progress = false;            // a progress line on standard error
};

class BatchReports : public RunObserver {
 public:
  explicit BatchReports(ReportOptions options);

  void natural_frequency(const char* mode, double hz) override;
  void node_pass_started(std::int32_t id, std::size_t pass, std::size_t passes) override;
  void response_line(ResponseKind kind, float frequency, const double* values) override;
  void node_pass_finished(std::int32_t id, std::size_t bytes_scanned) override;

  // After a run that succeeded: writes summary.csv, warns about missing
  // data, and returns the text to print after the closing message (the
  // summary table, the input's Grms). False when a report could not be
  // written (each failure already on standard error).
  bool finish(std::string& closing_text);
  // True while every report so far was written.
  bool ok() const { return ok_; }

 private:
  void write_reports();
  void fail(const std::string& reason);

  ReportOptions options_;
  std::vector<report::Mode> modes_;
  report::NodeResponse node_;
  std::vector<report::PeakRow> rows_;
  std::size_t passes_ = 0;
  std::size_t passes_done_ = 0;
  std::size_t nodes_with_displacement_ = 0;
  bool coverage_warned_ = false;
  bool ok_ = true;
  std::chrono::steady_clock::time_point pass_start_;
};

}  // namespace vandorak::cli
