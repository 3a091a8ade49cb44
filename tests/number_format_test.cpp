#include "output/number_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

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
  };
  for (const Case& c : cases) {
    char text[kNumberTextSize];
    const std::size_t length = format_exponent3(c.value, text);
    EXPECT_EQ(std::string(text), c.text) << c.value;
    EXPECT_EQ(length, std::string(c.text).size()) << c.value;
  }
}

TEST(FormatResponseLine, JoinsFrequencyAndValueWithSpaceTabSpace) {
  char line[2 * kNumberTextSize + 8];
  const std::size_t length = format_response_line(static_cast<double>(10.0f), 2.0, line);
  EXPECT_EQ(std::string(line, length), "1.00000e+001 \t 2.00000e+000 \n");
  EXPECT_EQ(std::string(line), "1.00000e+001 \t 2.00000e+000 \n");

  // The single-precision frequency widened to double shows its own digits.
  format_response_line(static_cast<double>(0.001f), -1.5e-7, line);
  EXPECT_EQ(std::string(line), "1.00000e-003 \t -1.50000e-007 \n");
}

}  // namespace
}  // namespace vandorak
