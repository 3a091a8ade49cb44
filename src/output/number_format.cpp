#include "output/number_format.h"

#include <cstdio>
#include <cstring>

namespace vandorak {

namespace {
constexpr int kFieldWidth = 12;
constexpr int kExponentDigits = 3;
}  // namespace

std::size_t format_exponent3(double value, char (&text)[kNumberTextSize]) {
  char plain[kNumberTextSize];
  int length = std::snprintf(plain, sizeof plain, "%.5e", value);
  if (length < 0) length = 0;

  // The C library prints at least two exponent digits; the file format has
  // at least three, so widen "e+01" to "e+001".
  char widened[kNumberTextSize];
  const char* exponent = std::strchr(plain, 'e');
  std::size_t widened_length = 0;
  if (exponent != nullptr) {
    const std::size_t mantissa_length = static_cast<std::size_t>(exponent - plain) + 2;  // "...e+"
    const char* digits = exponent + 2;
    const std::size_t digit_count = std::strlen(digits);
    std::memcpy(widened, plain, mantissa_length);
    widened_length = mantissa_length;
    for (std::size_t i = digit_count; i < kExponentDigits; ++i) widened[widened_length++] = '0';
    std::memcpy(widened + widened_length, digits, digit_count);
    widened_length += digit_count;
  } else {
    std::memcpy(widened, plain, static_cast<std::size_t>(length));
    widened_length = static_cast<std::size_t>(length);
  }

  std::size_t padding = widened_length < kFieldWidth ? kFieldWidth - widened_length : 0;
  std::memset(text, ' ', padding);
  std::memcpy(text + padding, widened, widened_length);
  text[padding + widened_length] = '\0';
  return padding + widened_length;
}

std::size_t format_response_line(double frequency, double value,
                                 char (&text)[2 * kNumberTextSize + 8]) {
  char number[kNumberTextSize];
  std::size_t length = format_exponent3(frequency, number);
  std::memcpy(text, number, length);
  std::memcpy(text + length, " \t ", 3);
  length += 3;
  const std::size_t value_length = format_exponent3(value, number);
  std::memcpy(text + length, number, value_length);
  length += value_length;
  std::memcpy(text + length, " \n", 3);  // with the terminating zero
  return length + 2;
}

}  // namespace vandorak
