// Raster transforms over 8-bit images with 1 or 3 interleaved channels
// (3 channels in blue, green, red order). Rows are always addressed through
// their own image's step, so a column range of a larger image works too.
//
//   rotateQuarter  new image turned a quarter: sense 1 counter-clockwise, sense 3 clockwise
//   flipRows       reverses the row order of the image it is given and returns it
//   binarize       new 1-channel image of 0 and 1: 1 where gray > fraction x 255
//   toGray         new 1-channel image, (0.59 G + 0.11 B) + 0.30 R truncated
//
// Malformed requests give an empty image: a sense other than 1 or 3, a
// channel count other than 1 or 3 for binarize, a depth other than 8 bits,
// an empty input. toGray of a 1-channel image gives a copy.
#pragma once

#include <opencv2/core/mat.hpp>

namespace imaging {

cv::Mat rotateQuarter(const cv::Mat& image, int sense);
cv::Mat& flipRows(cv::Mat& image);
cv::Mat binarize(const cv::Mat& image, float fraction);
cv::Mat toGray(const cv::Mat& image);

}  // namespace imaging
