// placeFrames: a window for every frame the scan touches.
//
// Between the end of one frame line and the start of the next lies one
// picture; across, it runs between its long edges. The window is that
// rectangle drawn in on every side, so that a small error in an edge, the
// picture's rounded corners or a hair of residual tilt put nothing of the
// frame line, the margin or a neighbour into it, while it still covers
// nearly all of the picture. An edge measured on the scan is drawn in a
// little; an edge left at its prior, known only to the spread of cameras
// and prints, a little more. A frame line's end left at its prior is the
// exception where a frame spans several perforations: the holes fix the
// line's place to a share of one hole's pitch, a small share of a picture
// four pitches long, so it is drawn in as a measured end is.

#include "stages.hpp"

#include <algorithm>
#include <cmath>

namespace registration {

namespace {

// Shares of the picture's size on each side.
constexpr double kMeasuredInset = 0.012;
constexpr double kPriorInset = 0.02;

double insetOf(const Edge& e) { return e.measured ? kMeasuredInset : kPriorInset; }

}  // namespace

cv::Point2d StripAxes::point(double s, double t) const {
  const double y = (t + slope * (s - xMid) + slope * slope * yMid) / (1 + slope * slope);
  return {s - slope * (y - yMid), y};
}

double StripAxes::cosine() const { return 1 / std::sqrt(1 + slope * slope); }

std::vector<PlacedFrame> placeFrames(const StripAxes& axes, const FrameLines& lines, const PictureAcross& across,
                                     int perforationsPerFrame, cv::Size scanSize) {
  std::vector<PlacedFrame> frames;
  const double cosine = axes.cosine();
  const double length = lines.period - (lines.end.at - lines.start.at);
  const double height = across.bottom.at - across.top.at;
  if (!(length > 0) || !(height > 0) || !(lines.period > 0)) return frames;
  // The window in s and t about each picture: from its left line's end to its right line's start.
  auto alongInset = [&](const Edge& e) { return perforationsPerFrame > 1 ? kMeasuredInset : insetOf(e); };
  const double from = lines.end.at + alongInset(lines.end) * length;
  const double to = lines.period + lines.start.at - alongInset(lines.start) * length;
  const double top = across.top.at + insetOf(across.top) * height;
  const double bottom = across.bottom.at - insetOf(across.bottom) * height;
  if (!(to > from) || !(bottom > top)) return frames;
  const double tMiddle = (top + bottom) / 2;
  const double angle = std::atan(axes.slope) * 180 / CV_PI;
  const double reach = std::abs(axes.slope) * scanSize.height + lines.period;
  const long kFirst = static_cast<long>(std::floor((-reach - lines.middle) / lines.period)) - 1;
  const long kLast = static_cast<long>(std::ceil((scanSize.width + reach - lines.middle) / lines.period)) + 1;
  const double right = scanSize.width - 0.5, lowest = scanSize.height - 0.5;
  for (long k = kFirst; k <= kLast && kLast - kFirst < 10000; ++k) {
    const double m = lines.middle + static_cast<double>(k) * lines.period;
    PlacedFrame frame;
    frame.centre = axes.point(m + (from + to) / 2, tMiddle);
    frame.along = (to - from) * cosine;
    frame.across = (bottom - top) * cosine;
    frame.angleDegrees = angle;
    double xLo = 1e300, xHi = -1e300, yLo = 1e300, yHi = -1e300;
    for (const cv::Point2d& c : cornersOf(frame))
      xLo = std::min(xLo, c.x), xHi = std::max(xHi, c.x), yLo = std::min(yLo, c.y), yHi = std::max(yHi, c.y);
    if (xHi <= -0.5 || xLo >= right || yHi <= -0.5 || yLo >= lowest) continue;
    frame.whole = xLo >= -0.5 && yLo >= -0.5 && xHi <= right && yHi <= lowest;
    frames.push_back(frame);
  }
  return frames;
}

}  // namespace registration
