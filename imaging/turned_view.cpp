// The turned scan as a view: the frame stages read a turned scan's column
// means, its threshold shares and two or four frame-sized windows, and all
// of these can be read through the turn from the cropped scan itself. So the
// scan is never turned as a whole (a full-size copy into fresh memory, the
// largest pass of the analysis); only the windows are, when they are cut.
//
// A turned column is one source row, and a turned row one source column:
//
//   Transpose         turned(i, j) = source(j, i)
//   Clockwise         turned(i, j) = source(rows - 1 - j, i)
//   CounterClockwise  turned(i, j) = source(j, cols - 1 - i)

#include "colour_rows.hpp"
#include "fused.hpp"
#include "raster.hpp"

#include <cassert>
#include <cstdint>
#include <vector>

namespace imaging {
namespace {

// columnMeans keeps an integer running sum up to this many rows (turned
// rows, source columns here); beyond it its float running sum is the reference.
constexpr int kExactIntegerRows = 65793;

// The source row that turned column j is.
int sourceRowOf(const TurnedView& view, int j) {
  return view.turn == Turn::Clockwise ? view.source.rows - 1 - j : j;
}

// Sum of the last channel of one source row, 1 or 3 channels.
std::uint32_t lastChannelSum(const std::uint8_t* row, int cols, int channels) {
  if (channels == 3) return redSum(row, cols);
  std::uint32_t sum = 0;
  for (int c = 0; c < cols; ++c) sum += row[c];
  return sum;
}

}  // namespace

Profile turnedColumnMeans(const TurnedView& view) {
  const cv::Mat& source = view.source;
  if (view.empty()) return {};
  if (!view.sideways()) return columnMeans(source, source.cols, 1, source.rows);
  if (source.cols > kExactIntegerRows) {
    const cv::Mat turned = turnedCopy(view);
    return columnMeans(turned, turned.cols, 1, turned.rows);
  }
  Profile means(source.rows);
  for (int j = 0; j < source.rows; ++j) {
    const std::uint32_t sum = lastChannelSum(source.ptr<std::uint8_t>(sourceRowOf(view, j)), source.cols,
                                             source.channels());
    means[j] = static_cast<float>(static_cast<double>(sum) / source.cols);
  }
  return means;
}

TurnedView turnedRowRange(const TurnedView& view, int first, int end) {
  assert(0 <= first && first <= end && end <= view.rows());
  const cv::Mat& source = view.source;
  switch (view.turn) {
    case Turn::None:
      return {source.rowRange(first, end), view.turn};
    case Turn::CounterClockwise:
      return {source.colRange(source.cols - end, source.cols - first), view.turn};
    default:
      return {source.colRange(first, end), view.turn};
  }
}

cv::Mat turnedCopy(const TurnedView& view) {
  return turnedCopy(view, cv::Range(0, view.rows()), cv::Range(0, view.cols()));
}

// The source rectangle under the turned one, turned by the primitives.
cv::Mat turnedCopy(const TurnedView& view, cv::Range rows, cv::Range columns) {
  assert(0 <= rows.start && rows.start <= rows.end && rows.end <= view.rows());
  assert(0 <= columns.start && columns.start <= columns.end && columns.end <= view.cols());
  const cv::Mat& source = view.source;
  switch (view.turn) {
    case Turn::None:
      return source(rows, columns).clone();
    case Turn::Transpose:
      return transposeCopy(source(columns, rows));
    case Turn::Clockwise:
      return rotateQuarter(source(cv::Range(source.rows - columns.end, source.rows - columns.start), rows), 3);
    case Turn::CounterClockwise:
      return rotateQuarter(source(columns, cv::Range(source.cols - rows.end, source.cols - rows.start)), 1);
  }
  return {};
}

}  // namespace imaging
