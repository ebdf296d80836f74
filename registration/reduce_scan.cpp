// reduceScan: a gray copy reduced by a whole factor by area averaging.
//
// The perforations, the strip's edges and the frame lines are all large
// against a pixel at any resolution worth scanning film at, so they are found
// on a copy of at most sixty thousand pixels: the finder's cost then hardly
// grows with the resolution, and the reduction's averaging takes out grain
// and dust. The factor is whole so that every reduced pixel covers the same
// square of scan pixels and a position maps back exactly (toScan); the copy
// keeps at least ~150 rows across the strip so that a perforation stays a
// few pixels wide even in a long four-frame scan.

#include "stages.hpp"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace registration {

namespace {

constexpr double kReducedArea = 60000;
constexpr int kMinReducedRows = 150;

int reductionFactor(cv::Size size) {
  const double byArea = std::sqrt(static_cast<double>(size.area()) / kReducedArea);
  const int byRows = std::max(1, size.height / kMinReducedRows);
  return std::max(1, std::min(static_cast<int>(std::ceil(byArea)), byRows));
}

}  // namespace

cv::Mat toGray(const cv::Mat& scan) {
  if (scan.channels() == 1) return scan;
  cv::Mat gray;
  cv::cvtColor(scan, gray, cv::COLOR_BGR2GRAY);
  return gray;
}

Reduced reduceScan(const cv::Mat& scan) {
  Reduced out;
  out.factor = reductionFactor(scan.size());
  const int f = out.factor;
  if (f == 1) {
    out.gray = toGray(scan);
    return out;
  }
  // Whole blocks only: the last partial block of a row or column is left out.
  const cv::Mat whole = scan(cv::Rect(0, 0, scan.cols / f * f, scan.rows / f * f));
  cv::Mat small;
  cv::resize(whole, small, cv::Size(whole.cols / f, whole.rows / f), 0, 0, cv::INTER_AREA);
  out.gray = toGray(small);
  return out;
}

}  // namespace registration
