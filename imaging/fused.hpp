// Fused passes: each gives exactly the result of a chain of the primitives in
// profile.hpp and raster.hpp, in one pass over the image and without the
// chain's full-size intermediate images. The chains stay the reference; the
// fused test compares every path with its chain bit for bit.
//
//   thresholdMeans   the row means and column means of binarize(image, fraction)
//   transposeCopy    rotateQuarter(image, 1) followed by flipRows, as one copy
//   turnWithMeans    a quarter turn or that transpose, with the column means of
//                    the result, from one copy made strip by strip
//   bandColumnMeans  columnMeans, with a loop the compiler vectorizes for gray images
#pragma once

#include "profile.hpp"

#include <opencv2/core/mat.hpp>

namespace imaging {

struct ThresholdMeans {
  // rows[r]: share of the 0/1 samples of row r that are 1, over the columns
  // from firstColumn to the last (counted from 1, both included). Equals
  // columnMeans(rotateQuarter(flipRows(binary), 3), rows, firstColumn, cols).
  Profile rows;
  // columns[c]: share over all rows, columnMeans(binary, cols, 1, rows).
  // Left empty unless asked for.
  Profile columns;
};

// image: 8 bits, 1 or 3 channels, not empty; 1 <= firstColumn <= width.
ThresholdMeans thresholdMeans(const cv::Mat& image, float fraction, int firstColumn, bool withColumns);

// The transpose of an image with any channel count: result(i, j) = image(j, i).
cv::Mat transposeCopy(const cv::Mat& image);

// Same arguments and bits as columnMeans.
Profile bandColumnMeans(const cv::Mat& image, int columnCount, int firstRow, int lastRow);

enum class Turn {
  Transpose,         // rotateQuarter(image, 1), then flipRows: result(i, j) = image(j, i)
  Clockwise,         // rotateQuarter(image, 3)
  CounterClockwise,  // rotateQuarter(image, 1)
};

struct TurnedScan {
  cv::Mat image;
  // columnMeans(image, image.cols, 1, image.rows); empty when image is.
  Profile columnMeans;
};

// image: 8 bits, 1 or 3 channels; rows are read through its step, so a
// column range of a larger image works. Anything else gives the chain's result.
TurnedScan turnWithMeans(const cv::Mat& image, Turn turn);

}  // namespace imaging
