#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "psd/input_spectrum.h"
#include "psd/response_psd.h"

namespace vandorak::psd {
namespace {

// 20-2000 Hz workmanship input, as in examples/workmanship.psd.
InputSpectrum workmanship() { return {{{20, 0.01}, {80, 0.04}, {350, 0.04}, {2000, 0.007}}}; }

// 20-80 at +3 dB/octave, 80-350 flat, 350-2000 at exactly p f = 14.
const double kWorkmanshipArea = 1.5 + 10.8 + 14 * std::log(2000.0 / 350.0);

void expect_relative(double actual, double expected, double tolerance, const std::string& what) {
  EXPECT_NEAR(actual, expected, tolerance * std::fabs(expected)) << what;
}

std::string read_bytes(const std::string& path) {
  std::string text;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return "(unreadable)";
  for (int c = std::getc(file); c != EOF; c = std::getc(file)) text.push_back(static_cast<char>(c));
  std::fclose(file);
  return text;
}

// A file name in the test temporary directory that no other test run uses.
std::string temp_path(const std::string& stem) {
  return ::testing::TempDir() + "vandorak_psd_" + std::to_string(::getpid()) + "_" + stem;
}

TEST(SegmentArea, PowerLawSegmentsMatchTheirAnalyticAreas) {
  struct Case {
    double f1, p1, f2, p2, area;
    const char* what;
  };
  const Case cases[] = {
      // 0.01 (f/20)^2: 0.01/400 (80^3 - 20^3)/3.
      {20, 0.01, 80, 0.16, 4.2, "slope 2"},
      {20, 0.01, 80, 0.04, 1.5, "slope 1 (+3 dB/octave)"},
      {80, 0.04, 350, 0.04, 10.8, "flat"},
      // (f/10)^-3: 1000 (1/200 - 1/800).
      {10, 1, 20, 0.125, 3.75, "slope -3"},
      {10, 1, 100, 0.1, 10 * std::log(10.0), "slope exactly -1"},
      {350, 0.04, 2000, 0.007, 14 * std::log(2000.0 / 350.0), "slope -1 from rounded values"},
  };
  for (const Case& c : cases) {
    expect_relative(segment_area(c.f1, c.p1, c.f2, c.p2), c.area, 1e-12, c.what);
  }
}

TEST(SegmentArea, StaysAccurateForSlopesNearMinusOne) {
  // Near slope -1 the general formula divides two small numbers; compare with
  // the series p1 f1 r (1 + a/2 + a^2/6), a = (n+1) r.
  const double f1 = 30, p1 = 0.5, f2 = 1500;
  const double r = std::log(f2 / f1);
  const double offsets[] = {0.0, 1e-12, -1e-12, 1e-10, -1e-10, 2e-9, -2e-9, 1e-7, -1e-7, 1e-5};
  for (double offset : offsets) {
    const double n = -1 + offset;
    const double p2 = p1 * std::pow(f2 / f1, n);
    const double a = offset * r;
    const double expected = p1 * f1 * r * (1 + a / 2 + a * a / 6);
    expect_relative(segment_area(f1, p1, f2, p2), expected, 1e-12, "n + 1 = " + std::to_string(offset));
  }
}

TEST(SegmentArea, ZeroOrNegativeEndIsATrapezoidAndZeroWidthIsNothing) {
  struct Case {
    double f1, p1, f2, p2, area;
  };
  const Case cases[] = {
      {10, 0, 20, 4, 20}, {10, 3, 20, 0, 15}, {10, -2, 20, 4, 10}, {10, 0, 20, 0, 0},
      {50, 1, 50, 2, 0},  {50, 0, 50, 2, 0},
  };
  for (const Case& c : cases) {
    EXPECT_DOUBLE_EQ(segment_area(c.f1, c.p1, c.f2, c.p2), c.area)
        << c.f1 << " " << c.p1 << " " << c.f2 << " " << c.p2;
  }
}

TEST(InputGrms, ShippedWorkmanshipSpectrumIs6_06) {
  InputSpectrum input;
  std::string error;
  ASSERT_TRUE(load_input_spectrum(VANDORAK_SOURCE_DIR "/examples/workmanship.psd", input, error)) << error;
  ASSERT_EQ(input.points.size(), 4u);
  EXPECT_NEAR(input_grms(input), 6.06, 0.005);
  expect_relative(input_grms(input), std::sqrt(kWorkmanshipArea), 1e-12, "against the segment areas");
}

TEST(InputAt, IsStraightOnLogLogAxesAndZeroOutside) {
  const InputSpectrum input = workmanship();
  struct Case {
    double f, value;
  };
  const Case cases[] = {
      {20, 0.01},    {40, 0.02},      {50, 0.025},     {80, 0.04},  {200, 0.04},
      {350, 0.04},   {1000, 0.014},   {2000, 0.007},   {19.999, 0}, {2000.001, 0},
      {0, 0},        {-40, 0},        {1e9, 0},
  };
  for (const Case& c : cases) {
    expect_relative(input_at(input, c.f), c.value, 1e-12, "f = " + std::to_string(c.f));
  }
  EXPECT_EQ(input_at(input, std::nan("")), 0);
}

// Transmissibility known at each response frequency; 10 and 2500 Hz lie
// outside the input and carry a huge value that must not show.
class ResponsePsdTest : public ::testing::Test {
 protected:
  const InputSpectrum input = workmanship();
  const std::vector<double> frequency = {10, 20, 40, 80, 200, 350, 1000, 2000, 2500};
  const std::vector<double> t_squared = {1e6, 2, 3, 4, 5, 6, 7, 8, 1e6};
  const std::vector<double> kept_frequency = {20, 40, 80, 200, 350, 1000, 2000};
  // T^2 times the input at 20, 40 (0.02), 80, 200, 350, 1000 (0.014), 2000 Hz.
  const std::vector<double> kept_value = {0.02, 0.06, 0.16, 0.2, 0.24, 0.098, 0.056};

  void expect_kept_points(const ResponsePsd& psd) {
    ASSERT_EQ(psd.frequency, kept_frequency);
    ASSERT_EQ(psd.value.size(), kept_value.size());
    for (std::size_t i = 0; i < kept_value.size(); ++i) {
      expect_relative(psd.value[i], kept_value[i], 1e-12, "at " + std::to_string(kept_frequency[i]));
    }
  }
};

TEST_F(ResponsePsdTest, MultipliesTransmissibilityByTheInputInsideItsRange) {
  const ResponsePsd psd = response_psd(frequency, t_squared, input);
  expect_kept_points(psd);
  EXPECT_TRUE(psd.covers_input);
}

TEST_F(ResponsePsdTest, FlatTransmissibilityScalesTheInputAreaAndOutsidePointsAddNothing) {
  // With every input corner among the response frequencies the product is a
  // power law on each segment, so the integral is exact.
  const std::vector<double> t_squared_four = {1e6, 4, 4, 4, 4, 4, 4, 4, 1e6};
  const ResponsePsd psd = response_psd(frequency, t_squared_four, input);
  expect_relative(psd.grms * psd.grms, 4 * kWorkmanshipArea, 1e-12, "4 x input area");

  // A flat input times a flat transmissibility: area x T^2.
  const InputSpectrum flat{{{20, 0.04}, {2000, 0.04}}};
  std::vector<double> f, t2;
  for (double x = 20; x <= 2000; x += 25) f.push_back(x), t2.push_back(9);
  f.push_back(2000), t2.push_back(9);
  const ResponsePsd flat_psd = response_psd(f, t2, flat);
  expect_relative(flat_psd.grms * flat_psd.grms, 0.04 * 1980 * 9, 1e-12, "flat x flat");
}

TEST_F(ResponsePsdTest, TakesUnsortedPointsInOrderAndKeepsTheFirstOfARepeatedFrequency) {
  const std::vector<double> shuffled = {2000, 80, 10, 350, 20, 80, 1000, 40, 200, 2500, 20};
  const std::vector<double> shuffled_t2 = {8, 4, 1e6, 6, 2, 99, 7, 3, 5, 1e6, 99};
  const ResponsePsd psd = response_psd(shuffled, shuffled_t2, input);
  expect_kept_points(psd);
  const ResponsePsd sorted = response_psd(frequency, t_squared, input);
  EXPECT_DOUBLE_EQ(psd.grms, sorted.grms);
  EXPECT_TRUE(psd.covers_input);
}

TEST_F(ResponsePsdTest, CoversInputOnlyWhenItsPointsReachBothEnds) {
  struct Case {
    std::vector<double> frequency;
    bool covers;
  };
  const Case cases[] = {
      {{20, 2000}, true},
      {{10, 20, 500, 2000, 2500}, true},
      {{2000, 1000, 20}, true},
      {{30, 500, 1500}, false},
      {{10, 30, 500, 2000}, false},  // 10 Hz lies outside, so 20-30 Hz is missed
      {{20, 500, 1999.9}, false},
      {{20.1, 500, 2000}, false},
      {{10, 2500}, false},
      {{20}, false},
      {{}, false},
  };
  for (const Case& c : cases) {
    const ResponsePsd psd = response_psd(c.frequency, std::vector<double>(c.frequency.size(), 1), input);
    std::string list;
    for (double f : c.frequency) list += std::to_string(f) + " ";
    EXPECT_EQ(psd.covers_input, c.covers) << list;
  }
}

TEST(ParseInputSpectrum, RejectsBadTextNamingTheLineAndTheFault) {
  struct Case {
    const char* text;
    const char* error;
  };
  const Case cases[] = {
      {"20 0.01\n", "base.psd: only one point; a spectrum needs at least two"},
      {"# header\n20 0.01\n# nothing else\n", "base.psd: only one point; a spectrum needs at least two"},
      {"", "base.psd: no data points; a spectrum needs at least two"},
      {"# only\n\n   # comments\r\n\t\n", "base.psd: no data points; a spectrum needs at least two"},
      {"20 0.01\n80 0.04\n# dip\n50 0.02\n", "base.psd:4: frequency 50 is not above the previous 80"},
      {"20 0.01\n20 0.02\n", "base.psd:2: frequency 20 is not above the previous 20"},
      {"20 0.01\n80 -0.04\n", "base.psd:2: value -0.04 at 80 Hz is not positive"},
      {"20 0\n80 0.04\n", "base.psd:1: value 0 at 20 Hz is not positive"},
      {"0 0.01\n80 0.04\n", "base.psd:1: frequency 0 is not positive"},
      {"-20 0.01\n80 0.04\n", "base.psd:1: frequency -20 is not positive"},
      {"20 0.0l\n80 0.04\n", "base.psd:1: value '0.0l' is not a number"},
      {"20 0.01\nabc 0.04\n", "base.psd:2: frequency 'abc' is not a number"},
      {"20 1e\n80 0.04\n", "base.psd:1: value '1e' is not a number"},
      {"20 0.01\n80 inf\n", "base.psd:2: value 'inf' is not a finite number"},
      {"20 0.01\n80 1e999\n", "base.psd:2: value '1e999' is out of range"},
      {"20 0.01 5\n80 0.04\n", "base.psd:1: expected 2 numbers (frequency in Hz, g^2/Hz), found 3"},
      {"20 0.01\n80\n", "base.psd:2: expected 2 numbers (frequency in Hz, g^2/Hz), found 1"},
      {"20,,0.01\n80 0.04\n", "base.psd:1: misplaced comma"},
      {"20 0.01,\n80 0.04\n", "base.psd:1: misplaced comma"},
      {", 20 0.01\n80 0.04\n", "base.psd:1: misplaced comma"},
  };
  for (const Case& c : cases) {
    InputSpectrum out{{{1, 1}}};
    std::string error;
    EXPECT_FALSE(parse_input_spectrum(c.text, "base.psd", out, error)) << c.text;
    EXPECT_EQ(error, c.error) << c.text;
    EXPECT_EQ(out.points.size(), 1u) << c.text;  // left as it was
  }
}

TEST(ParseInputSpectrum, AcceptsCommentsCommasCrLfAndBlankLines) {
  const char* text =
      "# workmanship\r\n"
      "\r\n"
      "20, 0.01\r\n"
      "80,0.04   # corner\r\n"
      "   \r\n"
      "  350 0.04\r\n"
      "\t2000 ,\t7e-3\r\n"
      "+2500 7E-3";  // no final line end
  InputSpectrum out;
  std::string error;
  ASSERT_TRUE(parse_input_spectrum(text, "good.psd", out, error)) << error;
  const std::vector<PsdPoint> expected = {{20, 0.01}, {80, 0.04}, {350, 0.04}, {2000, 0.007}, {2500, 0.007}};
  ASSERT_EQ(out.points.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(out.points[i].frequency, expected[i].frequency) << i;
    EXPECT_EQ(out.points[i].value, expected[i].value) << i;
  }
}

TEST(LoadInputSpectrum, ReportsAnUnreadableFile) {
  const std::string path = temp_path("missing_dir/none.psd");
  InputSpectrum out;
  std::string error;
  EXPECT_FALSE(load_input_spectrum(path, out, error));
  EXPECT_EQ(error, path + ": No such file or directory");
}

TEST(WriteResponsePsd, WritesResponseFileLines) {
  const std::string path = temp_path("two_points.txt");
  ResponsePsd psd;
  psd.frequency = {20, 2000};
  psd.value = {0.0025, 1.5};
  std::string error;
  ASSERT_TRUE(write_response_psd(path, psd, error)) << error;
  EXPECT_EQ(read_bytes(path), "2.00000e+001 \t 2.50000e-003 \n2.00000e+003 \t 1.50000e+000 \n");
  std::filesystem::remove(path);
}

TEST(WriteResponsePsd, ReportsAFileThatCannotBeCreatedOrWritten) {
  const std::string path = temp_path("missing_dir/out.txt");
  ResponsePsd psd;
  psd.frequency = {20, 2000};
  psd.value = {0.0025, 1.5};
  std::string error;
  EXPECT_FALSE(write_response_psd(path, psd, error));
  EXPECT_EQ(error, path + ": No such file or directory");

  // /dev/full takes the open and refuses the data, which shows at the close.
  if (std::filesystem::exists("/dev/full")) {
    error.clear();
    EXPECT_FALSE(write_response_psd("/dev/full", psd, error));
    EXPECT_EQ(error, "/dev/full: No space left on device");
  }
}

}  // namespace
}  // namespace vandorak::psd
