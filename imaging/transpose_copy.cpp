// transposeCopy: result(i, j) = image(j, i), all channel bytes of a pixel
// moving together. A counter-clockwise quarter turn followed by a row
// reversal is exactly this; the library's transpose does it as one copy,
// where the two primitives make two full-size copies, the first of them
// reading down the source's columns.

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
