// The shares of an image's samples above a threshold, per row and per
// column: the profiles of the 0/1 image binarize would make, counted
// straight from the image (or from the source of a turned view) in one pass.
//
//   thresholdMeans         the row means and column means of binarize(image, fraction)
//   thresholdMeansByChain  the same through the primitives: the reference, and the fallback
//   thresholdMeans (view)  the same of a turned scan, counted on its source
#pragma once

#include "profile.hpp"
#include "turned_view.hpp"

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

// thresholdMeans(turnedCopy(view), ...), counted on the source.
ThresholdMeans thresholdMeans(const TurnedView& view, float fraction, int firstColumn, Shares shares);

}  // namespace imaging
