// Exponent-form numbers as the response files carry them.
#pragma once

#include <cstddef>

namespace vandorak {

// Large enough for any double in the response-file form, with its zero.
constexpr std::size_t kNumberTextSize = 32;
constexpr std::size_t kLineTextSize = 2 * kNumberTextSize + 8;

// Writes value as "%12.5e" would with a three-digit exponent
// (1.00000e+001, 2.50000e-003, 1.00000e-100): right-aligned in a field of
// at least 12. Infinity and NaN print as "inf", "-inf", "nan", "-nan" in the
// same field. Returns the length written.
std::size_t format_exponent3(double value, char (&text)[kNumberTextSize]);

// Writes one response-file line, "%12.5e \t %12.5e \n" with three-digit
// exponents, into text. Returns its length.
std::size_t format_response_line(double frequency, double value, char (&text)[kLineTextSize]);

// The same line in two steps, for lines that share their frequency: the
// frequency's text with its separator once, then each value after it.
// prefix_response_line writes "%12.5e \t " and returns its length;
// finish_response_line appends "%12.5e \n" at text + prefix_length and
// returns the whole line's length.
std::size_t prefix_response_line(double frequency, char (&text)[kLineTextSize]);
std::size_t finish_response_line(double value, std::size_t prefix_length, char (&text)[kLineTextSize]);

}  // namespace vandorak
