// transposeCopy: result(i, j) = image(j, i), all channel bytes of a pixel
// moving together. A counter-clockwise quarter turn followed by a row
// reversal is exactly this, and the library's blocked transpose does it as
// one copy that walks the source in cache-sized tiles, where the two
// primitives make two full-size copies, the first reading down columns.

#include "fused.hpp"

#include <opencv2/core.hpp>

namespace imaging {

cv::Mat transposeCopy(const cv::Mat& image) {
  cv::Mat result;
  if (image.empty()) return cv::Mat(image.cols, image.rows, image.type());
  cv::transpose(image, result);
  return result;
}

}  // namespace imaging
