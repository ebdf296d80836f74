// Sizes derived from a product with a fraction go to the nearest integer,
// halves away from zero. The float variant first stores the product as a
// 32-bit float: 0.15 x 10 becomes 1.5 exactly and so rounds to 2.

#include "rounding.hpp"

#include <cmath>

namespace shared {

int roundNearest(double value) {
  return static_cast<int>(value >= 0 ? std::floor(value + 0.5) : std::ceil(value - 0.5));
}

int roundNearestFloat(double value) {
  return roundNearest(static_cast<double>(static_cast<float>(value)));
}

}  // namespace shared
