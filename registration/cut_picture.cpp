// cutPicture and cornersOf: a placed frame's picture and its corners.
//
// A window turned by the strip's tilt is resampled upright (bilinear), so
// the picture comes out at its own size whatever the slant; below a
// twentieth of a degree the turn would move a corner of a 35 mm frame
// scanned at 1200 dpi by under a pixel (about 0.6; 1.3 at 2400 dpi), so the
// window's own pixels are copied instead and no resampling softens them; a
// window wholly on the scan then shares the scan's pixels, as a view. What
// falls outside the scan is black.

#include "registration.hpp"

#include <opencv2/imgproc.hpp>

#include <cmath>

namespace registration {

namespace {

constexpr double kUprightDegrees = 0.05;

}  // namespace

std::array<cv::Point2d, 4> cornersOf(const PlacedFrame& frame) {
  const double angle = frame.angleDegrees * CV_PI / 180;
  const cv::Point2d a = cv::Point2d(std::cos(angle), std::sin(angle)) * (frame.along / 2);
  const cv::Point2d n = cv::Point2d(-std::sin(angle), std::cos(angle)) * (frame.across / 2);
  return {frame.centre - a - n, frame.centre + a - n, frame.centre + a + n, frame.centre - a + n};
}

cv::Mat cutPicture(const cv::Mat& scan, const PlacedFrame& frame) {
  if (scan.empty() || scan.dims != 2) return {};
  if (!std::isfinite(frame.along) || !std::isfinite(frame.across) || !std::isfinite(frame.angleDegrees) ||
      !std::isfinite(frame.centre.x) || !std::isfinite(frame.centre.y))
    return {};
  // No picture is larger than the scan it lies on; a window that claims so is refused.
  const double largest = 2.0 * (scan.cols + scan.rows) + 16;
  if (frame.along > largest || frame.across > largest) return {};
  const int width = static_cast<int>(std::lround(frame.along));
  const int height = static_cast<int>(std::lround(frame.across));
  if (width < 1 || height < 1 || std::abs(frame.centre.x) > 1e9 || std::abs(frame.centre.y) > 1e9) return {};
  if (std::abs(frame.angleDegrees) < kUprightDegrees) {
    // The pixels whose centres the window's middle rows and columns cover:
    // the scan's own, shared, when the window lies wholly on it.
    const long x0 = std::lround(frame.centre.x - (width - 1) / 2.0);
    const long y0 = std::lround(frame.centre.y - (height - 1) / 2.0);
    const cv::Rect wanted(static_cast<int>(x0), static_cast<int>(y0), width, height);
    const cv::Rect inside = wanted & cv::Rect(0, 0, scan.cols, scan.rows);
    if (inside == wanted) return scan(wanted);
    cv::Mat out(height, width, scan.type(), cv::Scalar::all(0));
    if (inside.area() > 0) scan(inside).copyTo(out(inside - wanted.tl()));
    return out;
  }
  cv::Mat out(height, width, scan.type(), cv::Scalar::all(0));
  // Output pixel (i, j) samples the scan at centre + a (i - (w-1)/2) + n (j - (h-1)/2).
  const double angle = frame.angleDegrees * CV_PI / 180;
  const double c = std::cos(angle), s = std::sin(angle);
  const double ox = frame.centre.x - c * (width - 1) / 2.0 + s * (height - 1) / 2.0;
  const double oy = frame.centre.y - s * (width - 1) / 2.0 - c * (height - 1) / 2.0;
  const cv::Matx23d map(c, -s, ox, s, c, oy);
  cv::warpAffine(scan, out, map, out.size(), cv::INTER_LINEAR | cv::WARP_INVERSE_MAP, cv::BORDER_CONSTANT,
                 cv::Scalar::all(0));
  return out;
}

}  // namespace registration
