// locateFrameWindow: finds where the four frame windows of a turned scan
// begin: the first window's start row, searched from 1 % to 18 % of the
// scan's length (a frame line giving way to the first picture), and the
// column every window starts at, the edge of the picture area across the strip.

#include "stages.hpp"

#include "shared/window_location.hpp"

namespace quad {

shared::WindowSearch locateFrameWindow(const imaging::TurnedView& turned) {
  return shared::locateWindowStart(turned, 0.01, 0.18);
}

}  // namespace quad
