// frameCorrection: cuts a four-frame scan down to the columns that hold the
// strip. The left edge is the first column whose mean carries the brightest
// rise of the column profile within the leftmost 2 % of the width (searched
// one column beyond); when no column carries it, the edge falls back to the
// row margin's number of columns. The right edge sits at 98 % of the width.
// The profile leaves a margin of 15 % of the height out at top and bottom,
// where the scanner lid and the strip's own edges would dominate. All rows
// are kept; edges that do not fit the scan keep its whole width, with a
// warning. The result is a view into the scan, not a copy: the turn that
// follows makes the one copy.

#include "stages.hpp"

#include "shared/diagnostics.hpp"

#include "imaging/fused.hpp"
#include "imaging/profile.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace quad {
namespace {

// Column of the first profile value in [0, end) equal to the peak of [0, peakEnd); -1 when there is none.
int firstColumnAtPeak(const imaging::Profile& profile, int peakEnd, int end) {
  const float peak = imaging::peakMaximum(profile, 0, peakEnd);
  for (int j = 0; j < end; ++j)
    if (profile[j] == peak) return j;
  return -1;
}

void printEdgeLines(const shared::CropSearch& found) {
  if (found.leftBy == shared::EdgeBy::Search) std::printf("frameCorrection x=%d\n", found.left);
  std::printf("frameCorrection2 y=%d\n", found.right);
}

}  // namespace

cv::Mat frameCorrection(const cv::Mat& scan, shared::CropSearch& found) {
  const int width = scan.cols, height = scan.rows;
  const int margin = shared::roundNearestFloat(0.15 * height);
  const int peakEnd = static_cast<int>(std::floor(0.02 * width));

  // A scan under four rows has no margin; its band then starts at the first row.
  found.bandFirstRow = std::max(margin, 1);
  found.bandLastRow = std::max(height - margin, found.bandFirstRow);
  found.profile = imaging::bandColumnMeans(scan, width, found.bandFirstRow, found.bandLastRow);

  found.leftFirst = 0;
  found.leftEnd = std::min(peakEnd + 1, width);
  found.left = firstColumnAtPeak(found.profile, peakEnd, found.leftEnd);
  found.leftBy = found.left >= 0 ? shared::EdgeBy::Search : shared::EdgeBy::NotFound;
  if (found.left < 0) found.left = margin;
  found.right = static_cast<int>(std::floor(0.98 * width)) - 1;
  found.rightBy = shared::EdgeBy::Fixed;
  printEdgeLines(found);

  if (found.left < 0 || found.left > found.right || found.right > width - 1) {
    shared::reportWarning("strip edges x=%d, y=%d do not fit the %d-column scan; keeping the whole width",
                          found.left, found.right, width);
    found.left = 0;
    found.right = width - 1;
    found.wholeWidth = true;
    return scan;
  }
  return scan.colRange(found.left, found.right + 1);
}

}  // namespace quad
