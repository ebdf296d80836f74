// Fused passes: each gives exactly the result of a chain of the primitives in
// profile.hpp and raster.hpp, in one pass over the image and without the
// chain's full-size intermediate images. The chains stay the reference; the
// fused test compares every path with its chain bit for bit.
//
//   thresholdMeans         the row means and column means of binarize(image, fraction)
//   thresholdMeansByChain  the same through the primitives: the reference, and the fallback
//   transposeCopy          rotateQuarter(image, 1) followed by flipRows, as one copy
//   bandColumnMeans        columnMeans in loops that vectorize: gray rows as contiguous
//                          bytes, colour rows sixteen pixels at a time
//
// The turned scan read through its turn is in turned_view.hpp.
#pragma once

#include "profile.hpp"

#include <opencv2/core/mat.hpp>

namespace imaging {

enum class Shares { RowsOnly, RowsAndColumns };

struct ThresholdMeans {
  // rows[r]: share of the 0/1 samples of row r that are 1, over the columns
  // from firstColumn to the last (counted from 1, both included). Equals
  // columnMeans(rotateQuarter(flipRows(binary), 3), rows, firstColumn, cols).
  Profile rows;
  // columns[c]: share over all rows, columnMeans(binary, cols, 1, rows).
  // Empty for Shares::RowsOnly.
  Profile columns;
};

// image: 8 bits, 1 or 3 channels, not empty; 1 <= firstColumn <= width.
ThresholdMeans thresholdMeans(const cv::Mat& image, float fraction, int firstColumn, Shares shares);
ThresholdMeans thresholdMeansByChain(const cv::Mat& image, float fraction, int firstColumn, Shares shares);

// The transpose of an image with any channel count: result(i, j) = image(j, i).
cv::Mat transposeCopy(const cv::Mat& image);

// Same arguments and bits as columnMeans.
Profile bandColumnMeans(const cv::Mat& image, int columnCount, int firstRow, int lastRow);

}  // namespace imaging
