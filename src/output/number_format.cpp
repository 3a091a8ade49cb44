#include "output/number_format.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>

namespace vandorak {

namespace {

constexpr std::size_t kFieldWidth = 12;
constexpr std::size_t kExponentDigits = 3;

// Powers of ten from 1e-340 to 1e340 as the nearest doubles (0 and
// infinity outside the range of double).
class PowersOfTen {
 public:
  PowersOfTen() {
    for (int k = -kRange; k <= kRange; ++k) {
      char text[16];
      std::snprintf(text, sizeof text, "1e%d", k);
      powers_[static_cast<std::size_t>(k + kRange)] = std::strtod(text, nullptr);
    }
  }
  double operator()(int k) const { return powers_[static_cast<std::size_t>(k + kRange)]; }
  static constexpr int kRange = 340;

 private:
  double powers_[2 * kRange + 1];
};

// "%.5e" of value into plain, as printf gives it in the C locale
// ("1.00000e+01", "inf", "-nan"), through to_chars with a precision, which
// is defined to match printf exactly. Returns its length.
std::size_t put_exact_exponent_form(double value, char* plain, std::size_t size) {
  const std::to_chars_result exact = std::to_chars(plain, plain + size, value, std::chars_format::scientific, 5);
  return exact.ec == std::errc{} ? static_cast<std::size_t>(exact.ptr - plain) : 0;
}

// The six digits and decimal exponent of a normal number as "%.5e" rounds
// them. The number is scaled to six digits before the point in double
// precision: the scaling is off by a few units in the last place, far less
// than the distance to a rounding decision unless the digits after the
// sixth are within 1e-7 of a half. Returns false then, so that the exact
// conversion decides.
bool six_digits(double magnitude, std::uint32_t& digits, int& exponent) {
  static const PowersOfTen power;
  std::uint64_t bits = 0;
  std::memcpy(&bits, &magnitude, sizeof bits);
  const int binary_exponent = static_cast<int>((bits >> 52) & 0x7ff) - 1023;
  // floor(log10(2^binary_exponent)): log10(magnitude) or one less.
  exponent = (binary_exponent * 78913) >> 18;
  auto scaled_by = [&](int e) {
    const int k = 5 - e;
    return k > 300 ? magnitude * power(300) * power(k - 300) : magnitude * power(k);
  };
  double scaled = scaled_by(exponent);
  if (scaled >= 1e6) {
    ++exponent;
    scaled = scaled_by(exponent);
  } else if (scaled < 1e5) {
    --exponent;
    scaled = scaled_by(exponent);
  }
  if (!(scaled >= 1e5 && scaled < 1e6)) return false;
  const auto whole = static_cast<std::uint32_t>(scaled);
  const double fraction = scaled - static_cast<double>(whole);
  if (fraction > 0.5 - 1e-7 && fraction < 0.5 + 1e-7) return false;
  digits = whole + (fraction > 0.5 ? 1u : 0u);
  if (digits == 1000000u) {
    digits = 100000u;
    ++exponent;
  }
  return true;
}

// Writes the number at out in the response-file form: right-aligned in
// the field, the exponent of at least three digits; returns its length.
std::size_t put_exponent3(double value, char* out) {
  std::uint32_t digits = 0;
  int exponent = 0;
  if (std::isnormal(value) && six_digits(std::fabs(value), digits, exponent)) {
    // A normal number's exponent has three digits: the field is filled.
    std::size_t n = 0;
    if (value < 0) out[n++] = '-';
    char six[6];
    for (int i = 5; i >= 0; --i) {
      six[i] = static_cast<char>('0' + digits % 10);
      digits /= 10;
    }
    out[n++] = six[0];
    out[n++] = '.';
    std::memcpy(out + n, six + 1, 5);
    n += 5;
    out[n++] = 'e';
    out[n++] = exponent < 0 ? '-' : '+';
    const int shown = exponent < 0 ? -exponent : exponent;
    out[n++] = static_cast<char>('0' + shown / 100);
    out[n++] = static_cast<char>('0' + shown / 10 % 10);
    out[n++] = static_cast<char>('0' + shown % 10);
    return n;
  }

  char plain[kNumberTextSize];
  const std::size_t length = put_exact_exponent_form(value, plain, sizeof plain);
  char widened[kNumberTextSize];
  std::size_t widened_length = length;
  const char* exponent_mark = static_cast<const char*>(std::memchr(plain, 'e', length));
  if (exponent_mark != nullptr) {
    const std::size_t head = static_cast<std::size_t>(exponent_mark - plain) + 2;  // "...e+"
    const std::size_t exponent_digits = length - head;
    std::memcpy(widened, plain, head);
    widened_length = head;
    for (std::size_t i = exponent_digits; i < kExponentDigits; ++i) widened[widened_length++] = '0';
    std::memcpy(widened + widened_length, plain + head, exponent_digits);
    widened_length += exponent_digits;
  } else {
    std::memcpy(widened, plain, length);
  }
  const std::size_t padding = widened_length < kFieldWidth ? kFieldWidth - widened_length : 0;
  std::memset(out, ' ', padding);
  std::memcpy(out + padding, widened, widened_length);
  return padding + widened_length;
}

}  // namespace

std::size_t format_exponent3(double value, char (&text)[kNumberTextSize]) {
  const std::size_t length = put_exponent3(value, text);
  text[length] = '\0';
  return length;
}

std::size_t prefix_response_line(double frequency, char (&text)[kLineTextSize]) {
  std::size_t length = put_exponent3(frequency, text);
  std::memcpy(text + length, " \t ", 3);
  return length + 3;
}

std::size_t finish_response_line(double value, std::size_t prefix_length, char (&text)[kLineTextSize]) {
  const std::size_t length = prefix_length + put_exponent3(value, text + prefix_length);
  std::memcpy(text + length, " \n", 3);  // with the terminating zero
  return length + 2;
}

std::size_t format_response_line(double frequency, double value, char (&text)[kLineTextSize]) {
  return finish_response_line(value, prefix_response_line(frequency, text), text);
}

}  // namespace vandorak
