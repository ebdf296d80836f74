// frameCorrection: cuts a four-frame scan down to the columns that hold the
// strip. The left edge is the first column whose mean carries the brightest
// rise of the column profile within the leftmost 2 % of the width (searched
// one column beyond); when no column carries it, the edge falls back to the
// row margin's number of columns. The right edge sits at 98 % of the width.
// The profile leaves a margin of 15 % of the height out at top and bottom,
// where the scanner lid and the strip's own edges would dominate. All rows
// are kept; edges that do not fit the scan keep its whole width, with a
// warning (shared::cropToStrip). The result is a view into the scan, not a
// copy: the turn that follows makes the one copy.

#include "stages.hpp"

#include "shared/rounding.hpp"
#include "shared/strip_crop.hpp"

#include "imaging/fused.hpp"
#include "imaging/profile.hpp"

#include <algorithm>
#include <cmath>

namespace quad {

cv::Mat frameCorrection(const cv::Mat& scan, shared::CropSearch& found, std::vector<std::string>& warnings) {
  const int width = scan.cols, height = scan.rows;
  const int margin = shared::roundNearestFloat(0.15 * height);
  const int peakEnd = static_cast<int>(std::floor(0.02 * width));

  // A scan under four rows has no margin; its band then starts at the first row.
  found.bandFirstRow = std::max(margin, 1);
  found.bandLastRow = std::max(height - margin, found.bandFirstRow);
  found.profile = imaging::bandColumnMeans(scan, width, found.bandFirstRow, found.bandLastRow);

  found.leftFirst = 0;
  found.leftEnd = std::min(peakEnd + 1, width);
  // The first column as bright as the brightest rise of [0, peakEnd), searched one column beyond.
  const std::optional<int> left =
      imaging::firstIndexOf(found.profile, 0, found.leftEnd, imaging::peakMaximum(found.profile, 0, peakEnd));
  found.leftBy = left ? shared::EdgeBy::Search : shared::EdgeBy::NotFound;
  found.left = left.value_or(margin);
  found.right = static_cast<int>(std::floor(0.98 * width)) - 1;
  found.rightBy = shared::EdgeBy::Fixed;
  return shared::cropToStrip(scan, found, warnings);
}

}  // namespace quad
