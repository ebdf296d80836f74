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
//   turnedRowRange      a band of the turned scan's rows, still a view
//   turnedCopy          the turned scan, or a rectangle of it, as a new image
#pragma once

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
// Only the turn and the source's size take part, so a rectangle can be
// mapped back for an image that is no longer there.
inline int sourceColumnOfRow(Turn turn, cv::Size source, int i) {
  return turn == Turn::CounterClockwise ? source.width - 1 - i : i;
}
inline int sourceRowOfColumn(Turn turn, cv::Size source, int j) {
  return turn == Turn::Clockwise ? source.height - 1 - j : j;
}
inline int sourceColumnOfRow(const TurnedView& view, int i) { return sourceColumnOfRow(view.turn, view.source.size(), i); }
inline int sourceRowOfColumn(const TurnedView& view, int j) { return sourceRowOfColumn(view.turn, view.source.size(), j); }

// The source rectangle under turned rows [rows) and columns [columns);
// ranges beyond the turned image map to a rectangle beyond the source.
cv::Rect sourceRect(Turn turn, cv::Size source, cv::Range rows, cv::Range columns);
inline cv::Rect sourceRect(const TurnedView& view, cv::Range rows, cv::Range columns) {
  return sourceRect(view.turn, view.source.size(), rows, columns);
}

// columnMeans(turnedCopy(view), view.cols(), 1, view.rows()); empty for an empty view.
Profile turnedColumnMeans(const TurnedView& view);

// The turned rows [first, end), 0 <= first <= end <= view.rows().
TurnedView turnedRowRange(const TurnedView& view, int first, int end);

// The whole turned image, or the rectangle rows x columns of it (inside it).
cv::Mat turnedCopy(const TurnedView& view);
cv::Mat turnedCopy(const TurnedView& view, cv::Range rows, cv::Range columns);

}  // namespace imaging
