#include "listing/scanner.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace vandorak {

bool read_line(char* buffer, std::FILE* listing) {
  return std::fgets(buffer, kLineSize, listing) != nullptr;
}

bool next_line(LineWindow& window, std::FILE* listing) {
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

void skip_lines(LineWindow& window, std::FILE* listing, int count) {
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

int read_node_record(NodeRecord& record, std::FILE* listing) {
  const int converted = std::fscanf(
      listing, "%d %d %lf %lf %lf %lf %lf %lf", &record.node_id, &record.type_code,
      &record.translation[0], &record.translation[1], &record.translation[2],
      &record.rotation[0], &record.rotation[1], &record.rotation[2]);
  std::fscanf(listing, "      %lf %lf %lf %lf %lf %lf", &record.phase[0], &record.phase[1],
              &record.phase[2], &record.phase[3], &record.phase[4], &record.phase[5]);
  return converted;
}

}  // namespace vandorak
