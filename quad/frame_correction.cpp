// frameCorrection: cuts a four-frame scan down to the columns that hold the
// strip. The left edge is the first column whose mean carries the brightest
// rise of the column profile within the leftmost 2 % of the width; the right
// edge sits at 98 % of the width. The profile leaves a margin of 15 % of the
// height out at top and bottom, where the scanner lid and the strip's own
// edges would dominate. All rows are kept. The result is a view into the
// scan, not a copy: the turn that follows makes the one copy.

#include "stages.hpp"

#include "imaging/fused.hpp"
#include "imaging/profile.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace quad {
namespace {

// Column of the first profile value equal to the peak, searched one column
// beyond the peak range; -1 when there is none.
int firstColumnAtPeak(const imaging::Profile& profile, int peakEnd) {
  const float peak = imaging::peakMaximum(profile, 0, peakEnd);
  const int last = std::min(peakEnd, static_cast<int>(profile.size()) - 1);
  for (int j = 0; j <= last; ++j)
    if (profile[j] == peak) return j;
  return -1;
}

}  // namespace

cv::Mat frameCorrection(const cv::Mat& scan) {
  const int width = scan.cols, height = scan.rows;
  const int margin = shared::roundNearestFloat(0.15 * height);
  const int peakEnd = static_cast<int>(std::floor(0.02 * width));

  // A scan under four rows has no margin; its band then starts at the first row.
  const int firstRow = std::max(margin, 1);
  const int lastRow = std::max(height - margin, firstRow);
  const imaging::Profile profile = imaging::bandColumnMeans(scan, width, firstRow, lastRow);

  int left = firstColumnAtPeak(profile, peakEnd);
  if (left >= 0)
    std::printf("frameCorrection x=%d\n", left);
  else
    left = margin;
  const int right = static_cast<int>(std::floor(0.98 * width)) - 1;
  std::printf("frameCorrection2 y=%d\n", right);

  if (left < 0 || left > right || right > width - 1) {
    shared::reportWarning("strip edges x=%d, y=%d do not fit the %d-column scan; keeping the "
                 "whole width",
                 left, right, width);
    return scan;
  }
  return scan.colRange(left, right + 1);
}

}  // namespace quad
