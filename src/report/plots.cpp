#include "report/plots.h"

#include <plplot.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numeric>
#include <system_error>

namespace vandorak::report {
namespace {

constexpr PLINT kWidthPixels = 800;
constexpr PLINT kHeightPixels = 500;

// Colour map 0 as the pictures use it.
struct Colour {
  PLINT r, g, b;
};
constexpr PLINT kBackgroundColour = 0;
constexpr PLINT kInkColour = 1;
constexpr PLINT kFirstCurveColour = 2;
constexpr PLINT kModeColour = 8;
constexpr Colour kPalette[] = {
    {255, 255, 255},  // background
    {0, 0, 0},        // frame, text, input PSD
    {31, 119, 180},   // x
    {214, 39, 40},    // y
    {44, 160, 44},    // z
    {255, 127, 14},   // rx
    {148, 103, 189},  // ry
    {140, 86, 75},    // rz
    {120, 120, 120},  // natural frequencies
};
constexpr PLINT kSolid = 1;
constexpr PLINT kDashed = 2;

// A curve ready for log-log axes: log10 of frequency and value, sorted by frequency.
struct LogCurve {
  std::string label;
  std::vector<PLFLT> x, y;
  PLINT colour = kInkColour;
  PLINT style = kSolid;
};

// What could not be drawn, for the note on the picture.
struct LeftOut {
  std::size_t nonpositive_points = 0;
  std::size_t nonfinite_points = 0;
  std::vector<std::string> zero_curves;      // every value is 0
  std::vector<std::string> nonpositive_curves;  // no value above 0, some not 0
};

// Adds the curve to curves when any of its points can sit on a log axis; otherwise names it in left_out.
void add_curve(const std::string& label, const std::vector<double>& frequency, const std::vector<double>& value,
               PLINT colour, PLINT style, std::vector<LogCurve>& curves, LeftOut& left_out) {
  const std::size_t count = std::min(frequency.size(), value.size());
  std::vector<std::size_t> order(count);
  std::iota(order.begin(), order.end(), std::size_t{0});
  // Listing order may revisit frequencies; a curve drawn in that order would zigzag.
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return frequency[a] < frequency[b]; });
  LogCurve curve{label, {}, {}, colour, style};
  std::size_t nonpositive = 0, nonfinite = 0;
  bool all_zero = true;
  for (std::size_t i : order) {
    const double f = frequency[i], v = value[i];
    if (v != 0.0) all_zero = false;
    if (!std::isfinite(f) || !std::isfinite(v)) {
      ++nonfinite;
    } else if (f <= 0.0 || v <= 0.0) {
      ++nonpositive;
    } else {
      curve.x.push_back(std::log10(f));
      curve.y.push_back(std::log10(v));
    }
  }
  if (curve.x.empty()) {
    if (count == 0) return;
    (all_zero ? left_out.zero_curves : left_out.nonpositive_curves).push_back(label);
    return;
  }
  left_out.nonpositive_points += nonpositive;
  left_out.nonfinite_points += nonfinite;
  curves.push_back(std::move(curve));
}

std::string joined(const std::vector<std::string>& words, const char* separator) {
  std::string text;
  for (const std::string& word : words) {
    if (!text.empty()) text += separator;
    text += word;
  }
  return text;
}

std::string points_text(std::size_t count, const char* what) {
  return std::to_string(count) + (count == 1 ? " point " : " points ") + what + " left out";
}

std::string note_text(const LeftOut& left_out) {
  std::vector<std::string> parts;
  if (!left_out.zero_curves.empty()) parts.push_back(joined(left_out.zero_curves, ", ") + ": zero everywhere");
  if (!left_out.nonpositive_curves.empty()) {
    parts.push_back(joined(left_out.nonpositive_curves, ", ") + ": nothing above zero");
  }
  if (left_out.nonpositive_points > 0) parts.push_back(points_text(left_out.nonpositive_points, "<= 0"));
  if (left_out.nonfinite_points > 0) parts.push_back(points_text(left_out.nonfinite_points, "not finite"));
  return joined(parts, "; ");
}

// Text for PLplot, which reads '#' as the start of an escape sequence.
std::string plain_text(const std::string& text) {
  std::string escaped;
  for (char ch : text) {
    if (ch == '#') escaped += '#';
    escaped += ch;
  }
  return escaped;
}

// Axis limits in log10 units.
struct Range {
  double low, high;
};

// Widened to whole decades, so the axis carries decade labels and the curves some headroom.
Range decade_range(double low, double high) {
  Range range{std::floor(low), std::ceil(high)};
  if (range.high <= range.low) range.high = range.low + 1.0;
  return range;
}

// The data's own range when it holds at least two decade marks to label; whole decades otherwise.
Range frequency_range(double low, double high) {
  if (std::floor(high) - std::ceil(low) >= 1.0) return Range{low, high};
  return decade_range(low, high);
}

struct Picture {
  std::string title, x_label, y_label;
  std::vector<LogCurve> curves;
  std::vector<Mode> modes;
  std::string note;
  // Frequencies to span (log10) when no curve has a point to draw; false when no line has a frequency > 0.
  double fallback_x_low = 0.0, fallback_x_high = 1.0;
  bool has_fallback = false;
};

const char* device_name(PlotFormat format) {
  switch (format) {
    case PlotFormat::png:
      return "pngcairo";
    case PlotFormat::svg:
      return "svgcairo";
    case PlotFormat::pdf:
      return "pdfcairo";
  }
  return "pngcairo";
}

bool device_available(const char* device) {
  std::vector<const char*> menus(256), names(256);
  const char** menu_list = menus.data();
  const char** name_list = names.data();
  int count = static_cast<int>(names.size());
  plgDevs(&menu_list, &name_list, &count);
  for (int i = 0; i < count; ++i) {
    if (name_list[i] != nullptr && std::strcmp(name_list[i], device) == 0) return true;
  }
  return false;
}

// The first bytes a complete file of the format starts with.
bool has_signature(const std::filesystem::path& path, PlotFormat format) {
  const std::string expected = format == PlotFormat::png   ? std::string("\x89PNG\r\n\x1a\n", 8)
                               : format == PlotFormat::pdf ? std::string("%PDF-")
                                                           : std::string("<?xml");
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  std::string start(expected.size(), '\0');
  const std::size_t got = std::fread(start.data(), 1, start.size(), file);
  std::fclose(file);
  return got == expected.size() && start == expected;
}

// Lays out and draws everything on the current, initialised stream.
void draw(const Picture& picture) {
  double x_low = 0.0, x_high = 0.0, y_low = 0.0, y_high = 0.0;
  bool any_point = false;
  for (const LogCurve& curve : picture.curves) {
    const auto [x_min, x_max] = std::minmax_element(curve.x.begin(), curve.x.end());
    const auto [y_min, y_max] = std::minmax_element(curve.y.begin(), curve.y.end());
    x_low = any_point ? std::min(x_low, *x_min) : *x_min;
    x_high = any_point ? std::max(x_high, *x_max) : *x_max;
    y_low = any_point ? std::min(y_low, *y_min) : *y_min;
    y_high = any_point ? std::max(y_high, *y_max) : *y_max;
    any_point = true;
  }
  if (!any_point) {
    x_low = picture.fallback_x_low, x_high = picture.fallback_x_high;
    y_low = -1.0, y_high = 1.0;
  }
  const Range x = frequency_range(x_low, x_high);
  const Range y = decade_range(y_low, y_high);

  pladv(0);
  plschr(0.0, 0.85);
  plvpor(0.11, 0.84, 0.16, 0.87);
  plwind(x.low, x.high, y.low, y.high);

  plcol0(kInkColour);
  plwidth(1.0);
  plbox("bclnst", 0.0, 0, "bclnstv", 0.0, 0);
  plmtex("b", 2.8, 0.5, 0.5, picture.x_label.c_str());
  plmtex("l", 4.2, 0.5, 0.5, picture.y_label.c_str());
  plmtex("t", 2.2, 0.5, 0.5, picture.title.c_str());
  if (!picture.note.empty()) plmtex("b", 4.6, 0.0, 0.0, picture.note.c_str());

  // Natural frequencies within the lines' own frequency range; a label that would overlap the one
  // before it is left off, the line stays.
  bool any_mode_line = false;
  double last_label_at = -1.0;
  std::vector<const Mode*> modes;
  for (const Mode& mode : picture.modes) {
    if ((any_point || picture.has_fallback) && mode.frequency > 0.0 && std::isfinite(mode.frequency) &&
        std::log10(mode.frequency) >= x_low && std::log10(mode.frequency) <= x_high) {
      modes.push_back(&mode);
    }
  }
  std::stable_sort(modes.begin(), modes.end(),
                   [](const Mode* a, const Mode* b) { return a->frequency < b->frequency; });
  for (const Mode* mode : modes) {
    PLFLT line_x[2] = {std::log10(mode->frequency), std::log10(mode->frequency)};
    PLFLT line_y[2] = {y.low, y.high};
    plcol0(kModeColour);
    pllsty(kDashed);
    plline(2, line_x, line_y);
    pllsty(kSolid);
    any_mode_line = true;
    const double at = (line_x[0] - x.low) / (x.high - x.low);
    if (last_label_at < 0.0 || at - last_label_at >= 0.03) {
      plmtex("t", 0.9, at, 0.5, plain_text(mode->number).c_str());
      last_label_at = at;
    }
  }

  plwidth(1.5);
  for (const LogCurve& curve : picture.curves) {
    plcol0(curve.colour);
    pllsty(curve.style);
    plline(static_cast<PLINT>(curve.x.size()), curve.x.data(), curve.y.data());
  }
  pllsty(kSolid);
  plwidth(1.0);

  std::vector<std::string> texts;
  std::vector<PLINT> options, colours, styles;
  std::vector<PLFLT> widths;
  for (const LogCurve& curve : picture.curves) {
    texts.push_back(curve.label);
    colours.push_back(curve.colour);
    styles.push_back(curve.style);
  }
  if (any_mode_line) {
    texts.push_back("modes");
    colours.push_back(kModeColour);
    styles.push_back(kDashed);
  }
  if (texts.empty()) return;
  options.assign(texts.size(), PL_LEGEND_LINE);
  widths.assign(texts.size(), 1.5);
  std::vector<PLINT> text_colours(texts.size(), kInkColour);
  std::vector<const char*> text_pointers;
  for (const std::string& text : texts) text_pointers.push_back(text.c_str());
  PLFLT legend_width = 0.0, legend_height = 0.0;
  pllegend(&legend_width, &legend_height, PL_LEGEND_BACKGROUND | PL_LEGEND_BOUNDING_BOX,
           PL_POSITION_RIGHT | PL_POSITION_OUTSIDE, 0.015, 0.0, 0.05, kBackgroundColour,
           kInkColour, kSolid, 0, 0, static_cast<PLINT>(texts.size()), options.data(), 0.8, 0.9, 2.0, 0.0,
           text_colours.data(), text_pointers.data(), nullptr, nullptr, nullptr, nullptr, colours.data(),
           styles.data(), widths.data(), nullptr, nullptr, nullptr, nullptr);
}

// Draws the picture into path as one PLplot stream of its own, leaving the caller's current stream
// current again.
bool render(const std::filesystem::path& path, PlotFormat format, const Picture& picture, std::string& error) {
  const std::string name = path.string();
  // PLplot reads "%n" in a file name as a family member number and would write elsewhere.
  if (name.find("%n") != std::string::npos) {
    error = "cannot write " + name + ": the plotting library does not take \"%n\" in a file name";
    return false;
  }
  const char* device = device_name(format);
  if (!device_available(device)) {
    error = "cannot write " + name + ": PLplot has no " + device + " driver (package plplot-driver-cairo)";
    return false;
  }
  // PLplot ends the process when it cannot open its output file; find out first.
  std::FILE* probe = std::fopen(name.c_str(), "wb");
  if (probe == nullptr) {
    error = "cannot write " + name + ": " + std::strerror(errno);
    return false;
  }
  std::fclose(probe);

  PLINT previous = 0;
  plgstrm(&previous);
  PLINT stream = -1;
  plmkstrm(&stream);
  if (stream < 0) {
    error = "cannot write " + name + ": PLplot has no free plot stream";
    return false;
  }
  plsdev(device);
  plsfnam(name.c_str());
  plspage(0.0, 0.0, kWidthPixels, kHeightPixels, 0, 0);
  plscmap0n(static_cast<PLINT>(std::size(kPalette)));
  for (std::size_t i = 0; i < std::size(kPalette); ++i) {
    plscol0(static_cast<PLINT>(i), kPalette[i].r, kPalette[i].g, kPalette[i].b);
  }
  plinit();
  draw(picture);
  plend1();
  plsstrm(previous);

  std::error_code ignored;
  if (std::filesystem::file_size(path, ignored) == 0 || !has_signature(path, format)) {
    error = "cannot write " + name + ": the plotting library left it incomplete";
    return false;
  }
  return true;
}

// Spans the positive frequencies when no curve has a point to draw, so the empty frame still shows them.
void set_fallback_range(Picture& picture, const std::vector<double>& frequencies) {
  bool any = false;
  for (double f : frequencies) {
    if (!(f > 0.0) || !std::isfinite(f)) continue;
    const double x = std::log10(f);
    picture.fallback_x_low = any ? std::min(picture.fallback_x_low, x) : x;
    picture.fallback_x_high = any ? std::max(picture.fallback_x_high, x) : x;
    any = true;
  }
  picture.has_fallback = any;
}

const char* kind_word(bool acceleration) { return acceleration ? "acceleration" : "displacement"; }

bool write_kind_plot(const std::filesystem::path& dir, const NodeResponse& node, bool acceleration,
                     const std::vector<Mode>& modes, const PlotLabels& labels, PlotFormat format,
                     std::vector<std::filesystem::path>& written, std::string& error) {
  const KindSeries& series = acceleration ? node.acceleration : node.displacement;
  if (series.empty()) return true;
  const std::filesystem::path path =
      dir / (std::to_string(node.node_id) + (acceleration ? "_acc." : "_dis.") + extension(format));
  for (const std::vector<double>& values : series.magnitude) {
    if (values.size() != series.frequency.size()) {
      error = "cannot write " + path.string() + ": a component has " + std::to_string(values.size()) +
              " values for " + std::to_string(series.frequency.size()) + " frequencies";
      return false;
    }
  }

  Picture picture;
  picture.title = "Node " + std::to_string(node.node_id) + " " + kind_word(acceleration) + " - " +
                  plain_text(labels.listing_name);
  picture.x_label = "Frequency (Hz)";
  picture.y_label = !acceleration ? "Displacement" : labels.divided_by_386 ? "Acceleration (g)" : "Acceleration";
  picture.modes = modes;
  LeftOut left_out;
  for (int c = 0; c < kComponentCount; ++c) {
    add_curve(component_name(c), series.frequency, series.magnitude[static_cast<std::size_t>(c)],
              kFirstCurveColour + c, kSolid, picture.curves, left_out);
  }
  picture.note = note_text(left_out);
  set_fallback_range(picture, series.frequency);
  if (!render(path, format, picture, error)) return false;
  written.push_back(path);
  return true;
}

}  // namespace

const char* extension(PlotFormat format) {
  switch (format) {
    case PlotFormat::png:
      return "png";
    case PlotFormat::svg:
      return "svg";
    case PlotFormat::pdf:
      return "pdf";
  }
  return "png";
}

bool write_node_plots(const std::filesystem::path& dir, const NodeResponse& node, const std::vector<Mode>& modes,
                      const PlotLabels& labels, PlotFormat format, std::vector<std::filesystem::path>& written,
                      std::string& error) {
  return write_kind_plot(dir, node, true, modes, labels, format, written, error) &&
         write_kind_plot(dir, node, false, modes, labels, format, written, error);
}

bool write_psd_plot(const std::filesystem::path& dir, std::int32_t node_id, const std::vector<PsdSeries>& responses,
                    const PsdSeries& input, const PlotLabels& labels, PlotFormat format,
                    std::filesystem::path& written, std::string& error) {
  const std::filesystem::path path = dir / (std::to_string(node_id) + "_psd." + extension(format));
  Picture picture;
  picture.title = "Node " + std::to_string(node_id) + " response PSD - " + plain_text(labels.listing_name);
  picture.x_label = "Frequency (Hz)";
  picture.y_label = "PSD (g#u2#d/Hz)";
  LeftOut left_out;
  std::vector<double> all_frequencies;
  PLINT colour = kFirstCurveColour;
  for (const PsdSeries& response : responses) {
    add_curve(plain_text(response.label), response.frequency, response.value, colour, kSolid, picture.curves,
              left_out);
    if (colour < kModeColour - 1) ++colour;
    all_frequencies.insert(all_frequencies.end(), response.frequency.begin(), response.frequency.end());
  }
  add_curve(plain_text(input.label), input.frequency, input.value, kInkColour, kDashed, picture.curves, left_out);
  all_frequencies.insert(all_frequencies.end(), input.frequency.begin(), input.frequency.end());
  picture.note = note_text(left_out);
  set_fallback_range(picture, all_frequencies);
  if (!render(path, format, picture, error)) return false;
  written = path;
  return true;
}

}  // namespace vandorak::report
