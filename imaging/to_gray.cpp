// toGray: one gray channel from blue, green and red,
// (0.59 G + 0.11 B) + 0.30 R in double precision, truncated toward zero.
// Truncation is deliberate: the neutral level 23 gives 22 (the sum is
// 22.999999999999996), and so do 25 other neutral levels.

#include "raster.hpp"
#include "weights.hpp"

#include <cstdint>

namespace imaging {

cv::Mat toGray(const cv::Mat& image) {
  if (image.depth() != CV_8U || image.dims != 2) return {};
  if (image.channels() == 1) return image.clone();
  if (image.channels() != 3) return {};
  cv::Mat gray(image.rows, image.cols, CV_8UC1);
  const GrayWeights& w = grayWeights();
  for (int r = 0; r < image.rows; ++r) {
    const std::uint8_t* px = image.ptr<std::uint8_t>(r);
    std::uint8_t* out = gray.ptr<std::uint8_t>(r);
    for (int c = 0; c < image.cols; ++c, px += 3) out[c] = grayOf(w, px);
  }
  return gray;
}

}  // namespace imaging
