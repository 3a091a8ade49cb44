#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "report/peaks.h"
#include "report/plots.h"

#include "temp_dir.h"

// Under LeakSanitizer: fontconfig, which cairo reaches through pango for the picture text, keeps its
// font cache for the life of the process and never frees it.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace vandorak::report {
namespace {

namespace fs = std::filesystem;

using vandorak::testing::TempDir;

std::string bytes_of(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::uint32_t big_endian_32(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

// Checks the PNG signature and that the first chunk is IHDR with the given size.
::testing::AssertionResult is_png(const std::string& bytes, std::uint32_t width, std::uint32_t height) {
  if (bytes.size() < 24 || bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0) {
    return ::testing::AssertionFailure() << "no PNG signature";
  }
  if (bytes.compare(12, 4, "IHDR") != 0) return ::testing::AssertionFailure() << "first chunk is not IHDR";
  const std::uint32_t w = big_endian_32(bytes, 16), h = big_endian_32(bytes, 20);
  if (w != width || h != height) return ::testing::AssertionFailure() << "size " << w << " x " << h;
  return ::testing::AssertionSuccess();
}

// A small well-formedness check: declarations, comments and CDATA skipped, quoted attribute values
// skipped, start and end tags balanced under one root element.
::testing::AssertionResult is_well_formed_xml(const std::string& text) {
  std::vector<std::string> open;
  int roots = 0;
  std::size_t at = 0;
  while ((at = text.find('<', at)) != std::string::npos) {
    const auto skip_to = [&](const char* end) {
      const std::size_t found = text.find(end, at);
      if (found == std::string::npos) return false;
      at = found + std::strlen(end);
      return true;
    };
    if (text.compare(at, 4, "<!--") == 0) {
      if (!skip_to("-->")) return ::testing::AssertionFailure() << "unclosed comment";
      continue;
    }
    if (text.compare(at, 9, "<![CDATA[") == 0) {
      if (!skip_to("]]>")) return ::testing::AssertionFailure() << "unclosed CDATA";
      continue;
    }
    if (text.compare(at, 2, "<?") == 0 || text.compare(at, 2, "<!") == 0) {
      if (!skip_to(">")) return ::testing::AssertionFailure() << "unclosed declaration";
      continue;
    }
    std::size_t end = at + 1;
    char quote = 0;
    for (; end < text.size(); ++end) {
      if (quote != 0) {
        if (text[end] == quote) quote = 0;
      } else if (text[end] == '"' || text[end] == '\'') {
        quote = text[end];
      } else if (text[end] == '>' || text[end] == '<') {
        break;
      }
    }
    if (end >= text.size() || text[end] != '>') return ::testing::AssertionFailure() << "unclosed tag at " << at;
    const std::string tag = text.substr(at + 1, end - at - 1);
    at = end + 1;
    if (!tag.empty() && tag[0] == '/') {
      const std::string name = tag.substr(1, tag.find_first_of(" \t\r\n", 1) - 1);
      if (open.empty() || open.back() != name) {
        return ::testing::AssertionFailure() << "</" << name << "> does not close <" << (open.empty() ? "" : open.back())
                                             << ">";
      }
      open.pop_back();
      continue;
    }
    const std::string name = tag.substr(0, tag.find_first_of(" \t\r\n/"));
    if (name.empty()) return ::testing::AssertionFailure() << "tag without a name at " << at;
    if (open.empty() && ++roots > 1) return ::testing::AssertionFailure() << "second root element <" << name << ">";
    if (tag.back() != '/') open.push_back(name);
  }
  if (!open.empty()) return ::testing::AssertionFailure() << "<" << open.back() << "> never closed";
  if (roots != 1) return ::testing::AssertionFailure() << "no root element";
  return ::testing::AssertionSuccess();
}

bool have_xmllint() { return std::system("command -v xmllint >/dev/null 2>&1") == 0; }

// PLplot draws dashes itself, so the cairo SVG device writes a dashed line as one two-point <path> per
// dash, with no stroke-dasharray. A vertical dashed line is therefore many two-point vertical paths at
// one x; the axis ticks give at most two per x. Returns those x positions, left to right.
std::vector<double> dashed_vertical_lines(const std::string& svg) {
  static const std::regex segment(R"re(d="M ([-0-9.e]+) ([-0-9.e]+) L ([-0-9.e]+) ([-0-9.e]+) ")re");
  std::map<double, int> segments_at;
  for (std::sregex_iterator it(svg.begin(), svg.end(), segment), end; it != end; ++it) {
    if ((*it)[1] == (*it)[3]) ++segments_at[std::stod((*it)[1])];
  }
  std::vector<double> lines;
  for (const auto& [x, count] : segments_at) {
    if (count >= 5) lines.push_back(x);
  }
  return lines;
}

// Paths with at least min_points points: the curves (frames, ticks, legend samples and glyphs have fewer
// straight segments).
int long_polylines(const std::string& svg, int min_points) {
  static const std::regex path(R"re(<path [^>]*d="(M [^"]*)")re");
  int count = 0;
  for (std::sregex_iterator it(svg.begin(), svg.end(), path), end; it != end; ++it) {
    const std::string d = (*it)[1];
    if (d.find('C') != std::string::npos) continue;
    int points = 0;
    for (char ch : d) points += (ch == 'M' || ch == 'L');
    if (points >= min_points) ++count;
  }
  return count;
}

// A kind with count points from 10 Hz to 1000 Hz; component c is (c + 1) * base(f).
KindSeries kind_series(std::size_t count, double (*base)(double)) {
  KindSeries series;
  for (std::size_t i = 0; i < count; ++i) {
    const double f = 10.0 * std::pow(100.0, static_cast<double>(i) / static_cast<double>(count - 1));
    series.frequency.push_back(f);
    for (int c = 0; c < kComponentCount; ++c) series.magnitude[static_cast<std::size_t>(c)].push_back((c + 1) * base(f));
  }
  return series;
}

double resonant(double f) {
  const double r = f / 120.0;
  return 1.0 / std::sqrt((1 - r * r) * (1 - r * r) + (r / 15.0) * (r / 15.0));
}

NodeResponse node_with_both_kinds() {
  NodeResponse node;
  node.node_id = 101;
  node.acceleration = kind_series(40, resonant);
  node.displacement = kind_series(40, [](double f) { return resonant(f) / (f * f); });
  return node;
}

const PlotLabels kLabels{"sample.out", true};

TEST(NodePlots, EachFormatIsWhatItClaims) {
  const PlotFormat formats[] = {PlotFormat::png, PlotFormat::svg, PlotFormat::pdf};
  for (PlotFormat format : formats) {
    TempDir dir;
    std::vector<fs::path> written;
    std::string error;
    ASSERT_TRUE(write_node_plots(dir.path(), node_with_both_kinds(), {{"1", 120.0}}, kLabels, format, written, error))
        << extension(format) << ": " << error;
    EXPECT_EQ(error, "");
    const std::string ext = extension(format);
    ASSERT_EQ(written, (std::vector<fs::path>{dir.path() / ("101_acc." + ext), dir.path() / ("101_dis." + ext)}))
        << ext;
    // Two pictures in one process: the second is as complete as the first.
    for (const fs::path& path : written) {
      const std::string bytes = bytes_of(path);
      switch (format) {
        case PlotFormat::png:
          EXPECT_TRUE(is_png(bytes, 800, 500)) << path;
          break;
        case PlotFormat::svg:
          EXPECT_TRUE(is_well_formed_xml(bytes)) << path;
          EXPECT_NE(bytes.find("<svg"), std::string::npos) << path;
          EXPECT_NE(bytes.find("width=\"800pt\" height=\"500pt\""), std::string::npos) << path;
          EXPECT_EQ(dashed_vertical_lines(bytes).size(), 1u) << path;
          break;
        case PlotFormat::pdf:
          EXPECT_EQ(bytes.compare(0, 5, "%PDF-"), 0) << path;
          EXPECT_NE(bytes.find("%%EOF", bytes.size() > 16 ? bytes.size() - 16 : 0), std::string::npos) << path;
          break;
      }
    }
  }
}

TEST(NodePlots, SvgPassesXmllint) {
  if (!have_xmllint()) GTEST_SKIP() << "xmllint not installed";
  TempDir dir;
  NodeResponse node = node_with_both_kinds();
  node.acceleration.magnitude[5].assign(node.acceleration.frequency.size(), 0.0);
  std::vector<fs::path> written;
  std::string error;
  ASSERT_TRUE(write_node_plots(dir.path(), node, {{"1", 120.0}}, {"a#b <&> \"c\".out", false}, PlotFormat::svg,
                               written, error))
      << error;
  fs::path psd;
  ASSERT_TRUE(write_psd_plot(dir.path(), 101, {{"x", {10, 100}, {1, 2}}}, {"input", {10, 100}, {0.1, 0.1}}, kLabels,
                             PlotFormat::svg, psd, error))
      << error;
  written.push_back(psd);
  for (const fs::path& path : written) {
    EXPECT_EQ(std::system(("xmllint --noout '" + path.string() + "'").c_str()), 0) << path;
  }
}

TEST(NodePlots, RepeatedInOneProcessGivesTheSameBytes) {
  // Anything a picture leaves behind in PLplot's global state would show in the next one.
  const PlotFormat formats[] = {PlotFormat::png, PlotFormat::svg};
  for (PlotFormat format : formats) {
    TempDir first, second;
    std::vector<fs::path> written_first, written_second;
    std::string error;
    const std::vector<Mode> modes = {{"1", 120.0}, {"2", 300.0}};
    ASSERT_TRUE(write_node_plots(first.path(), node_with_both_kinds(), modes, kLabels, format, written_first, error));
    ASSERT_TRUE(write_node_plots(second.path(), node_with_both_kinds(), modes, kLabels, format, written_second, error));
    ASSERT_EQ(written_second.size(), 2u);
    // cairo numbers its SVG surfaces across the process; that number is all that may differ.
    static const std::regex surface_id("surface[0-9]+");
    for (std::size_t i = 0; i < written_first.size(); ++i) {
      const std::string first_bytes = std::regex_replace(bytes_of(written_first[i]), surface_id, "surface");
      const std::string second_bytes = std::regex_replace(bytes_of(written_second[i]), surface_id, "surface");
      EXPECT_TRUE(first_bytes == second_bytes) << written_first[i] << " and " << written_second[i] << " differ";
    }
  }
}

TEST(NodePlots, KindWithoutLinesGetsNoPicture) {
  TempDir dir;
  NodeResponse node = node_with_both_kinds();
  node.displacement = KindSeries{};
  std::vector<fs::path> written;
  std::string error;
  ASSERT_TRUE(write_node_plots(dir.path(), node, {}, kLabels, PlotFormat::png, written, error)) << error;
  EXPECT_EQ(written, std::vector<fs::path>{dir.path() / "101_acc.png"});
  EXPECT_FALSE(fs::exists(dir.path() / "101_dis.png"));

  node.acceleration = KindSeries{};
  written.clear();
  ASSERT_TRUE(write_node_plots(dir.path(), node, {}, kLabels, PlotFormat::png, written, error)) << error;
  EXPECT_TRUE(written.empty());
}

TEST(NodePlots, OneDashedLinePerNaturalFrequencyInsideTheRange) {
  // The curves run from 10 Hz to 1000 Hz.
  struct Case {
    const char* name;
    std::vector<Mode> modes;
    std::size_t lines;
  };
  const Case cases[] = {
      {"none", {}, 0},
      {"two inside", {{"1", 60.0}, {"2", 150.0}}, 2},
      {"outside on both sides", {{"1", 5.0}, {"2", 60.0}, {"3", 2000.0}}, 1},
      {"at the ends", {{"1", 10.0}, {"2", 1000.0}}, 2},
      {"zero and negative ignored", {{"1", 0.0}, {"2", -3.0}, {"3", 60.0}}, 1},
      {"unsorted, close together", {{"5", 400.0}, {"1", 30.0}, {"2", 31.0}, {"3", 200.0}}, 4},
  };
  for (const Case& c : cases) {
    TempDir dir;
    std::vector<fs::path> written;
    std::string error;
    ASSERT_TRUE(write_node_plots(dir.path(), node_with_both_kinds(), c.modes, kLabels, PlotFormat::svg, written, error))
        << c.name << ": " << error;
    for (const fs::path& path : written) {
      EXPECT_EQ(dashed_vertical_lines(bytes_of(path)).size(), c.lines) << c.name << ": " << path;
    }
  }
}

TEST(NodePlots, PointsThatCannotSitOnALogAxisAreLeftOut) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const char* name;
    void (*spoil)(KindSeries&, double);
    int curves;
  };
  const Case cases[] = {
      {"all positive", [](KindSeries&, double) {}, 6},
      {"rz zero everywhere", [](KindSeries& s, double) { s.magnitude[5].assign(s.frequency.size(), 0.0); }, 5},
      {"ry and rz negative everywhere",
       [](KindSeries& s, double) {
         s.magnitude[4].assign(s.frequency.size(), -1.0);
         s.magnitude[5].assign(s.frequency.size(), -2.0);
       },
       4},
      {"scattered zeros, negatives and NaN",
       [](KindSeries& s, double not_a_number) {
         s.magnitude[0][3] = 0.0;
         s.magnitude[1][7] = -4.0;
         s.magnitude[2][9] = not_a_number;
       },
       6},
      {"a line at 0 Hz", [](KindSeries& s, double) { s.frequency[0] = 0.0; }, 6},
      {"everything zero",
       [](KindSeries& s, double) {
         for (auto& values : s.magnitude) values.assign(s.frequency.size(), 0.0);
       },
       0},
  };
  for (const Case& c : cases) {
    NodeResponse node = node_with_both_kinds();
    c.spoil(node.acceleration, nan);
    TempDir dir;
    std::vector<fs::path> written;
    std::string error;
    ASSERT_TRUE(write_node_plots(dir.path(), node, {{"1", 120.0}}, kLabels, PlotFormat::svg, written, error))
        << c.name << ": " << error;
    const std::string svg = bytes_of(dir.path() / "101_acc.svg");
    EXPECT_TRUE(is_well_formed_xml(svg)) << c.name;
    EXPECT_EQ(long_polylines(svg, 30), c.curves) << c.name;

    written.clear();
    ASSERT_TRUE(write_node_plots(dir.path(), node, {}, kLabels, PlotFormat::png, written, error)) << c.name;
    EXPECT_TRUE(is_png(bytes_of(dir.path() / "101_acc.png"), 800, 500)) << c.name;
  }
}

TEST(NodePlots, PrintNothingToStandardOutput) {
  TempDir dir;
  const fs::path captured = dir.path() / "stdout.txt";
  std::fflush(stdout);
  const int saved = ::dup(STDOUT_FILENO);
  ASSERT_GE(saved, 0);
  std::FILE* capture = std::fopen(captured.c_str(), "w");
  ASSERT_NE(capture, nullptr);
  ::dup2(::fileno(capture), STDOUT_FILENO);

  NodeResponse node = node_with_both_kinds();
  node.acceleration.magnitude[5].assign(node.acceleration.frequency.size(), 0.0);
  bool all_written = true;
  for (PlotFormat format : {PlotFormat::png, PlotFormat::svg, PlotFormat::pdf}) {
    std::vector<fs::path> written;
    std::string error;
    all_written &= write_node_plots(dir.path(), node, {{"1", 120.0}}, kLabels, format, written, error);
    fs::path psd;
    all_written &= write_psd_plot(dir.path(), 101, {{"x", {10, 100}, {1, 2}}}, {"input", {10, 100}, {0.1, 0.1}},
                                  kLabels, format, psd, error);
  }
  std::vector<fs::path> written;
  std::string error;
  const bool failed_quietly = !write_node_plots(dir.path() / "missing", node, {}, kLabels, PlotFormat::png, written, error);

  std::fflush(stdout);
  ::dup2(saved, STDOUT_FILENO);
  ::close(saved);
  std::fclose(capture);
  EXPECT_TRUE(all_written);
  EXPECT_TRUE(failed_quietly);
  EXPECT_EQ(bytes_of(captured), "");
}

TEST(NodePlots, FailureNamesTheFileAndLeavesTheProcessRunning) {
  TempDir dir;
  NodeResponse short_component = node_with_both_kinds();
  short_component.acceleration.magnitude[2].pop_back();
  fs::create_directories(dir.path() / "odd%name");
  struct Case {
    const char* name;
    fs::path dir;
    NodeResponse node;
    fs::path file;
  };
  const Case cases[] = {
      {"missing directory", dir.path() / "missing", node_with_both_kinds(), dir.path() / "missing" / "101_acc.png"},
      {"component shorter than the frequencies", dir.path(), short_component, dir.path() / "101_acc.png"},
      {"percent-n in the path", dir.path() / "odd%name", node_with_both_kinds(),
       dir.path() / "odd%name" / "101_acc.png"},
  };
  for (const Case& c : cases) {
    std::vector<fs::path> written;
    std::string error;
    EXPECT_FALSE(write_node_plots(c.dir, c.node, {}, kLabels, PlotFormat::png, written, error)) << c.name;
    EXPECT_TRUE(written.empty()) << c.name;
    EXPECT_NE(error.find(c.file.string()), std::string::npos) << c.name << ": " << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << c.name << ": " << error;
  }
}

TEST(PsdPlot, WritesTheResponsesAndADashedInput) {
  TempDir dir;
  std::vector<PsdSeries> responses;
  for (const char* label : {"x", "y", "z"}) {
    PsdSeries series{label, {}, {}};
    for (int i = 0; i < 50; ++i) {
      const double f = 20.0 * std::pow(100.0, i / 49.0);
      series.frequency.push_back(f);
      series.value.push_back(0.04 * resonant(f) * resonant(f));
    }
    responses.push_back(series);
  }
  responses[2].value[4] = 0.0;
  const PsdSeries input{"input", {20.0, 80.0, 350.0, 2000.0}, {0.01, 0.04, 0.04, 0.007}};
  const PsdSeries no_input{"input", {}, {}};

  fs::path with_input, without_input;
  std::string error;
  ASSERT_TRUE(write_psd_plot(dir.path(), 101, responses, input, kLabels, PlotFormat::svg, with_input, error)) << error;
  EXPECT_EQ(with_input, dir.path() / "101_psd.svg");
  const std::string svg = bytes_of(with_input);
  EXPECT_TRUE(is_well_formed_xml(svg));
  EXPECT_EQ(long_polylines(svg, 40), 3);

  // The dashed input is drawn as many short segments.
  const fs::path other = dir.path() / "other";
  fs::create_directories(other);
  ASSERT_TRUE(write_psd_plot(other, 101, responses, no_input, kLabels, PlotFormat::svg, without_input, error));
  static const std::regex segment(R"re(d="M [-0-9.e]+ [-0-9.e]+ L [-0-9.e]+ [-0-9.e]+ ")re");
  const auto segments = [](const std::string& text) {
    return std::distance(std::sregex_iterator(text.begin(), text.end(), segment), std::sregex_iterator());
  };
  EXPECT_GT(segments(svg), segments(bytes_of(without_input)) + 20);

  fs::path png;
  ASSERT_TRUE(write_psd_plot(dir.path(), 101, responses, input, kLabels, PlotFormat::png, png, error)) << error;
  EXPECT_EQ(png, dir.path() / "101_psd.png");
  EXPECT_TRUE(is_png(bytes_of(png), 800, 500));

  fs::path failed;
  EXPECT_FALSE(write_psd_plot(dir.path() / "missing", 7, responses, input, kLabels, PlotFormat::png, failed, error));
  EXPECT_NE(error.find((dir.path() / "missing" / "7_psd.png").string()), std::string::npos) << error;
}

// ---- Resonance summary

KindSeries one_component(std::vector<double> frequency, std::vector<double> x) {
  KindSeries series;
  series.frequency = std::move(frequency);
  series.magnitude[0] = std::move(x);
  return series;
}

std::string describe(const std::vector<double>& values) {
  std::ostringstream text;
  for (double v : values) text << v << ' ';
  return text.str();
}

TEST(FindPeaks, LargestMagnitudeTheFirstOnTies) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    std::vector<double> frequency, x;
    double peak_hz, peak_value;
  };
  const Case cases[] = {
      {{10, 20, 30, 40}, {1, 5, 3, 2}, 20, 5},
      {{10, 20, 30, 40}, {5, 1, 5, 0}, 10, 5},
      {{10, 20, 30, 40}, {1, 7, 7, 7}, 20, 7},
      {{10, 20, 30, 40}, {0, 0, 0, 0}, 10, 0},
      {{10, 20, 30, 40}, {-1, -3, -0.5, -5}, 30, -0.5},
      {{10, 20, 30, 40}, {nan, 2, 7, nan}, 30, 7},
      {{40, 10, 30, 20, 10}, {1, 2, 3, 0, 9}, 10, 9},  // listing order, a frequency repeated
      {{25}, {0.125}, 25, 0.125},
  };
  for (const Case& c : cases) {
    NodeResponse node;
    node.acceleration = one_component(c.frequency, c.x);
    const std::vector<PeakRow> rows = find_peaks(node, {});
    ASSERT_EQ(rows.size(), 1u) << describe(c.x);
    EXPECT_EQ(rows[0].peak_hz, c.peak_hz) << describe(c.x);
    EXPECT_EQ(rows[0].peak_value, c.peak_value) << describe(c.x);
  }
}

TEST(FindPeaks, OneRowPerKindAndComponentWithPoints) {
  NodeResponse node;
  node.node_id = 42;
  node.acceleration = kind_series(20, resonant);
  node.displacement = kind_series(20, resonant);
  node.displacement.magnitude[3].clear();  // rx has no points

  const std::vector<PeakRow> rows = find_peaks(node, {{"1", 120.0}});
  const char* expected[][2] = {{"acc", "x"}, {"acc", "y"}, {"acc", "z"}, {"acc", "rx"}, {"acc", "ry"},
                               {"acc", "rz"}, {"dis", "x"}, {"dis", "y"}, {"dis", "z"}, {"dis", "ry"},
                               {"dis", "rz"}};
  ASSERT_EQ(rows.size(), std::size(expected));
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i].node, 42) << i;
    EXPECT_EQ(rows[i].kind, expected[i][0]) << i;
    EXPECT_EQ(rows[i].component, expected[i][1]) << i;
    EXPECT_FALSE(rows[i].grms.has_value()) << i;
    EXPECT_EQ(rows[i].nearest_mode, "1") << i;
  }
  // The resonance at 120 Hz falls between 112.88 Hz and 143.84 Hz on the grid; the peak is at the nearer.
  EXPECT_NEAR(rows[0].peak_hz, 112.88, 0.01);
  EXPECT_DOUBLE_EQ(rows[5].peak_value, 6 * rows[0].peak_value);

  EXPECT_TRUE(find_peaks(NodeResponse{}, {{"1", 120.0}}).empty());
}

TEST(FindPeaks, NearestModeOnALogScale) {
  struct Case {
    const char* name;
    double peak_hz;
    std::vector<Mode> modes;
    const char* nearest;  // nullptr: none
  };
  const Case cases[] = {
      {"log distance, not linear", 100, {{"1", 60}, {"2", 150}}, "2"},  // ln(100/60) = 0.51 > ln(150/100) = 0.41
      {"order of modes does not matter", 100, {{"2", 150}, {"1", 60}}, "2"},
      {"below the peak", 100, {{"1", 90}, {"2", 120}}, "1"},
      {"tie: the first", 100, {{"3", 80}, {"4", 80}}, "3"},
      {"modes at <= 0 Hz ignored", 100, {{"1", -5}, {"2", 0}, {"3", 1000}}, "3"},
      {"number as printed", 100, {{" 12", 101}}, " 12"},
      {"no modes", 100, {}, nullptr},
      {"only modes at 0 Hz", 100, {{"1", 0}}, nullptr},
      {"peak at 0 Hz", 0, {{"1", 10}}, nullptr},
  };
  for (const Case& c : cases) {
    NodeResponse node;
    node.acceleration = one_component({c.peak_hz, 500.0}, {2.0, 1.0});
    const std::vector<PeakRow> rows = find_peaks(node, c.modes);
    ASSERT_EQ(rows.size(), 1u) << c.name;
    ASSERT_EQ(rows[0].peak_hz, c.peak_hz) << c.name;
    EXPECT_EQ(rows[0].has_mode, c.nearest != nullptr) << c.name;
    EXPECT_EQ(rows[0].nearest_mode, c.nearest != nullptr ? c.nearest : "") << c.name;
    if (c.nearest != nullptr) {
      for (const Mode& mode : c.modes) {
        if (mode.number == c.nearest) {
          EXPECT_EQ(rows[0].nearest_mode_hz, mode.frequency) << c.name;
        }
      }
    }
  }
}

PeakRow row(std::int32_t node, const char* kind, const char* component, double hz, double value, const char* mode,
            double mode_hz) {
  PeakRow r;
  r.node = node;
  r.kind = kind;
  r.component = component;
  r.peak_hz = hz;
  r.peak_value = value;
  if (mode != nullptr) {
    r.nearest_mode = mode;
    r.nearest_mode_hz = mode_hz;
    r.has_mode = true;
  }
  return r;
}

TEST(SummaryCsv, ExactBytes) {
  const std::vector<PeakRow> rows = {
      row(101, "acc", "x", 123.456789, 2.5, "3", 120.0),
      row(101, "dis", "rz", 1234567.0, 1e-7, nullptr, 0.0),
      row(-7, "acc", "ry", 0.0, -0.0001234565, "1,2", 0.5),
  };
  EXPECT_EQ(summary_csv(rows),
            "node,kind,component,peak_hz,peak_value,nearest_mode,nearest_mode_hz\n"
            "101,acc,x,123.457,2.5,3,120\n"
            "101,dis,rz,1.23457e+06,1e-07,,\n"
            "-7,acc,ry,0,-0.000123457,\"1,2\",0.5\n");
  EXPECT_EQ(summary_csv({}), "node,kind,component,peak_hz,peak_value,nearest_mode,nearest_mode_hz\n");
}

TEST(SummaryCsv, GrmsColumnsOnlyWhenARowHasThem) {
  std::vector<PeakRow> rows = {row(101, "acc", "x", 100.0, 2.0, "1", 98.0), row(101, "acc", "y", 50.0, 1.0, nullptr, 0)};
  const std::string without = summary_csv(rows);
  EXPECT_EQ(without.find("grms"), std::string::npos) << without;

  rows[0].grms = 2.5;
  EXPECT_EQ(summary_csv(rows),
            "node,kind,component,peak_hz,peak_value,nearest_mode,nearest_mode_hz,grms,three_sigma\n"
            "101,acc,x,100,2,1,98,2.5,7.5\n"
            "101,acc,y,50,1,,,,\n");
}

TEST(SummaryTable, AlignsColumns) {
  std::vector<PeakRow> rows = {row(101, "acc", "x", 123.456789, 2.5, "3", 120.0),
                               row(7, "dis", "rz", 1234567.0, 1e-7, nullptr, 0.0)};
  EXPECT_EQ(summary_table(rows),
            "node  kind  component      peak_hz  peak_value  nearest_mode  nearest_mode_hz\n"
            " 101  acc   x              123.457         2.5             3              120\n"
            "   7  dis   rz         1.23457e+06       1e-07\n");

  rows[1].grms = 0.125;
  EXPECT_EQ(summary_table(rows),
            "node  kind  component      peak_hz  peak_value  nearest_mode  nearest_mode_hz   grms  three_sigma\n"
            " 101  acc   x              123.457         2.5             3              120\n"
            "   7  dis   rz         1.23457e+06       1e-07                                 0.125        0.375\n");
}

}  // namespace
}  // namespace vandorak::report
