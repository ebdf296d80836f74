// locateFrameWindow: finds where the four frame windows of a turned scan
// begin: the first window's start row, searched from 1 % to 18 % of the
// scan's length (a frame line giving way to the first picture), and the
// column every window starts at, the edge of the picture area across the strip.

#include "stages.hpp"

#include "imaging/profile.hpp"

namespace quad {

FrameWindowStart locateFrameWindow(const cv::Mat& turned) {
  return locateFrameWindow(turned, imaging::columnMeans(turned, turned.cols, 1, turned.rows));
}

FrameWindowStart locateFrameWindow(const cv::Mat& turned, const imaging::Profile& turnedColumnMeans) {
  return shared::locateWindowStart(turned, turnedColumnMeans, 0.01, 0.18);
}

}  // namespace quad
