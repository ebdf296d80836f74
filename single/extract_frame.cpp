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

#include "shared/window_stages.hpp"

#include <cstdio>

namespace single {
namespace {

void printWindowLines(const shared::FrameWindow& window, const shared::StripGeometry& geometry) {
  std::printf("N = %d\n", window.left);
  std::printf("x= %d\n", window.top);
  std::printf("y = %d\n", window.top + geometry.image_length - 1);
  std::printf("z=%d\n", window.left + geometry.image_width);
  std::printf("N=%d\n", window.left);
}

}  // namespace

cv::Mat extractFrame(const imaging::TurnedView& turned, const shared::StripGeometry& geometry,
                     shared::ScanRecord& record) {
  if (turned.empty()) return {};
  record.window = shared::locateWindowStart(turned, 0.05, 0.35);
  // The column edge found is the film's; the picture starts 5 % of the
  // scan's length further in.
  shared::FrameWindow window;
  window.top = record.window.row;
  window.left = record.window.column + shared::roundNearest(0.05 * turned.rows());
  window.rows = geometry.image_length;
  window.columns = geometry.image_width + 1;
  printWindowLines(window, geometry);
  cv::Mat frame = shared::cutWindow(turned, window);
  record.frames = {window};
  return frame;
}

}  // namespace single
