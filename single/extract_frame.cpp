// extractFrame: finds the frame window in the turned scan (rows along the
// strip, columns across it) and returns a copy of it, image_length rows by
// image_width + 1 columns, with the scan's own samples and channels.
//
// The window starts where shared::locateWindowStart puts it, its start row
// searched from 5 % to 35 % of the scan's length, and its column moved right
// by 5 % of that length. A window that reaches outside the scan keeps its
// size and is black outside, with a warning (shared::cutWindow).

#include "stages.hpp"

#include "shared/rounding.hpp"
#include "shared/window_cut.hpp"
#include "shared/window_location.hpp"

namespace single {

cv::Mat extractFrame(const imaging::TurnedView& turned, const shared::StripGeometry& geometry,
                     shared::ScanRecord& record) {
  if (turned.empty()) return {};
  record.window = shared::locateWindowStart(turned, 0.05, 0.35);
  // The column edge found is the film's; the picture starts 5 % of the
  // scan's length further in.
  shared::FrameWindow window;
  window.top = record.window->row;
  window.left = record.window->column + shared::roundNearest(0.05 * turned.rows());
  window.rows = geometry.image_length;
  window.columns = geometry.image_width + 1;
  cv::Mat frame = shared::cutWindow(turned, window, record.warnings);
  record.frames = {window};
  return frame;
}

}  // namespace single
