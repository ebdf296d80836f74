// The rounding every size is brought to an integer by.
//
//   roundNearest        halves away from zero
//   roundNearestFloat   the same, after storing the value as a 32-bit float
#pragma once

namespace shared {

int roundNearest(double value);
int roundNearestFloat(double value);

}  // namespace shared
