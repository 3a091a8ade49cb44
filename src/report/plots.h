// Pictures of a node's response curves and of random-vibration PSDs, drawn with PLplot.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "report/response_data.h"

namespace vandorak::report {

enum class PlotFormat { png, svg, pdf };

// The file name extension without the dot: "png", "svg", "pdf".
const char* extension(PlotFormat format);

// What the titles and axis labels say. listing_name appears as given (usually the file name without its
// directory); divided_by_386 means accelerations are in g.
struct PlotLabels {
  std::string listing_name;
  bool divided_by_386 = false;
};

// Writes <dir>/<id>_acc.<ext> and <dir>/<id>_dis.<ext> for each kind that has lines, appending each to
// written: 800 x 500, log-log with decade labels, the six components with a legend, each natural frequency
// inside the curves' frequency range as a dashed line labelled with its mode number, and a note naming
// the points and components that could not sit on a log axis (values <= 0). dir must exist. Returns
// false with error set (one line, naming the file) on failure; prints nothing to stdout.
bool write_node_plots(const std::filesystem::path& dir, const NodeResponse& node, const std::vector<Mode>& modes,
                      const PlotLabels& labels, PlotFormat format, std::vector<std::filesystem::path>& written,
                      std::string& error);

// One PSD curve: its legend label, frequencies in Hz and values in g^2/Hz, in the same order.
struct PsdSeries {
  std::string label;
  std::vector<double> frequency, value;
};

// Writes <dir>/<id>_psd.<ext> and sets written to it: log-log, the response PSDs (solid, in the order
// given) and the input PSD (dashed), legend, title "Node <id> response PSD - <listing>". Values <= 0 are
// left out and noted as in write_node_plots. Returns false with error set (one line, naming the file).
bool write_psd_plot(const std::filesystem::path& dir, std::int32_t node_id, const std::vector<PsdSeries>& responses,
                    const PsdSeries& input, const PlotLabels& labels, PlotFormat format,
                    std::filesystem::path& written, std::string& error);

}  // namespace vandorak::report
