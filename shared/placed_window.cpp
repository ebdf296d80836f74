// registerOrConvert, cutPlacedWindow, shiftedAlong: a placed picture is cut upright
// (registration::cutPicture turns a tilted one), then turned a quarter the
// way the program turns its strip, so that a frame comes out the same way
// round with or without --register. Its part outside the scan is black and
// a warning says where it lies.

#include "placed_window.hpp"

#include "window_in_scan.hpp"

#include <cmath>
#include <cstdio>

namespace shared {
namespace {

// Corners are pixel centres; a pixel's area reaches half a pixel beyond.
bool liesInside(const registration::PlacedFrame& frame, cv::Size scan) {
  for (const cv::Point2d& corner : registration::cornersOf(frame))
    if (corner.x < -0.5 || corner.y < -0.5 || corner.x > scan.width - 0.5 || corner.y > scan.height - 0.5) return false;
  return true;
}

}  // namespace

bool registerOrConvert(cv::Mat& scan, RunState& run, const FrameSink& sink, ScanRecord& record,
                       ScanConverter convert) {
  record.registration = registration::registerFrames(scan);
  if (record.registration->registered) return true;
  convert(std::move(scan), run, sink, record);
  return false;
}

cv::Mat cutPlacedWindow(const cv::Mat& scan, imaging::Turn turn, FrameWindow& window,
                        std::vector<std::string>& warnings) {
  const registration::PlacedFrame& placed = *window.placed;
  window.outside = !liesInside(placed, scan.size());
  if (window.outside) {
    const cv::Rect r = windowInScan(ScanRecord{}, window);
    char warning[200];
    std::snprintf(warning, sizeof warning,
                  "frame window at x=%d, y=%d, %d x %d reaches outside the %d x %d scan; the part outside is black",
                  r.x, r.y, r.width, r.height, scan.cols, scan.rows);
    warnings.emplace_back(warning);
  }
  const cv::Mat picture = registration::cutPicture(scan, placed);
  if (picture.empty()) return picture;
  return imaging::turnedCopy(imaging::TurnedView(picture, turn));
}

registration::PlacedFrame shiftedAlong(const registration::PlacedFrame& frame, double pitch, int steps) {
  const double angle = frame.angleDegrees * M_PI / 180;
  registration::PlacedFrame moved = frame;
  moved.centre += cv::Point2d(std::cos(angle), std::sin(angle)) * (pitch * steps);
  return moved;
}

}  // namespace shared
