// flipRows: reverses the row order of the image it is given. The reversed
// rows go into a new pixel buffer that then replaces the image's own, so an
// image that shares its pixels with another (a column range of a larger scan)
// leaves the other untouched.

#include "raster.hpp"

#include <opencv2/core.hpp>

namespace imaging {

cv::Mat& flipRows(cv::Mat& image) {
  if (image.empty()) return image;
  cv::Mat flipped;
  cv::flip(image, flipped, 0);
  image = flipped;
  return image;
}

}  // namespace imaging
