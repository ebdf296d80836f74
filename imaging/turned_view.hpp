// The turned scan as a view: a cropped scan and the turn that makes the
// strip run down it, read through the turn instead of copied, so that only
// the frame windows are ever turned. Converting an image gives the view of
// the image itself (Turn::None), so every function below takes an already
// turned scan as well.
//
//   TurnedView          the source image and its turn; rows() and cols() as turned
//   sourceColumnOfRow   the source column that turned row i is (sideways turns)
//   sourceRowOfColumn   the source row that turned column j is (sideways turns)
//   sourceRect          the source pixels under a turned rectangle
//   turnedColumnMeans   columnMeans of the turned scan
//   thresholdMeans      the shares of the turned scan above a threshold (fused.hpp has the plain one)
//   turnedRowRange      a band of the turned scan's rows, still a view
//   turnedCopy          the turned scan, or a rectangle of it, as a new image
#pragma once

#include "fused.hpp"
#include "profile.hpp"

#include <opencv2/core/mat.hpp>

#include <utility>

namespace imaging {

enum class Turn {
  None,              // the image as it is
  Transpose,         // rotateQuarter(image, 1), then flipRows: turned(i, j) = source(j, i)
  Clockwise,         // rotateQuarter(image, 3): turned(i, j) = source(rows - 1 - j, i)
  CounterClockwise,  // rotateQuarter(image, 1): turned(i, j) = source(j, cols - 1 - i)
};

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

// For a sideways turn a turned row is one source column and a turned column
// one source row: turned(i, j) = source(sourceRowOfColumn(j), sourceColumnOfRow(i)).
inline int sourceColumnOfRow(const TurnedView& view, int i) {
  return view.turn == Turn::CounterClockwise ? view.source.cols - 1 - i : i;
}
inline int sourceRowOfColumn(const TurnedView& view, int j) {
  return view.turn == Turn::Clockwise ? view.source.rows - 1 - j : j;
}

// The source rectangle under turned rows [rows) and columns [columns).
cv::Rect sourceRect(const TurnedView& view, cv::Range rows, cv::Range columns);

// columnMeans(turnedCopy(view), view.cols(), 1, view.rows()); empty for an empty view.
Profile turnedColumnMeans(const TurnedView& view);

// thresholdMeans(turnedCopy(view), ...), counted on the source.
ThresholdMeans thresholdMeans(const TurnedView& view, float fraction, int firstColumn, Shares shares);

// The turned rows [first, end), 0 <= first <= end <= view.rows().
TurnedView turnedRowRange(const TurnedView& view, int first, int end);

// The whole turned image, or the rectangle rows x columns of it (inside it).
cv::Mat turnedCopy(const TurnedView& view);
cv::Mat turnedCopy(const TurnedView& view, cv::Range rows, cv::Range columns);

}  // namespace imaging
