// Small helpers for tests that feed the passes an in-memory listing.
#pragma once

#include <cstdio>
#include <string>

#include "listing/listing_stream.h"

namespace vandorak::testing {

// A temporary file holding text, positioned at its start.
inline std::FILE* file_with(const std::string& text) {
  std::FILE* file = std::tmpfile();
  std::fwrite(text.data(), 1, text.size(), file);
  std::rewind(file);
  return file;
}

// Everything from the file's current position to its end.
inline std::string rest_of(std::FILE* file) {
  std::string text;
  for (int c = std::getc(file); c != EOF; c = std::getc(file)) text.push_back(static_cast<char>(c));
  return text;
}

// Everything written to the file, from its start.
inline std::string contents_of(std::FILE* file) {
  std::fflush(file);
  std::rewind(file);
  return rest_of(file);
}

// What is left to read in a listing stream.
inline std::string rest_of(ListingStream& listing) {
  std::string text;
  for (int c = listing.get(); c != EOF; c = listing.get()) text.push_back(static_cast<char>(c));
  return text;
}

// A listing stream over a temporary file holding text. Its buffer is tiny,
// so lines and numbers straddle refills.
class TextListing : public ListingStream {
 public:
  static constexpr std::size_t kSmallBuffer = 16;
  explicit TextListing(const std::string& text, std::size_t buffer_size = kSmallBuffer)
      : ListingStream(file_with(text), buffer_size) {}
  ~TextListing() { std::fclose(file()); }
  TextListing(const TextListing&) = delete;
  TextListing& operator=(const TextListing&) = delete;
};

}  // namespace vandorak::testing
