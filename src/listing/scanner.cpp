#include "listing/scanner.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

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

enum class Field { converted, mismatch, end_of_input };

// The characters a field consumed. Their text is kept only when the value
// is wanted; the count and the last character always are, since they decide
// what the field still accepts.
class FieldText {
 public:
  void start(bool keep) {
    keep_ = keep;
    size_ = 0;
    last_ = 0;
    text_.clear();
  }
  void add(int c) {
    if (keep_) text_.push_back(static_cast<char>(c));
    ++size_;
    last_ = c;
  }
  std::size_t size() const { return size_; }
  int last() const { return last_; }
  const char* c_str() const { return text_.c_str(); }

 private:
  std::string text_;  // reused, so no allocation per field
  bool keep_ = true;
  std::size_t size_ = 0;
  int last_ = 0;
};

// Skips white space before a field; false at end of input.
bool skip_space(ListingStream& in) {
  int c = in.get();
  while (is_space(c)) c = in.get();
  if (c == EOF) return false;
  in.unget(c);
  return true;
}

// Scans a "%d" field, consuming exactly what the C library's scanf
// consumes: an optional sign and the digits after it.
Field scan_int_field(ListingStream& in, FieldText& text) {
  int c = in.get();
  if (c == EOF) return Field::end_of_input;
  if (c == '-' || c == '+') {
    text.add(c);
    c = in.get();
  }
  while (is_digit(c)) {
    text.add(c);
    c = in.get();
  }
  in.unget(c);
  return is_digit(text.last()) ? Field::converted : Field::mismatch;
}

// Scans a "%lf" field, consuming exactly what the C library's scanf
// consumes, including its treatment of text that only starts like a number
// ("1.5E" is taken as 1.5 with the "E" consumed; a broken "nan" or
// "infinity" is consumed up to and including the character that broke it).
Field scan_double_field(ListingStream& in, FieldText& text) {
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

constexpr int kFirstPartFields = 8;

// Scans the six phases of a record pair ("      %lf %lf %lf %lf %lf %lf").
void scan_phases(ListingStream& in, NodeRecord& record, FieldText& text, bool store) {
  for (double& phase : record.phase) {
    if (!skip_space(in)) return;
    text.start(store);
    if (scan_double_field(in, text) != Field::converted) return;
    if (store) phase = std::strtod(text.c_str(), nullptr);
  }
}

}  // namespace

int read_node_record(NodeRecord& record, ListingStream& in, const std::int32_t* only_for) {
  static FieldText text;
  int converted = 0;
  bool store = true;
  for (int field = 0; field < kFirstPartFields; ++field) {
    if (!skip_space(in)) {
      if (converted == 0) converted = EOF;
      break;
    }
    text.start(store);
    const Field result = field < 2 ? scan_int_field(in, text) : scan_double_field(in, text);
    if (result != Field::converted) break;
    if (field == 0) {
      record.node_id = static_cast<int>(std::strtol(text.c_str(), nullptr, 10));
      store = only_for == nullptr || record.node_id == *only_for;
    } else if (store) {
      if (field == 1) {
        record.type_code = static_cast<int>(std::strtol(text.c_str(), nullptr, 10));
      } else if (field < 5) {
        record.translation[static_cast<std::size_t>(field - 2)] = std::strtod(text.c_str(), nullptr);
      } else {
        record.rotation[static_cast<std::size_t>(field - 5)] = std::strtod(text.c_str(), nullptr);
      }
    }
    ++converted;
  }
  scan_phases(in, record, text, store);
  return converted;
}

}  // namespace vandorak
