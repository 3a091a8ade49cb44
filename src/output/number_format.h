// Exponent-form numbers as the response files carry them.
#pragma once

#include <cstddef>

namespace vandorak {

// Large enough for any double in the response-file form, with its zero.
constexpr std::size_t kNumberTextSize = 32;

// Writes value as "%12.5e" would with a three-digit exponent
// (1.00000e+001, 2.50000e-003, 1.00000e-100): right-aligned in a field of
// at least 12. Infinity and NaN print as "inf", "-inf", "nan" in the same
// field. Returns the length written.
std::size_t format_exponent3(double value, char (&text)[kNumberTextSize]);

// Writes one response-file line, "%12.5e \t %12.5e \n" with three-digit
// exponents, into text. Returns its length.
std::size_t format_response_line(double frequency, double value, char (&text)[2 * kNumberTextSize + 8]);

}  // namespace vandorak
