// Lookup tables shared by toGray and binarize. Each table holds the exact
// double product of a weight and a byte, so a lookup gives the same bits as
// the multiplication, and the three products are still added in the same
// order: green and blue first, red last.
#pragma once

#include <cstdint>

namespace imaging {

struct GrayWeights {
  double green[256];
  double blue[256];
  double red[256];
};

const GrayWeights& grayWeights();

// px points at a blue, green, red pixel.
inline std::uint8_t grayOf(const GrayWeights& w, const std::uint8_t* px) {
  const double sum = (w.green[px[1]] + w.blue[px[0]]) + w.red[px[2]];
  return static_cast<std::uint8_t>(sum);  // truncation toward zero
}

}  // namespace imaging
