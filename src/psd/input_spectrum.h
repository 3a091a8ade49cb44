// A base-input acceleration power spectral density: reading it from text and
// evaluating and integrating it as straight lines on log-log axes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vandorak::psd {

struct PsdPoint {
  double frequency;  // Hz
  double value;      // g^2/Hz
};

// Strictly increasing, positive, finite frequencies; positive, finite values;
// at least two points.
struct InputSpectrum {
  std::vector<PsdPoint> points;
};

// Parses two columns (frequency in Hz, g^2/Hz) split by white space, a comma or both;
// '#' starts a comment, blank lines and CR LF are allowed, each number must be a whole token.
// On failure returns false, leaves out unchanged and sets error to one line,
// "NAME:LINE: what is wrong" (LINE from 1), or "NAME: what is wrong" for the whole text.
bool parse_input_spectrum(std::string_view text, std::string_view name, InputSpectrum& out,
                          std::string& error);

// Reads the file at path and parses it, naming it path in messages. A file that
// cannot be read gives false and "PATH: strerror".
bool load_input_spectrum(const std::string& path, InputSpectrum& out, std::string& error);

// The input at f, straight on log-log axes between its points (constant dB/octave),
// exact at the points; 0 outside [first, last] frequency.
double input_at(const InputSpectrum& input, double f);

// Area from f1 to f2 (0 < f1 <= f2) under the power law through (f1, p1) and (f2, p2),
// exact for log-log straight lines, the slope -1 case included; a trapezoid when p1 or
// p2 is zero or negative; 0 for a zero-width segment.
double segment_area(double f1, double p1, double f2, double p2);

// The input's root-mean-square acceleration in g: sqrt of its area.
double input_grms(const InputSpectrum& input);

}  // namespace vandorak::psd
