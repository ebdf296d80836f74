// windowInScan: the turned scan is the loaded one cropped to the columns
// crop.left to crop.right and then turned, so a window goes back through the
// turn onto the crop and is then shifted by the crop's left edge. A window
// placed by the perforations is already in the loaded scan: its rectangle
// before it is tilted with the strip, to the nearest pixel.

#include "window_in_scan.hpp"

#include <cmath>

namespace shared {

cv::Rect windowInScan(const ScanRecord& record, const FrameWindow& window) {
  if (window.placed) {
    const registration::PlacedFrame& p = *window.placed;
    const int width = static_cast<int>(std::lround(p.along)), height = static_cast<int>(std::lround(p.across));
    return {static_cast<int>(std::lround(p.centre.x - p.along / 2)), static_cast<int>(std::lround(p.centre.y - p.across / 2)),
            width, height};
  }
  const int left = record.crop ? record.crop->left : 0;
  const int right = record.crop ? record.crop->right : record.loadedSize.width - 1;
  const cv::Size cropped(right - left + 1, record.loadedSize.height);
  const cv::Rect r = imaging::sourceRect(record.turn, cropped, cv::Range(window.top, window.top + window.rows),
                                         cv::Range(window.left, window.left + window.columns));
  return r + cv::Point(left, 0);
}

}  // namespace shared
