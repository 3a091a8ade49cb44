#include "cli/batch_reports.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <utility>

#include "psd/response_psd.h"

namespace vandorak::cli {

namespace {

// An eigenvalue table longer than this is kept only in part for the
// pictures and the summary; the console lists it whole.
constexpr std::size_t kModesKept = 100000;
constexpr const char* kAxes[] = {"x", "y", "z"};

}  // namespace

BatchReports::BatchReports(ReportOptions options) : options_(std::move(options)) {}

void BatchReports::fail(const std::string& reason) {
  std::fprintf(stderr, "vandorak: %s\n", reason.c_str());
  ok_ = false;
}

void BatchReports::natural_frequency(const char* mode, double hz) {
  if (modes_.size() < kModesKept) modes_.push_back({mode, hz});
}

void BatchReports::node_pass_started(std::int32_t id, std::size_t /*pass*/, std::size_t passes) {
  passes_ = passes;
  node_ = report::NodeResponse{};
  node_.node_id = id;
  pass_start_ = std::chrono::steady_clock::now();
}

void BatchReports::response_line(ResponseKind kind, float frequency, const double* values) {
  // Only what a report needs is kept, one node at a time.
  if (!options_.plot && !options_.summary && !options_.input_psd) {
    report::KindSeries& series = kind == ResponseKind::acceleration ? node_.acceleration : node_.displacement;
    if (series.frequency.empty()) series.frequency.push_back(static_cast<double>(frequency));
    return;
  }
  report::KindSeries& series = kind == ResponseKind::acceleration ? node_.acceleration : node_.displacement;
  series.frequency.push_back(static_cast<double>(frequency));
  for (int c = 0; c < report::kComponentCount; ++c) series.magnitude[static_cast<std::size_t>(c)].push_back(values[c]);
}

void BatchReports::node_pass_finished(std::int32_t id, std::size_t bytes_scanned) {
  ++passes_done_;
  if (node_.acceleration.empty() && node_.displacement.empty()) {
    std::fprintf(stderr, "vandorak: warning: node %ld is in no block of the listing; its files are empty\n",
                 static_cast<long>(id));
  }
  if (!node_.displacement.empty()) ++nodes_with_displacement_;
  write_reports();
  if (options_.progress) {
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - pass_start_).count();
    std::fprintf(stderr, "\rvandorak: node %zu of %zu done", passes_done_, passes_);
    if (bytes_scanned > 0 && seconds > 0) {
      std::fprintf(stderr, ", listing scanned at %.0f MB/s", static_cast<double>(bytes_scanned) / 1e6 / seconds);
    }
    std::fprintf(stderr, "\033[K");
    if (passes_done_ == passes_) std::fprintf(stderr, "\n");
    std::fflush(stderr);
  }
  node_ = report::NodeResponse{};
}

void BatchReports::write_reports() {
  const std::filesystem::path& dir = options_.directory;
  if (options_.plot) {
    std::vector<std::filesystem::path> written;
    std::string error;
    const report::PlotLabels labels{options_.listing_name, options_.divided_by_386};
    if (!report::write_node_plots(dir, node_, modes_, labels, *options_.plot, written, error)) fail(error);
  }
  std::vector<report::PeakRow> rows;
  if (options_.summary) rows = report::find_peaks(node_, modes_);

  if (options_.input_psd && !node_.acceleration.empty()) {
    const psd::InputSpectrum& input = *options_.input_psd;
    std::vector<report::PsdSeries> curves;
    for (std::size_t axis = 0; axis < 3; ++axis) {
      // |T|^2 exactly as the squared-magnitude files hold it.
      std::vector<double> squared;
      for (const double value : node_.acceleration.magnitude[axis]) squared.push_back(value * value);
      const psd::ResponsePsd response = psd::response_psd(node_.acceleration.frequency, squared, input);
      std::string name = std::to_string(node_.node_id);
      name += "_psd.";
      name += kAxes[axis];
      std::string error;
      if (!psd::write_response_psd((dir / name).string(), response, error)) fail(error);
      if (!response.covers_input && !coverage_warned_) {
        coverage_warned_ = true;
        const double low = response.frequency.empty() ? 0.0 : response.frequency.front();
        const double high = response.frequency.empty() ? 0.0 : response.frequency.back();
        std::fprintf(stderr,
                     "vandorak: warning: the response frequencies of node %ld span %g-%g Hz of the input PSD's "
                     "%g-%g Hz; Grms integrates only that span and under-estimates\n",
                     static_cast<long>(node_.node_id), low, high, input.points.front().frequency,
                     input.points.back().frequency);
      }
      for (report::PeakRow& row : rows) {
        if (row.kind == "acc" && row.component == kAxes[axis]) row.grms = response.grms;
      }
      curves.push_back({kAxes[axis], response.frequency, response.value});
    }
    if (options_.plot) {
      report::PsdSeries input_curve{"input", {}, {}};
      for (const psd::PsdPoint& point : input.points) {
        input_curve.frequency.push_back(point.frequency);
        input_curve.value.push_back(point.value);
      }
      std::filesystem::path written;
      std::string error;
      const report::PlotLabels labels{options_.listing_name, true};
      if (!report::write_psd_plot(dir, node_.node_id, curves, input_curve, labels, *options_.plot, written, error)) {
        fail(error);
      }
    }
  }
  rows_.insert(rows_.end(), rows.begin(), rows.end());
}

bool BatchReports::finish(std::string& closing_text) {
  if (passes_done_ > 0 && nodes_with_displacement_ == 0) {
    std::fprintf(stderr, "vandorak: warning: no node has displacement lines (no complex displacement block read)\n");
  }
  if (options_.input_psd) {
    char line[160];
    std::snprintf(line, sizeof line, "\n input PSD: %.2f Grms\n", psd::input_grms(*options_.input_psd));
    closing_text += line;
  }
  if (options_.summary) {
    const std::filesystem::path path = options_.directory / "summary.csv";
    std::ofstream out(path, std::ios::binary);
    out << report::summary_csv(rows_);
    out.close();
    if (!out) fail("cannot write '" + path.string() + "'");
    closing_text += '\n';
    closing_text += report::summary_table(rows_);
  }
  return ok_;
}

}  // namespace vandorak::cli
