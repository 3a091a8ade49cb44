#include "output/number_format.h"

#include <charconv>
#include <cstring>
#include <system_error>

namespace vandorak {

namespace {

constexpr std::size_t kFieldWidth = 12;
constexpr std::size_t kExponentDigits = 3;

// Writes the number at out, right-aligned in the field; returns its length.
// to_chars with a precision gives exactly what printf's "%.5e" gives in the
// C locale ("1.00000e+01", "inf", "-nan"); the exponent then gets its third
// digit.
std::size_t put_exponent3(double value, char* out) {
  char plain[kNumberTextSize];
  const std::to_chars_result result =
      std::to_chars(plain, plain + sizeof plain, value, std::chars_format::scientific, 5);
  const std::size_t length = result.ec == std::errc{} ? static_cast<std::size_t>(result.ptr - plain) : 0;

  char widened[kNumberTextSize];
  std::size_t widened_length = length;
  const char* exponent = static_cast<const char*>(std::memchr(plain, 'e', length));
  if (exponent != nullptr) {
    const std::size_t head = static_cast<std::size_t>(exponent - plain) + 2;  // "...e+"
    const std::size_t digits = length - head;
    std::memcpy(widened, plain, head);
    widened_length = head;
    for (std::size_t i = digits; i < kExponentDigits; ++i) widened[widened_length++] = '0';
    std::memcpy(widened + widened_length, plain + head, digits);
    widened_length += digits;
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
