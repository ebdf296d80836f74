// placeFrames: a window for every frame the scan touches.
//
// Between two neighbouring frame lines lies one picture; across, it runs
// between the edges found. The window is that rectangle drawn in by a small
// margin on every side, so that an error of a pixel or two in an edge, the
// picture's rounded corners or a hair of residual tilt put nothing of the
// frame line, the border or a neighbour into it, while it still covers
// nearly all of the picture. Positions go from the reduced copy back to the
// scan's own pixels here, and nowhere else.

#include "stages.hpp"

#include <algorithm>
#include <cmath>

namespace registration {

namespace {

constexpr double kInset = 0.01;  // of the picture's size, on each side

}  // namespace

cv::Point2d StripAxes::point(double s, double t) const {
  const double y = (t + slope * (s - xMid) + slope * slope * yMid) / (1 + slope * slope);
  return {s - slope * (y - yMid), y};
}

double StripAxes::cosine() const { return 1 / std::sqrt(1 + slope * slope); }

std::vector<PlacedFrame> placeFrames(const StripAxes& axes, const FrameLines& lines, const PictureAcross& across,
                                     const Reduced& reduced, cv::Size scanSize) {
  std::vector<PlacedFrame> frames;
  const double f = reduced.factor;
  const double cosine = axes.cosine();
  const double picture = lines.period - lines.width;
  const double along = f * cosine * picture * (1 - 2 * kInset);
  const double height = f * cosine * (across.bottom - across.top) * (1 - 2 * kInset);
  if (!(along > 0) || !(height > 0)) return frames;
  const double tMiddle = (across.top + across.bottom) / 2;
  const double angle = std::atan(axes.slope);
  // Every picture whose middle lies within a picture's length of the copy.
  const double sFirst = -picture - std::abs(axes.slope) * reduced.gray.rows;
  const double sLast = reduced.gray.cols + picture + std::abs(axes.slope) * reduced.gray.rows;
  const double middle0 = lines.phase + lines.period / 2;
  const long kFirst = static_cast<long>(std::ceil((sFirst - middle0) / lines.period));
  const long kLast = static_cast<long>(std::floor((sLast - middle0) / lines.period));
  for (long k = kFirst; k <= kLast && kLast - kFirst < 10000; ++k) {
    const cv::Point2d r = axes.point(middle0 + k * lines.period, tMiddle);
    PlacedFrame frame;
    frame.centre = {toScan(reduced, r.x), toScan(reduced, r.y)};
    frame.along = along;
    frame.across = height;
    frame.angleDegrees = angle * 180 / CV_PI;
    // Whole when every corner lies on the scan; kept when its box meets the scan's.
    double xLo = 1e300, xHi = -1e300, yLo = 1e300, yHi = -1e300;
    for (const cv::Point2d& c : cornersOf(frame))
      xLo = std::min(xLo, c.x), xHi = std::max(xHi, c.x), yLo = std::min(yLo, c.y), yHi = std::max(yHi, c.y);
    const double right = scanSize.width - 0.5, bottom = scanSize.height - 0.5;
    if (xHi <= -0.5 || xLo >= right || yHi <= -0.5 || yLo >= bottom) continue;
    frame.whole = xLo >= -0.5 && yLo >= -0.5 && xHi <= right && yHi <= bottom;
    frames.push_back(frame);
  }
  return frames;
}

}  // namespace registration
