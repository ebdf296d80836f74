// locateWindowStart: where the frame windows of a turned scan begin, for both
// programs; each gives its own stretch along the strip.
#pragma once

#include "scan_records.hpp"

#include "imaging/turned_view.hpp"

namespace shared {

// The start row is searched in the rows from rowSearchFrom x height up to
// (not including) rowSearchTo x height.
WindowSearch locateWindowStart(const imaging::TurnedView& turned, double rowSearchFrom, double rowSearchTo);

}  // namespace shared
