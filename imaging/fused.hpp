// Fused passes: each gives exactly the result of a chain of the primitives in
// profile.hpp and raster.hpp, in one pass over the image and without the
// chain's full-size intermediate images. The chains stay the reference; the
// fused test compares every path with its chain bit for bit.
//
//   transposeCopy          rotateQuarter(image, 1) followed by flipRows, as one copy
//   bandColumnMeans        columnMeans in loops that vectorize: gray rows as contiguous
//                          bytes, colour rows sixteen pixels at a time
//
// The shares of a thresholded image (thresholdMeans) are in threshold_means.hpp,
// the turned scan read through its turn in turned_view.hpp.
#pragma once

#include "profile.hpp"
#include "threshold_means.hpp"

#include <opencv2/core/mat.hpp>

namespace imaging {

// The transpose of an image with any channel count: result(i, j) = image(j, i).
cv::Mat transposeCopy(const cv::Mat& image);

// Same arguments and bits as columnMeans.
Profile bandColumnMeans(const cv::Mat& image, int columnCount, int firstRow, int lastRow);

}  // namespace imaging
