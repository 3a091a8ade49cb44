#include "output/number_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>
#include <cstdint>

namespace vandorak {
namespace {

TEST(FormatExponent3, PrintsThreeExponentDigitsInATwelveWideField) {
  struct Case {
    double value;
    const char* text;
  };
  const Case cases[] = {
      {10.0, "1.00000e+001"},
      {0.0025, "2.50000e-003"},
      {1.0, "1.00000e+000"},
      {0.0, "0.00000e+000"},
      {-0.0, "-0.00000e+000"},
      {1e-100, "1.00000e-100"},
      {1e100, "1.00000e+100"},
      {123456.789, "1.23457e+005"},
      {9.999996, "1.00000e+001"},  // rounding carries into the exponent
      {-772.0, "-7.72000e+002"},
      {1.7976931348623157e308, "1.79769e+308"},
      {4.9406564584124654e-324, "4.94066e-324"},    // smallest denormal
      {2.2250738585072009e-308, "2.22507e-308"},    // largest denormal
      {std::numeric_limits<double>::infinity(), "         inf"},
      {-std::numeric_limits<double>::infinity(), "        -inf"},
      {std::numeric_limits<double>::quiet_NaN(), "         nan"},
      {-std::numeric_limits<double>::quiet_NaN(), "        -nan"},
  };
  for (const Case& c : cases) {
    char text[kNumberTextSize];
    const std::size_t length = format_exponent3(c.value, text);
    EXPECT_EQ(std::string(text), c.text) << c.value;
    EXPECT_EQ(length, std::string(c.text).size()) << c.value;
  }
}

TEST(FormatResponseLine, JoinsFrequencyAndValueWithSpaceTabSpace) {
  char line[kLineTextSize];
  const std::size_t length = format_response_line(static_cast<double>(10.0f), 2.0, line);
  EXPECT_EQ(std::string(line, length), "1.00000e+001 \t 2.00000e+000 \n");
  EXPECT_EQ(std::string(line), "1.00000e+001 \t 2.00000e+000 \n");

  // The single-precision frequency widened to double shows its own digits.
  format_response_line(static_cast<double>(0.001f), -1.5e-7, line);
  EXPECT_EQ(std::string(line), "1.00000e-003 \t -1.50000e-007 \n");
}

// What the C library's printf gives for "%12.5e", widened to three exponent
// digits: the reference the fast formatting must match digit for digit.
std::string printf_reference(double value) {
  char plain[64];
  std::snprintf(plain, sizeof plain, "%.5e", value);
  std::string text = plain;
  const std::size_t e = text.find('e');
  if (e != std::string::npos && text.size() - (e + 2) < 3) text.insert(e + 2, 3 - (text.size() - (e + 2)), '0');
  if (text.size() < 12) text.insert(0, 12 - text.size(), ' ');
  return text;
}

TEST(FormatExponent3, MatchesPrintfOnRandomDoublesAndRoundingEdges) {
  std::mt19937_64 random(20261211);
  std::vector<double> values;
  for (int i = 0; i < 200000; ++i) {
    std::uint64_t bits = random();
    double value;
    std::memcpy(&value, &bits, sizeof value);  // every exponent and NaN payload
    values.push_back(value);
    values.push_back(std::ldexp(static_cast<double>(random() >> 11), -53) * std::pow(10.0, static_cast<int>(random() % 40) - 20));
  }
  // Exact ties: integers and binary fractions with seven digits ending in 5.
  for (double tie : {1234565.0, 1234575.0, 9999995.0, 1000005.0, 2500005.0, 0.1234565 * 0 + 1.5,
                     12345.65 * 0 + 1234.5625, 99999.95 * 0 + 9999.9375, 1.0000005e6}) {
    values.insert(values.end(), {tie, -tie, tie * 1024, tie / 1024, std::nextafter(tie, 0.0), std::nextafter(tie, 1e300)});
  }
  for (long i = 1000000; i < 10000000; i += 7919) values.push_back(static_cast<double>(i * 10 + 5) / 10.0);
  // Values as listings print them, divided by 386, and their squares.
  for (int i = 0; i < 200000; ++i) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6E", std::ldexp(static_cast<double>(random() >> 11), -53) *
                                                 std::pow(10.0, static_cast<int>(random() % 30) - 15));
    const double read = std::strtod(text, nullptr);
    values.insert(values.end(), {read, read / 386.0, (read / 386.0) * (read / 386.0), read * read});
  }
  // Values whose sixth digit is a tie or just either side of one.
  for (double base : {1.000005, 9.999995, 2.500005, 1.234565, 7.7200050000000001}) {
    for (int exponent = -12; exponent <= 12; ++exponent) {
      const double value = base * std::pow(10.0, exponent);
      values.insert(values.end(), {value, std::nextafter(value, 0.0), std::nextafter(value, 1e300), -value});
    }
  }
  for (double value : values) {
    char text[kNumberTextSize];
    format_exponent3(value, text);
    ASSERT_EQ(std::string(text), printf_reference(value)) << value;
  }
}

TEST(FormatResponseLine, SharedFrequencyPrefixGivesTheSameLines) {
  char whole[kLineTextSize];
  char split[kLineTextSize];
  const std::size_t prefix = prefix_response_line(1234.5, split);
  for (double value : {0.0, -3.25e-300, 1e22, 7.0}) {
    const std::size_t length = format_response_line(1234.5, value, whole);
    EXPECT_EQ(finish_response_line(value, prefix, split), length);
    EXPECT_STREQ(split, whole);
  }
}

}  // namespace
}  // namespace vandorak
