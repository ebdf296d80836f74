// cutWindow: a window of the turned scan, with the scan's channel count. A
// window always keeps its size; the part of it that reaches outside the scan
// is black, and a warning says so, because a run cuts every scan with the
// first scan's geometry and later scans may be smaller. Only the window is
// copied, turned as the scan's view says.

#include "window_cut.hpp"

#include <algorithm>
#include <cstdio>

namespace shared {

cv::Mat cutWindow(const imaging::TurnedView& scan, FrameWindow& window, std::vector<std::string>& warnings) {
  const int top = window.top, left = window.left, rows = window.rows, columns = window.columns;
  if (rows <= 0 || columns <= 0) return {};
  const int height = scan.rows(), width = scan.cols();
  const int r0 = std::max(top, 0), r1 = std::min<long long>(static_cast<long long>(top) + rows, height);
  const int c0 = std::max(left, 0), c1 = std::min<long long>(static_cast<long long>(left) + columns, width);
  window.outside = top < 0 || left < 0 || static_cast<long long>(top) + rows > height ||
                   static_cast<long long>(left) + columns > width;
  if (!window.outside) return imaging::turnedCopy(scan, cv::Range(r0, r1), cv::Range(c0, c1));
  cv::Mat cut(rows, columns, scan.type(), cv::Scalar::all(0));
  if (r0 < r1 && c0 < c1)
    imaging::turnedCopy(scan, cv::Range(r0, r1), cv::Range(c0, c1))
        .copyTo(cut(cv::Range(r0 - top, r1 - top), cv::Range(c0 - left, c1 - left)));
  char warning[256];
  std::snprintf(warning, sizeof warning,
                "frame window rows %d to %lld, columns %d to %lld reaches outside the %d x %d scan; the part "
                "outside is black",
                top, static_cast<long long>(top) + rows - 1, left, static_cast<long long>(left) + columns - 1,
                width, height);
  warnings.emplace_back(warning);
  return cut;
}

}  // namespace shared
