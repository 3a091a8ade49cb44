// A node's response power spectral density: squared transmissibility times
// the base input, its Grms, and its response file.
#pragma once

#include <string>
#include <vector>

#include "psd/input_spectrum.h"

namespace vandorak::psd {

struct ResponsePsd {
  std::vector<double> frequency;  // response frequencies inside the input's range, strictly ascending
  std::vector<double> value;      // |T|^2 * input at those frequencies, g^2/Hz
  double grms = 0;                // sqrt of the power-law areas between consecutive points
  bool covers_input = false;      // the points include the input's first and last frequency
};

// frequency and t_squared (same length; extra entries of the longer are ignored) are a node's
// response lines as written, in any order. Points are taken in ascending frequency; of a repeated
// frequency the first in listing order is kept; only first <= f <= last of the input contribute.
ResponsePsd response_psd(const std::vector<double>& frequency, const std::vector<double>& t_squared,
                         const InputSpectrum& input);

// Writes psd one point a line in the response files' format ("%12.5e \t %12.5e \n",
// three-digit exponents). Returns false and sets error to "PATH: strerror" when the
// file cannot be created, written or closed.
bool write_response_psd(const std::string& path, const ResponsePsd& psd, std::string& error);

}  // namespace vandorak::psd
