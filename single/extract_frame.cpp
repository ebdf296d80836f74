// extractFrame: finds the frame window in the turned scan (rows along the
// strip, columns across it) and returns a copy of it, image_length rows by
// image_width + 1 columns, with the scan's own samples and channels.
//
// The scan's brightness picks a threshold, and the shares of samples above
// it give the positions: the start row is where the share of
// bright samples per row (right of the first fifth of the width) rises most
// steeply in the upper part of the scan; the start column is the last
// steep step of the share of bright samples per column in the left third,
// a rise on bright film and a fall on dark film, moved right by a margin of
// 5 % of the scan's length. A window that reaches outside the scan keeps its
// size and is black outside, with a warning.

#include "stages.hpp"

#include "imaging/profile.hpp"

#include <cstdio>

namespace single {
namespace {

// The window starts where the shared search puts it, moved right by 5 % of
// the scan's length: the column edge found is the film's, and the picture
// starts that margin further in.
shared::WindowStart windowStart(const imaging::TurnedView& turned) {
  shared::WindowStart start = shared::locateWindowStart(turned, 0.05, 0.35);
  start.column += shared::roundNearest(0.05 * turned.rows());
  std::printf("N = %d\n", start.column);
  return start;
}

}  // namespace

cv::Mat extractFrame(const imaging::TurnedView& turned, const shared::StripGeometry& geometry) {
  if (turned.empty()) return {};
  const shared::WindowStart start = windowStart(turned);
  const int x = start.row, n = start.column;
  std::printf("x= %d\n", x);
  std::printf("y = %d\n", x + geometry.image_length - 1);
  std::printf("z=%d\n", n + geometry.image_width);
  std::printf("N=%d\n", n);
  return shared::cutWindow(turned, x, n, geometry.image_length, geometry.image_width + 1);
}

}  // namespace single
