#include "psd/response_psd.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numeric>

#include "output/number_format.h"

namespace vandorak::psd {

ResponsePsd response_psd(const std::vector<double>& frequency, const std::vector<double>& t_squared,
                         const InputSpectrum& input) {
  ResponsePsd psd;
  if (input.points.empty()) return psd;
  const double first = input.points.front().frequency;
  const double last = input.points.back().frequency;

  std::vector<std::size_t> order(std::min(frequency.size(), t_squared.size()));
  std::iota(order.begin(), order.end(), std::size_t{0});
  // Stable, so the first of a repeated frequency in listing order comes first and is the one kept.
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return frequency[a] < frequency[b]; });
  for (std::size_t i : order) {
    const double f = frequency[i];
    if (!(f >= first && f <= last)) continue;
    if (!psd.frequency.empty() && f == psd.frequency.back()) continue;
    psd.frequency.push_back(f);
    psd.value.push_back(t_squared[i] * input_at(input, f));
  }

  double area = 0;
  for (std::size_t i = 1; i < psd.frequency.size(); ++i) {
    area += segment_area(psd.frequency[i - 1], psd.value[i - 1], psd.frequency[i], psd.value[i]);
  }
  psd.grms = std::sqrt(area);
  psd.covers_input = !psd.frequency.empty() && psd.frequency.front() == first &&
                     psd.frequency.back() == last;
  return psd;
}

bool write_response_psd(const std::string& path, const ResponsePsd& psd, std::string& error) {
  std::FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr) {
    error = path + ": " + std::strerror(errno);
    return false;
  }
  bool written = true;
  int write_errno = 0;
  char line[2 * kNumberTextSize + 8];
  const std::size_t count = std::min(psd.frequency.size(), psd.value.size());
  for (std::size_t i = 0; i < count && written; ++i) {
    const std::size_t length = format_response_line(psd.frequency[i], psd.value[i], line);
    written = std::fwrite(line, 1, length, file) == length;
    if (!written) write_errno = errno;
  }
  // Buffered lines reach the file only here, so a full disk may show first at the close.
  const bool closed = std::fclose(file) == 0;
  if (written && !closed) write_errno = errno;
  if (!written || !closed) {
    error = path + ": " + std::strerror(write_errno);
    return false;
  }
  return true;
}

}  // namespace vandorak::psd
