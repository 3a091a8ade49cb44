// Buffered reading of the listing: whole lines and single characters from
// one stream position, as the C library's fgets and formatted input see it.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>

namespace vandorak {

class ListingStream {
 public:
  static constexpr std::size_t kDefaultBufferSize = std::size_t{256} << 10;

  explicit ListingStream(std::size_t buffer_size = kDefaultBufferSize);
  // Reads from an already open stream, which the caller keeps owning.
  explicit ListingStream(std::FILE* file, std::size_t buffer_size = kDefaultBufferSize);

  void attach(std::FILE* file);
  std::FILE* file() const { return file_; }

  // Goes back to the start of the listing.
  void rewind();

  // Reads at most line_size - 1 characters into buffer, stopping after a
  // line end; the text is zero-terminated. Returns false at end of input,
  // leaving buffer unchanged.
  bool read_line(char* buffer, std::size_t line_size);

  // The next character, or EOF; a read error counts as end of input.
  int get() {
    if (position_ == end_ && !refill()) return EOF;
    return static_cast<unsigned char>(buffer_[position_++]);
  }
  // Pushes back the character just taken with get (nothing for EOF).
  void unget(int c) {
    if (c != EOF) --position_;
  }

  // True when the stream could not be read (a directory, say).
  bool read_failed() const { return read_failed_; }
  // The errno of that failure.
  int read_error() const { return read_error_; }

  // Direct access to the buffered text for scanners that work on memory:
  // [cursor(), limit()) is what is buffered and not yet taken, and
  // *limit() is always a zero byte. advance_to moves the position within it.
  const char* cursor() const { return buffer_.get() + position_; }
  const char* limit() const { return buffer_.get() + end_; }
  void advance_to(const char* p) { position_ = static_cast<std::size_t>(p - buffer_.get()); }
  // Makes sure some text is buffered; false at end of input.
  bool fill() { return position_ != end_ || refill(); }

  // Bytes handed out since the last rewind or attach.
  std::size_t consumed() const { return consumed_before_ + position_; }

 private:
  bool refill();

  std::size_t buffer_size_;
  std::unique_ptr<char[]> buffer_;
  std::FILE* file_ = nullptr;
  std::size_t position_ = 0;
  std::size_t end_ = 0;
  std::size_t consumed_before_ = 0;
  bool at_end_ = false;
  bool read_failed_ = false;
  int read_error_ = 0;
};

}  // namespace vandorak
