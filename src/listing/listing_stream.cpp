#include "listing/listing_stream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vandorak {

ListingStream::ListingStream(std::size_t buffer_size)
    : buffer_size_(buffer_size), buffer_(std::make_unique<char[]>(buffer_size + 1)) {}

ListingStream::ListingStream(std::FILE* file, std::size_t buffer_size) : ListingStream(buffer_size) {
  attach(file);
}

void ListingStream::attach(std::FILE* file) {
  file_ = file;
  position_ = end_ = consumed_before_ = 0;
  buffer_[0] = '\0';
  at_end_ = read_failed_ = false;
}

void ListingStream::rewind() {
  if (file_ != nullptr) std::rewind(file_);
  position_ = end_ = consumed_before_ = 0;
  buffer_[0] = '\0';
  at_end_ = false;
}

bool ListingStream::refill() {
  if (at_end_ || file_ == nullptr) return false;
  consumed_before_ += position_;
  errno = 0;
  end_ = std::fread(buffer_.get(), 1, buffer_size_, file_);
  buffer_[end_] = '\0';
  position_ = 0;
  if (end_ == 0) {
    // End of input stays end of input until the next rewind.
    at_end_ = true;
    if (std::ferror(file_) != 0) {
      read_failed_ = true;
      read_error_ = errno;
    }
    return false;
  }
  return true;
}

bool ListingStream::read_line(char* buffer, std::size_t line_size) {
  std::size_t length = 0;
  while (length + 1 < line_size) {
    if (position_ == end_ && !refill()) break;
    const char* start = buffer_.get() + position_;
    const std::size_t available = std::min(line_size - 1 - length, end_ - position_);
    const void* line_end = std::memchr(start, '\n', available);
    const std::size_t taken =
        line_end != nullptr ? static_cast<std::size_t>(static_cast<const char*>(line_end) - start) + 1 : available;
    std::memcpy(buffer + length, start, taken);
    length += taken;
    position_ += taken;
    if (line_end != nullptr) break;
  }
  if (length == 0) return false;
  buffer[length] = '\0';
  return true;
}

}  // namespace vandorak
