#include "psd/input_spectrum.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <system_error>

namespace vandorak::psd {

namespace {

// Slopes closer than this to -1 use the logarithmic closed form.
constexpr double kSlopeMinusOneTolerance = 1e-9;

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string quoted(std::string_view text) {
  std::string result;
  result.reserve(text.size() + 2);
  result.push_back('\'');
  result.append(text);
  result.push_back('\'');
  return result;
}

// Splits a data line (comment already removed) into its fields: white space
// separates them, and so may one comma with white space on either side.
// Returns an empty string, or what is wrong with the line.
std::string split_fields(std::string_view line, std::vector<std::string_view>& fields) {
  fields.clear();
  std::size_t i = 0;
  auto skip_blanks = [&] {
    while (i < line.size() && is_blank(line[i])) ++i;
  };
  skip_blanks();
  while (i < line.size()) {
    const std::size_t start = i;
    while (i < line.size() && !is_blank(line[i]) && line[i] != ',') ++i;
    if (i == start) return "misplaced comma";
    fields.push_back(line.substr(start, i - start));
    skip_blanks();
    if (i < line.size() && line[i] == ',') {
      ++i;
      skip_blanks();
      if (i == line.size()) return "misplaced comma";
    }
  }
  return {};
}

// Converts a whole field to a double; returns an empty string or what is wrong.
std::string to_number(std::string_view field, double& value) {
  std::string_view digits = field;
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);  // from_chars refuses '+'
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (ec == std::errc::result_out_of_range) return quoted(field) + " is out of range";
  if (ec != std::errc() || end != digits.data() + digits.size()) return quoted(field) + " is not a number";
  if (!std::isfinite(value)) return quoted(field) + " is not a finite number";
  return {};
}

}  // namespace

bool parse_input_spectrum(std::string_view text, std::string_view name, InputSpectrum& out,
                          std::string& error) {
  InputSpectrum spectrum;
  std::vector<std::string_view> fields;
  std::string_view previous_frequency;
  std::size_t line_number = 0;
  auto fail = [&](const std::string& what) {
    error = std::string(name) + ":" + std::to_string(line_number) + ": " + what;
    return false;
  };

  while (!text.empty()) {
    ++line_number;
    const std::size_t newline = text.find('\n');
    std::string_view line = text.substr(0, newline);
    text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
    line = line.substr(0, line.find('#'));

    if (std::string problem = split_fields(line, fields); !problem.empty()) return fail(problem);
    if (fields.empty()) continue;
    if (fields.size() != 2) {
      return fail("expected 2 numbers (frequency in Hz, g^2/Hz), found " +
                  std::to_string(fields.size()));
    }
    PsdPoint point{};
    if (std::string problem = to_number(fields[0], point.frequency); !problem.empty()) {
      return fail("frequency " + problem);
    }
    if (std::string problem = to_number(fields[1], point.value); !problem.empty()) {
      return fail("value " + problem);
    }
    if (point.frequency <= 0) return fail("frequency " + std::string(fields[0]) + " is not positive");
    if (!spectrum.points.empty() && point.frequency <= spectrum.points.back().frequency) {
      return fail("frequency " + std::string(fields[0]) + " is not above the previous " +
                  std::string(previous_frequency));
    }
    if (point.value <= 0) {
      return fail("value " + std::string(fields[1]) + " at " + std::string(fields[0]) +
                  " Hz is not positive");
    }
    spectrum.points.push_back(point);
    previous_frequency = fields[0];
  }

  if (spectrum.points.size() < 2) {
    error = std::string(name) + (spectrum.points.empty() ? ": no data points" : ": only one point")
            + "; a spectrum needs at least two";
    return false;
  }
  out = std::move(spectrum);
  return true;
}

bool load_input_spectrum(const std::string& path, InputSpectrum& out, std::string& error) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    error = path + ": " + std::strerror(errno);
    return false;
  }
  std::string text;
  char buffer[4096];
  std::size_t count = 0;
  while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, count);
  const bool read_failed = std::ferror(file) != 0;
  const int read_errno = errno;
  std::fclose(file);
  if (read_failed) {
    error = path + ": " + std::strerror(read_errno);
    return false;
  }
  return parse_input_spectrum(text, path, out, error);
}

double input_at(const InputSpectrum& input, double f) {
  const std::vector<PsdPoint>& points = input.points;
  if (points.empty() || !(f >= points.front().frequency && f <= points.back().frequency)) return 0;
  // The first point above f, or the last point when f is the last frequency.
  auto upper = std::upper_bound(points.begin(), points.end(), f,
                                [](double x, const PsdPoint& p) { return x < p.frequency; });
  if (upper == points.end()) return points.back().value;
  const PsdPoint& low = *(upper - 1);
  const PsdPoint& high = *upper;
  if (f == low.frequency) return low.value;
  const double fraction = std::log(f / low.frequency) / std::log(high.frequency / low.frequency);
  return low.value * std::pow(high.value / low.value, fraction);
}

double segment_area(double f1, double p1, double f2, double p2) {
  const double width = f2 - f1;
  if (!(width > 0)) return 0;
  if (p1 <= 0 || p2 <= 0) return 0.5 * (p1 + p2) * width;
  // p = p1 (f/f1)^n; area = p1 f1 ((f2/f1)^(n+1) - 1) / (n+1) = p1 f1 r (e^a - 1) / a with
  // r = ln(f2/f1) and a = (n+1) r. expm1(a)/a keeps its accuracy as n approaches -1.
  const double r = std::log(f2 / f1);
  const double n = std::log(p2 / p1) / r;
  const double a = (n + 1) * r;
  if (std::fabs(n + 1) < kSlopeMinusOneTolerance) return p1 * f1 * r * (1 + 0.5 * a);
  return p1 * f1 * r * (std::expm1(a) / a);
}

double input_grms(const InputSpectrum& input) {
  double area = 0;
  for (std::size_t i = 1; i < input.points.size(); ++i) {
    const PsdPoint& low = input.points[i - 1];
    const PsdPoint& high = input.points[i];
    area += segment_area(low.frequency, low.value, high.frequency, high.value);
  }
  return std::sqrt(area);
}

}  // namespace vandorak::psd
