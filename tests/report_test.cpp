#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "report/peaks.h"

namespace vandorak::report {
namespace {

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
