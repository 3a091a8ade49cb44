#include "listing/scanner.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <system_error>

namespace vandorak {

bool read_line(char* buffer, ListingStream& listing) { return listing.read_line(buffer, kLineSize); }

bool next_line(LineWindow& window, ListingStream& listing) {
  // Rotate the buffers rather than copying the lines.
  char* old_scratch = window.scratch;
  window.scratch = window.two_back;
  window.two_back = window.one_back;
  window.one_back = window.current;
  window.current = old_scratch;
  if (read_line(window.current, listing)) return true;
  // At end of input the current line keeps the text it had before the shift.
  std::memcpy(window.current, window.one_back, kLineSize);
  return false;
}

void skip_lines(LineWindow& window, ListingStream& listing, int count) {
  for (int i = 0; i < count; ++i) read_line(window.scratch, listing);
}

bool line_contains(const char* line, const char* phrase) {
  return std::strstr(line, phrase) != nullptr;
}

int split_header_tokens(TokenHolders& tokens, const char* line, int count) {
  int stored = 0;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(line);
  while (stored < count) {
    while (*p != '\0' && std::isspace(*p)) ++p;
    if (*p == '\0') break;
    char* field = tokens.fields[static_cast<std::size_t>(stored)].data();
    int length = 0;
    while (*p != '\0' && !std::isspace(*p)) {
      if (length < kTokenSize - 1) field[length++] = static_cast<char>(*p);
      ++p;
    }
    field[length] = '\0';
    ++stored;
  }
  return stored;
}

double convert_token(const char* token) { return std::strtod(token, nullptr); }

float read_block_frequency(LineWindow& window, TokenHolders& tokens) {
  split_header_tokens(tokens, window.two_back, kTokenCount);
  return static_cast<float>(convert_token(tokens.token(7)));
}

namespace {

inline bool is_space(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
inline bool is_digit(int c) { return c >= '0' && c <= '9'; }
inline bool is_hex_digit(int c) {
  return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
inline int to_lower(int c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }
inline int hex_value(int c) { return is_digit(c) ? c - '0' : to_lower(c) - 'a' + 10; }

enum class Field { converted, mismatch, end_of_input };

// The text of a floating-point field, kept only as far as its conversion
// needs, so that a field of any length takes bounded memory. Fed the
// field's characters in order, as the scanner accepted them, it keeps the
// sign, at most kKeptDigits significant digits and a sticky digit standing
// for any nonzero digit after them, the position of the point as a scale,
// and the exponent saturated far beyond any double's range. The text it
// gives back converts to the same double as the whole field would.
class NumberText {
 public:
  void start() {
    length_ = 0;
    last_ = 0;
    sign_ = 0;
    special_length_ = 0;
    hexadecimal_ = in_fraction_ = in_exponent_ = sticky_ = exponent_negative_ = false;
    digit_count_ = 0;
    scale_ = exponent_ = 0;
  }

  void add(int c) {
    ++length_;
    const int previous = last_;
    last_ = c;
    if (in_exponent_) {
      if (c == '-' || c == '+') {
        exponent_negative_ = c == '-';
      } else if (exponent_ < kExponentCap) {
        exponent_ = exponent_ * 10 + (c - '0');
      }
      return;
    }
    if (length_ == 1 && (c == '-' || c == '+')) {
      sign_ = static_cast<char>(c);
      return;
    }
    if (to_lower(c) == 'x' && previous == '0' && digit_count_ == 0 && !hexadecimal_) {
      hexadecimal_ = true;
      return;
    }
    if (c == '.') {
      in_fraction_ = true;
      return;
    }
    if ((hexadecimal_ && to_lower(c) == 'p') || (!hexadecimal_ && to_lower(c) == 'e')) {
      in_exponent_ = true;
      return;
    }
    if (is_digit(c) || (hexadecimal_ && is_hex_digit(c))) {
      add_digit(static_cast<char>(c));
      return;
    }
    // The letters of "nan", "inf" and "infinity".
    if (special_length_ < sizeof special_) special_[special_length_++] = static_cast<char>(c);
  }

  std::size_t size() const { return length_; }
  int last() const { return last_; }

  // The field's value, converted as the C library converts the whole field.
  double value() {
    char text[kKeptDigits + 64];
    std::size_t n = 0;
    if (sign_ != 0) text[n++] = sign_;
    if (special_length_ > 0) {
      std::memcpy(text + n, special_, special_length_);
      n += special_length_;
      text[n] = '\0';
      return std::strtod(text, nullptr);
    }
    if (hexadecimal_) {
      text[n++] = '0';
      text[n++] = 'x';
    }
    std::int64_t scale = scale_;
    if (digit_count_ == 0) {
      text[n++] = '0';
    } else {
      std::memcpy(text + n, digits_, digit_count_);
      n += digit_count_;
      if (sticky_) {
        text[n++] = '1';
        --scale;
      }
    }
    // Each dropped or fractional digit moves the point by one digit: a
    // power of ten, or four powers of two for hexadecimal digits.
    std::int64_t exponent = (exponent_negative_ ? -exponent_ : exponent_) + (hexadecimal_ ? 4 * scale : scale);
    exponent = std::clamp<std::int64_t>(exponent, -kExponentClamp, kExponentClamp);
    n += static_cast<std::size_t>(std::snprintf(text + n, sizeof text - n, "%c%lld", hexadecimal_ ? 'p' : 'e',
                                                static_cast<long long>(exponent)));
    return std::strtod(text, nullptr);
  }

 private:
  // A double's correct rounding is decided within 768 significant decimal
  // digits (and 14 hexadecimal ones); beyond that only "is any digit
  // nonzero" matters.
  static constexpr std::size_t kKeptDigits = 800;
  static constexpr std::int64_t kExponentCap = std::int64_t{1} << 50;
  static constexpr std::int64_t kExponentClamp = 100000000;

  void add_digit(char c) {
    if (digit_count_ == 0 && c == '0') {
      if (in_fraction_) --scale_;  // a leading zero after the point
      return;
    }
    if (digit_count_ < kKeptDigits) {
      digits_[digit_count_++] = c;
      if (in_fraction_) --scale_;
      return;
    }
    if (c != '0') sticky_ = true;
    if (!in_fraction_) ++scale_;  // a dropped digit before the point
  }

  std::size_t length_ = 0;
  int last_ = 0;
  char sign_ = 0;
  char special_[8] = {};
  std::size_t special_length_ = 0;
  bool hexadecimal_ = false;
  bool in_fraction_ = false;
  bool in_exponent_ = false;
  bool sticky_ = false;
  bool exponent_negative_ = false;
  char digits_[kKeptDigits] = {};
  std::size_t digit_count_ = 0;
  std::int64_t scale_ = 0;
  std::int64_t exponent_ = 0;
};

// Skips white space before a field; false at end of input.
bool skip_space(ListingStream& in) {
  constexpr std::uint64_t kEightSpaces = 0x2020202020202020ull;
  for (;;) {
    const char* p = in.cursor();
    const char* const end = in.limit();
    // Listings pad their columns with runs of blanks: take them eight at a time.
    while (end - p >= 8) {
      std::uint64_t eight;
      std::memcpy(&eight, p, sizeof eight);
      if (eight != kEightSpaces) break;
      p += 8;
    }
    while (p != end && is_space(static_cast<unsigned char>(*p))) ++p;
    in.advance_to(p);
    if (p != end) return true;
    if (!in.fill()) return false;
  }
}

// Adds one digit to a value accumulated as strtol does: saturating at the
// range of long.
inline void add_decimal_digit(unsigned long& magnitude, bool& overflow, int digit) {
  constexpr unsigned long kMax = static_cast<unsigned long>(LONG_MAX) + 1;  // |LONG_MIN|
  if (overflow) return;
  if (magnitude > (kMax - static_cast<unsigned long>(digit)) / 10) {
    overflow = true;
    return;
  }
  magnitude = magnitude * 10 + static_cast<unsigned long>(digit);
}

// What strtol gives for the digits, then narrowed to int as the C
// library's "%d" stores it.
inline int narrowed_id(unsigned long magnitude, bool overflow, bool negative) {
  constexpr unsigned long kLongMax = LONG_MAX;
  long value;
  if (negative) {
    value = overflow || magnitude > kLongMax ? LONG_MIN : -static_cast<long>(magnitude);
  } else {
    value = overflow || magnitude > kLongMax ? LONG_MAX : static_cast<long>(magnitude);
  }
  return static_cast<int>(value);
}

// Scans a "%d" field, consuming exactly what the C library's scanf
// consumes: an optional sign and the digits after it.
Field scan_int_field(ListingStream& in, int& value) {
  bool negative = false;
  bool any_digit = false;
  bool overflow = false;
  unsigned long magnitude = 0;

  // Most fields lie inside the buffer: scan them in memory.
  const char* p = in.cursor();
  const char* const end = in.limit();
  const char* q = p;
  if (q != end && (*q == '-' || *q == '+')) ++q;
  const char* digits = q;
  while (q != end && is_digit(*q)) ++q;
  if (q != end) {
    in.advance_to(q);
    if (q == digits) return Field::mismatch;
    negative = *p == '-';
    for (const char* d = digits; d != q; ++d) add_decimal_digit(magnitude, overflow, *d - '0');
    value = narrowed_id(magnitude, overflow, negative);
    return Field::converted;
  }

  // The field may go on past the buffer: read it a character at a time.
  int c = in.get();
  if (c == EOF) return Field::end_of_input;
  if (c == '-' || c == '+') {
    negative = c == '-';
    c = in.get();
  }
  while (is_digit(c)) {
    any_digit = true;
    add_decimal_digit(magnitude, overflow, c - '0');
    c = in.get();
  }
  in.unget(c);
  if (!any_digit) return Field::mismatch;
  value = narrowed_id(magnitude, overflow, negative);
  return Field::converted;
}

// Scans a "%lf" field a character at a time, consuming exactly what the C
// library's scanf consumes, including its treatment of text that only
// starts like a number ("1.5E" is taken as 1.5 with the "E" consumed; a
// broken "nan" or "infinity" is consumed up to and including the character
// that broke it).
Field scan_double_field_slowly(ListingStream& in, NumberText& text) {
  int c = in.get();
  if (c == EOF) return Field::end_of_input;
  std::size_t sign_length = 0;
  if (c == '-' || c == '+') {
    text.add(c);
    sign_length = 1;
    c = in.get();
    if (c == EOF) return Field::mismatch;
  }

  // "nan", "inf" and "infinity", in any case.
  auto expect = [&](const char* rest) {
    for (; *rest != '\0'; ++rest) {
      c = in.get();
      if (c == EOF || to_lower(c) != *rest) return false;
      text.add(c);
    }
    return true;
  };
  if (to_lower(c) == 'n') {
    text.add(c);
    return expect("an") ? Field::converted : Field::mismatch;
  }
  if (to_lower(c) == 'i') {
    text.add(c);
    if (!expect("nf")) return Field::mismatch;
    c = in.get();
    if (to_lower(c) != 'i') {
      in.unget(c);
      return Field::converted;
    }
    text.add(c);
    return expect("nity") ? Field::converted : Field::mismatch;
  }

  bool got_digit = false;
  bool got_dot = false;
  bool got_exponent = false;
  bool hexadecimal = false;
  int exponent_char = 'e';
  if (c == '0') {
    text.add(c);
    c = in.get();
    if (to_lower(c) == 'x') {
      text.add(c);
      hexadecimal = true;
      exponent_char = 'p';
      c = in.get();
    } else {
      got_digit = true;
    }
  }
  for (;;) {
    if (is_digit(c) || (!got_exponent && hexadecimal && is_hex_digit(c))) {
      text.add(c);
      got_digit = true;
    } else if (got_exponent && text.last() == exponent_char && (c == '-' || c == '+')) {
      text.add(c);
    } else if (got_digit && !got_exponent && to_lower(c) == exponent_char) {
      text.add(exponent_char);
      got_exponent = got_dot = true;
    } else if (!got_dot && c == '.') {
      text.add(c);
      got_dot = true;
    } else {
      in.unget(c);
      break;
    }
    c = in.get();
    if (c == EOF) break;
  }
  // A bare sign, or a bare "0x", is no number.
  if (text.size() == sign_length || (hexadecimal && text.size() == 2 + sign_length)) {
    return Field::mismatch;
  }
  // The C library converts the collected text and fails only when no digit
  // stands before the exponent (".", "-.e"); "0x" followed by anything
  // already converts its 0.
  return got_digit || hexadecimal ? Field::converted : Field::mismatch;
}

// Converts a decimal field's text. from_chars rounds exactly as strtod
// does; out-of-range values (which from_chars does not store) and the
// sign it does not take go through strtod.
// Exact powers of ten, for the fast conversion.
constexpr double kExactPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                   1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// The common listing number (at most 15 significant digits, a small
// exponent) converted with one correctly rounded multiplication or
// division of two exact doubles, which is the correctly rounded value.
// False when the number is not of that kind.
bool convert_short_decimal(const char* p, const char* end, double& value) {
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  std::uint64_t mantissa = 0;
  int digits = 0;
  int scale = 0;
  for (; p != end && is_digit(static_cast<unsigned char>(*p)); ++p) {
    if (digits > 0 || *p != '0') {
      mantissa = mantissa * 10 + static_cast<std::uint64_t>(*p - '0');
      ++digits;
    }
  }
  if (p != end && *p == '.') {
    for (++p; p != end && is_digit(static_cast<unsigned char>(*p)); ++p) {
      if (digits > 0 || *p != '0') {
        mantissa = mantissa * 10 + static_cast<std::uint64_t>(*p - '0');
        ++digits;
      }
      --scale;
    }
  }
  if (digits > 15) return false;
  if (p != end && (*p == 'e' || *p == 'E')) {
    ++p;
    bool exponent_negative = false;
    if (p != end && (*p == '+' || *p == '-')) exponent_negative = *p++ == '-';
    int exponent = 0;
    for (; p != end; ++p) {
      if (exponent > 1000) return false;
      exponent = exponent * 10 + (*p - '0');
    }
    scale += exponent_negative ? -exponent : exponent;
  }
  if (scale < -22 || scale > 22) return false;
  double result = static_cast<double>(mantissa);
  result = scale < 0 ? result / kExactPowers[-scale] : result * kExactPowers[scale];
  value = negative ? -result : result;
  return true;
}

double convert_decimal(const char* begin, const char* end, NumberText& text) {
  double fast = 0.0;
  if (convert_short_decimal(begin, end, fast)) return fast;
  const char* first = begin;
  if (*first == '+') ++first;
  double value = 0.0;
  const std::from_chars_result result = std::from_chars(first, end, value, std::chars_format::general);
  if (result.ec == std::errc{}) return value;
  text.start();
  for (const char* c = begin; c != end; ++c) text.add(static_cast<unsigned char>(*c));
  return text.value();
}

// Scans a "%lf" field as scan_double_field_slowly does. Decimal numbers
// lying inside the buffer are scanned and converted in memory; everything
// else is read a character at a time. The value is converted only when
// wanted.
Field scan_double_field(ListingStream& in, NumberText& text, double* value) {
  const char* const p = in.cursor();
  const char* const end = in.limit();
  const char* q = p;
  if (q != end && (*q == '-' || *q == '+')) ++q;
  bool plain = q != end;
  if (plain) {
    const int first = to_lower(static_cast<unsigned char>(*q));
    if (first == 'n' || first == 'i') plain = false;
    if (first == '0' && (q + 1 == end || to_lower(static_cast<unsigned char>(q[1])) == 'x')) plain = false;
  }
  if (plain) {
    // [digits][.][digits], then an exponent only after a digit:
    // e[sign][digits]. Exactly what the character-at-a-time scan accepts.
    const char* digits = q;
    while (q != end && is_digit(static_cast<unsigned char>(*q))) ++q;
    bool got_digit = q != digits;
    if (q != end && *q == '.') {
      digits = ++q;
      while (q != end && is_digit(static_cast<unsigned char>(*q))) ++q;
      got_digit = got_digit || q != digits;
    }
    if (got_digit && q != end && (*q == 'e' || *q == 'E')) {
      ++q;
      if (q != end && (*q == '+' || *q == '-')) ++q;
      while (q != end && is_digit(static_cast<unsigned char>(*q))) ++q;
    }
    if (q != end) {
      in.advance_to(q);
      if (!got_digit) return Field::mismatch;
      if (value != nullptr) *value = convert_decimal(p, q, text);
      return Field::converted;
    }
  }
  text.start();
  const Field result = scan_double_field_slowly(in, text);
  if (result == Field::converted && value != nullptr) *value = text.value();
  return result;
}

constexpr int kFirstPartFields = 8;

// Scans the six phases of a record pair ("      %lf %lf %lf %lf %lf %lf").
void scan_phases(ListingStream& in, NodeRecord& record, NumberText& text, bool store) {
  for (double& phase : record.phase) {
    if (!skip_space(in)) return;
    if (scan_double_field(in, text, store ? &phase : nullptr) != Field::converted) return;
  }
}

}  // namespace

int read_node_record(NodeRecord& record, ListingStream& in, const IdSet* only_for) {
  static NumberText text;
  int converted = 0;
  bool store = true;
  for (int field = 0; field < kFirstPartFields; ++field) {
    if (!skip_space(in)) {
      if (converted == 0) converted = EOF;
      break;
    }
    Field result;
    if (field == 0) {
      result = scan_int_field(in, record.node_id);
      if (result == Field::converted) store = only_for == nullptr || only_for->contains(record.node_id);
    } else if (field == 1) {
      int type_code = 0;
      result = scan_int_field(in, type_code);
      if (result == Field::converted && store) record.type_code = type_code;
    } else {
      double* target = nullptr;
      if (store) {
        target = field < 5 ? &record.translation[static_cast<std::size_t>(field - 2)]
                           : &record.rotation[static_cast<std::size_t>(field - 5)];
      }
      result = scan_double_field(in, text, target);
    }
    if (result != Field::converted) break;
    ++converted;
  }
  // The phases are never used once a pair is filtered by node.
  scan_phases(in, record, text, only_for == nullptr);
  return converted;
}

}  // namespace vandorak
