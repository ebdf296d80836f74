// cutWindow: a rows x columns window of a scan, starting at (top, left), with
// the scan's channel count. A window always keeps its size; the part of it
// that reaches outside the scan is black, and a warning says so, because a
// run cuts every scan with the first scan's geometry and later scans may be
// smaller.

#include "shared.hpp"

#include <algorithm>
#include <cstdio>

namespace shared {

cv::Mat cutWindow(const cv::Mat& scan, int top, int left, int rows, int columns) {
  if (rows <= 0 || columns <= 0) return {};
  cv::Mat window(rows, columns, scan.type(), cv::Scalar::all(0));
  const int r0 = std::max(top, 0), r1 = std::min<long long>(static_cast<long long>(top) + rows, scan.rows);
  const int c0 = std::max(left, 0), c1 = std::min<long long>(static_cast<long long>(left) + columns, scan.cols);
  if (r0 < r1 && c0 < c1)
    scan(cv::Range(r0, r1), cv::Range(c0, c1))
        .copyTo(window(cv::Range(r0 - top, r1 - top), cv::Range(c0 - left, c1 - left)));
  const bool inside = top >= 0 && left >= 0 && static_cast<long long>(top) + rows <= scan.rows &&
                      static_cast<long long>(left) + columns <= scan.cols;
  if (!inside)
    std::fprintf(stderr,
                 "warning: frame window rows %d to %lld, columns %d to %lld reaches outside the "
                 "%d x %d scan; the part outside is black\n",
                 top, static_cast<long long>(top) + rows - 1, left,
                 static_cast<long long>(left) + columns - 1, scan.cols, scan.rows);
  return window;
}

}  // namespace shared
