// sampleAlong: gray means of the full-resolution scan along lines parallel
// to the strip, binned by their place along it.
//
// The frame lines and the pictures' edges are measured to a fraction of a
// millimetre, finer than the reduced copy's pixels, but only a hundred or so
// lines of the scan are needed for it: each is read here straight from the
// scan, one run of pixels per scan row it crosses (a tilt of a degree keeps
// a line on one row for sixty pixels), colour turned to gray on the way.

#include "stages.hpp"

#include <algorithm>
#include <cmath>

namespace registration {

namespace {

// Gray of the BT.601 weights on B, G, R, the weights OpenCV's own conversion uses.
inline float grayOf(const uchar* p) { return 0.114f * p[0] + 0.587f * p[1] + 0.299f * p[2]; }

}  // namespace

cv::Mat sampleAlong(const cv::Mat& scan, const StripAxes& axes, const std::vector<double>& ts, double s0, double bin,
                    int bins, int thickness) {
  cv::Mat out(static_cast<int>(ts.size()), std::max(bins, 0), CV_32F, cv::Scalar(NAN));
  if (scan.empty() || bins <= 0 || !(bin > 0) || ts.empty()) return out;
  const bool colour = scan.channels() == 3;
  std::vector<float> sum(bins);
  std::vector<int> count(bins);
  const double invBin = 1 / bin;
  for (size_t i = 0; i < ts.size(); ++i) {
    std::fill(sum.begin(), sum.end(), 0.f);
    std::fill(count.begin(), count.end(), 0);
    for (int layer = 0; layer < std::max(1, thickness); ++layer) {
    // The line y(x) = t + slope (x - xMid), taken row by row: x runs over
    // [xFrom, xTo] while y rounds to `row`.
    const double t = ts[i] + layer - (std::max(1, thickness) - 1) / 2.0;
    int x = 0;
    while (x < scan.cols) {
      const double yAt = t + axes.slope * (x - axes.xMid);
      const long row = std::lround(yAt);
      // Where this row ends: the x at which y rounds to the next row.
      int xEnd = scan.cols;
      if (axes.slope != 0) {
        const double edge = axes.slope > 0 ? row + 0.5 : row - 0.5;
        const double xCross = axes.xMid + (edge - t) / axes.slope;
        if (xCross < scan.cols) xEnd = std::max(x + 1, static_cast<int>(std::ceil(xCross)));
      }
      if (row >= 0 && row < scan.rows) {
        const uchar* p = scan.ptr<uchar>(static_cast<int>(row));
        // s of pixel x on this row, and its bin.
        const double sAt = axes.slope * (static_cast<double>(row) - axes.yMid) - s0;
        for (int c = x; c < xEnd; ++c) {
          const double u = (c + sAt) * invBin;
          if (u < 0) continue;
          const int j = static_cast<int>(u);
          if (j >= bins) break;
          sum[j] += colour ? grayOf(p + 3 * c) : static_cast<float>(p[c]);
          ++count[j];
        }
      }
      x = xEnd;
    }
    }
    float* o = out.ptr<float>(static_cast<int>(i));
    for (int j = 0; j < bins; ++j)
      if (count[j] > 0) o[j] = sum[j] / static_cast<float>(count[j]);
  }
  return out;
}

}  // namespace registration
