// Fused passes: each gives exactly the result of a chain of the primitives in
// profile.hpp and raster.hpp, in one pass over the image and without the
// chain's full-size intermediate images. The chains stay the reference; the
// fused test compares every path with its chain bit for bit.
//
//   thresholdMeans   the row means and column means of binarize(image, fraction)
//   transposeCopy    rotateQuarter(image, 1) followed by flipRows, as one copy
//   bandColumnMeans  columnMeans, with loops that run 16 columns at a time
//
// and the turned scan as a view (TurnedView), read through its turn instead
// of copied, so that only the frame windows are ever turned:
//
//   turnedColumnMeans  columnMeans of the turned scan
//   thresholdMeans     its overload for a view: the shares of the turned scan
//   turnedRowRange     a band of the turned scan's rows, still a view
//   turnedCopy         the turned scan, or a rectangle of it, as a new image
#pragma once

#include "profile.hpp"

#include <opencv2/core/mat.hpp>

#include <utility>

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
  None,              // the image as it is
  Transpose,         // rotateQuarter(image, 1), then flipRows: result(i, j) = image(j, i)
  Clockwise,         // rotateQuarter(image, 3): result(i, j) = image(rows - 1 - j, i)
  CounterClockwise,  // rotateQuarter(image, 1): result(i, j) = image(j, cols - 1 - i)
};

// An image as the turn shows it, without the copy. Converting an image gives
// the view of the image itself (Turn::None), so every function below takes
// an already turned scan as well.
struct TurnedView {
  cv::Mat source;  // 8 bits, 1 or 3 channels, read through its step
  Turn turn = Turn::None;

  TurnedView() = default;
  TurnedView(cv::Mat image, Turn turnedBy = Turn::None) : source(std::move(image)), turn(turnedBy) {}
  bool sideways() const { return turn != Turn::None; }
  int rows() const { return sideways() ? source.cols : source.rows; }
  int cols() const { return sideways() ? source.rows : source.cols; }
  bool empty() const { return source.empty(); }
  int type() const { return source.type(); }
};

// columnMeans(turnedCopy(view), view.cols(), 1, view.rows()); empty for an empty view.
Profile turnedColumnMeans(const TurnedView& view);

// thresholdMeans(turnedCopy(view), ...), counted on the source.
ThresholdMeans thresholdMeans(const TurnedView& view, float fraction, int firstColumn, bool withColumns);

// The turned rows [first, end), 0 <= first <= end <= view.rows().
TurnedView turnedRowRange(const TurnedView& view, int first, int end);

// The whole turned image, or the rectangle rows x columns of it (inside it).
cv::Mat turnedCopy(const TurnedView& view);
cv::Mat turnedCopy(const TurnedView& view, cv::Range rows, cv::Range columns);

}  // namespace imaging
