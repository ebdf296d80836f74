// windowInScan: the turned scan is the loaded one cropped to the columns
// crop.left to crop.right and then turned, so a window goes back through the
// turn onto the crop and is then shifted by the crop's left edge.

#include "window_in_scan.hpp"

namespace shared {

cv::Rect windowInScan(const ScanRecord& record, const FrameWindow& window) {
  const int left = record.crop ? record.crop->left : 0;
  const int right = record.crop ? record.crop->right : record.loadedSize.width - 1;
  const cv::Size cropped(right - left + 1, record.loadedSize.height);
  const cv::Rect r = imaging::sourceRect(record.turn, cropped, cv::Range(window.top, window.top + window.rows),
                                         cv::Range(window.left, window.left + window.columns));
  return r + cv::Point(left, 0);
}

}  // namespace shared
