// frameCorrection: crops a loaded scan to the strip, keeping every row and
// the columns from the left edge to the right edge, both included. The crop
// is a view into the scan's pixels, not a copy: the turn that follows reads
// through it and makes the one copy, and the scan's buffer goes when the
// driver and the turn have both let go of it.
//
// The column profile (mean of each column over the scan's middle rows)
// decides each side on its own: when the lowest valley of the outer 7 % of
// the width lies below twice the lowest valley of that half, the edge is in
// that margin (left: the first column carrying the margin's highest rise;
// right: the first column where the profile falls most steeply); when it lies
// above, the side's outer part is kept (from column 1 on the left, to the
// last column on the right). Silently: a left search that finds nothing puts
// the edge at the margin's end; a right search that finds nothing, and a
// side that neither test decides, keep the side's outer part. Edges that
// would give no valid crop leave the whole width, with a warning
// (shared::cropToStrip).

#include "stages.hpp"

#include "shared/rounding.hpp"
#include "shared/strip_crop.hpp"

#include "imaging/fused.hpp"
#include "imaging/profile.hpp"

#include <algorithm>
#include <cmath>

namespace single {
namespace {

using imaging::Profile;
using shared::EdgeBy;

struct Margins {
  int left;    // end (exclusive) of the left margin
  int middle;  // end of the left half, start of the right half
  int right;   // start of the right margin
};

Margins marginsOf(int width) {
  return {static_cast<int>(std::floor(0.07 * width)), static_cast<int>(std::floor(0.5 * width)),
          static_cast<int>(std::floor(0.93 * width))};
}

// Mean of every column over the rows between a top and bottom margin of 15 %
// of the height, where the scanner's holder cannot show.
void profileMiddleRows(const cv::Mat& scan, shared::CropSearch& found) {
  const int rowMargin = shared::roundNearestFloat(0.15 * scan.rows);
  found.bandFirstRow = std::max(rowMargin, 1);
  found.bandLastRow = std::max(scan.rows - rowMargin, found.bandFirstRow);
  found.profile = imaging::bandColumnMeans(scan, scan.cols, found.bandFirstRow, found.bandLastRow);
}

void findLeftEdge(shared::CropSearch& found, const Margins& at) {
  const Profile& q = found.profile;
  const float marginValley = imaging::valleyMinimum(q, 0, at.left);
  const float halfValley = imaging::valleyMinimum(q, 0, at.middle);
  found.left = 1;
  if (marginValley < 2 * halfValley) {
    // The strip's edge is the first column of the margin that carries its highest rise.
    found.leftFirst = 0;
    found.leftEnd = at.left;
    const std::optional<int> x = imaging::firstIndexOf(q, 0, at.left, imaging::peakMaximum(q, 0, at.left));
    found.leftBy = x ? EdgeBy::Search : EdgeBy::NotFound;
    found.left = x.value_or(at.left);
  } else {
    found.leftBy = marginValley > 2 * halfValley ? EdgeBy::OuterPart : EdgeBy::Tie;
  }
}

void findRightEdge(shared::CropSearch& found, const Margins& at) {
  const Profile& q = found.profile;
  const int width = static_cast<int>(q.size());
  const int lastColumn = width - 1;
  const float marginValley = imaging::valleyMinimum(q, at.right, width);
  const float halfValley = imaging::valleyMinimum(q, at.middle, width);
  found.right = lastColumn;
  found.rightBy = marginValley > 2 * halfValley ? EdgeBy::OuterPart : EdgeBy::Tie;
  if (marginValley < 2 * halfValley) {
    // The strip's edge is the first column of the margin where the profile falls most.
    found.rightBy = EdgeBy::NotFound;
    const int start = at.right;
    if (start >= lastColumn) return;
    found.rightFirst = start;
    found.rightEnd = lastColumn;
    const Profile d = imaging::firstDifference(q, width);
    const std::optional<int> y = imaging::firstIndexOf(d, start, lastColumn, imaging::valleyMinimum(d, start, lastColumn));
    if (!y) return;
    found.rightBy = EdgeBy::Search;
    found.right = *y;
  }
}

}  // namespace

cv::Mat frameCorrection(const cv::Mat& scan, shared::CropSearch& found, std::vector<std::string>& warnings) {
  if (scan.empty()) return {};
  const Margins at = marginsOf(scan.cols);
  profileMiddleRows(scan, found);
  findLeftEdge(found, at);
  findRightEdge(found, at);
  return shared::cropToStrip(scan, found, warnings);
}

}  // namespace single
