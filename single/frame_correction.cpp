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
// above, the side's outer part is kept. A side that neither test decides, or
// whose search finds no column, keeps its outer part too, silently. Edges
// that would give no valid crop leave the whole width, with a warning.

#include "stages.hpp"

#include "imaging/fused.hpp"
#include "imaging/profile.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace single {
namespace {

using imaging::Profile;

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
Profile middleRowProfile(const cv::Mat& scan) {
  const int rowMargin = shared::roundNearestFloat(0.15 * scan.rows);
  const int firstRow = std::max(rowMargin, 1);
  const int lastRow = std::max(scan.rows - rowMargin, firstRow);
  return imaging::bandColumnMeans(scan, scan.cols, firstRow, lastRow);
}

int firstIndexOf(const Profile& profile, int first, int end, float value, int notFound) {
  for (int i = std::max(first, 0); i < std::min<int>(end, static_cast<int>(profile.size())); ++i)
    if (profile[i] == value) return i;
  return notFound;
}

int leftEdge(const Profile& q, const Margins& at) {
  const float marginValley = imaging::valleyMinimum(q, 0, at.left);
  const float halfValley = imaging::valleyMinimum(q, 0, at.middle);
  if (marginValley < 2 * halfValley) {
    // The strip's edge is the first column of the margin that carries its highest rise.
    const float peak = imaging::peakMaximum(q, 0, at.left);
    const int x = firstIndexOf(q, 0, at.left, peak, -1);
    if (x < 0) return at.left;
    std::printf("frameCorrection x=%d\n", x);
    return x;
  }
  // A shallow margin valley keeps the outer part from column 1; so does a tie, silently.
  if (marginValley > 2 * halfValley) std::printf("frameCorrection x=%d\n", 1);
  return 1;
}

int rightEdge(const Profile& q, const Margins& at) {
  const int width = static_cast<int>(q.size());
  const int lastColumn = width - 1;
  const float marginValley = imaging::valleyMinimum(q, at.right, width);
  const float halfValley = imaging::valleyMinimum(q, at.middle, width);
  if (marginValley < 2 * halfValley) {
    // The strip's edge is the first column of the margin where the profile falls most.
    const int start = at.right;
    if (start >= lastColumn) return lastColumn;
    const Profile d = imaging::firstDifference(q, width);
    const float steepest = imaging::valleyMinimum(d, start, lastColumn);
    const int y = firstIndexOf(d, start, lastColumn, steepest, -1);
    if (y < 0) return lastColumn;
    std::printf("frameCorrection1 y=%d\n", y);
    return y;
  }
  // A shallow margin valley keeps the outer part to the last column; so does a tie, silently.
  if (marginValley > 2 * halfValley) std::printf("frameCorrection3 y=%d\n", lastColumn);
  return lastColumn;
}

}  // namespace

cv::Mat frameCorrection(const cv::Mat& scan) {
  if (scan.empty()) return {};
  const Margins at = marginsOf(scan.cols);
  const Profile q = middleRowProfile(scan);
  int x = leftEdge(q, at);
  int y = rightEdge(q, at);
  if (!(0 <= x && x <= y && y <= scan.cols - 1)) {
    shared::reportWarning("strip edges x=%d, y=%d give no crop of the %d columns; keeping the "
                 "whole width",
                 x, y, scan.cols);
    x = 0;
    y = scan.cols - 1;
  }
  return scan.colRange(x, y + 1);
}

}  // namespace single
