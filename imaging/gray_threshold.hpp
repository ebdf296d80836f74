// binarize's test "gray > fraction x 255" without a table lookup per pixel,
// so that counting loops vectorize. Shared by the fused counting passes.
//
// The gray of a blue, green, red pixel is trunc((0.59 G + 0.11 B) + 0.30 R)
// in double (grayOf). With the integer s = 59 G + 11 B + 30 R (at most
// 25,500) the double sum is s / 100 up to a rounding error far below 0.01, so
// 100 x gray <= s <= 100 x (gray + 1) for every pixel (the fused test checks
// all 2^24). Hence gray >= firstOne exactly when s > 100 x firstOne, except
// at s == 100 x firstOne, where only the double sum can tell: the neutral
// level 23 sums to 22.999999999999996 and is gray 22.
#pragma once

#include "weights.hpp"

#include <cstdint>

namespace imaging {

// The strict test against fraction x 255 in double, as binarize makes it,
// is "gray >= firstOne" for integer grays: the smallest of 0..256 that
// passes, 256 when none does (also for a fraction that is not a number).
inline int firstOneOf(float fraction) {
  const double limit = static_cast<double>(fraction) * 255.0;
  int g = 0;
  while (g < 256 && !(g > limit)) ++g;
  return g;
}

// px points at a blue, green, red pixel.
inline std::uint16_t weightedGraySum(const std::uint8_t* px) {
  return static_cast<std::uint16_t>(59 * px[1] + 11 * px[0] + 30 * px[2]);
}

// grayOf(px) >= firstOne, for firstOne in 0..256, decided in integers but
// for ties.
inline bool grayAtLeast(const GrayWeights& w, const std::uint8_t* px, int firstOne) {
  const int s = weightedGraySum(px);
  const int tie = 100 * firstOne;
  return s > tie || (s == tie && grayOf(w, px) >= firstOne);
}

}  // namespace imaging
