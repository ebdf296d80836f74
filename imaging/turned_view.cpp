// The turned scan as a view: the frame stages read a turned scan's column
// means, its threshold shares and two or four frame-sized windows, and all
// of these can be read through the turn from the cropped scan itself. So the
// scan is never turned as a whole (a full-size copy into fresh memory, the
// largest pass of the analysis); only the windows are, when they are cut.
// How a turned index maps to a source index is said once, in
// sourceColumnOfRow and sourceRowOfColumn (turned_view.hpp).

#include "turned_view.hpp"
#include "fused.hpp"

#include "colour_rows.hpp"
#include "raster.hpp"

#include <cassert>
#include <cstdint>
#include <vector>

namespace imaging {
namespace {

// Sum of the last channel of one source row, 1 or 3 channels.
std::uint32_t lastChannelSum(const std::uint8_t* row, int cols, int channels) {
  if (channels == 3) return redSum(row, cols);
  std::uint32_t sum = 0;
  for (int c = 0; c < cols; ++c) sum += row[c];
  return sum;
}

// The source indexes under turned indexes [range), through one of the maps.
template <typename Map>
cv::Range sourceRange(Turn turn, cv::Size source, cv::Range range, Map map) {
  if (range.empty()) return cv::Range(0, 0);
  const int a = map(turn, source, range.start), b = map(turn, source, range.end - 1);
  return a <= b ? cv::Range(a, b + 1) : cv::Range(b, a + 1);
}

int columnOfRow(Turn turn, cv::Size source, int i) { return sourceColumnOfRow(turn, source, i); }
int rowOfColumn(Turn turn, cv::Size source, int j) { return sourceRowOfColumn(turn, source, j); }

}  // namespace

cv::Rect sourceRect(Turn turn, cv::Size source, cv::Range rows, cv::Range columns) {
  if (turn == Turn::None) return cv::Rect(columns.start, rows.start, columns.size(), rows.size());
  const cv::Range sourceColumns = sourceRange(turn, source, rows, columnOfRow);
  const cv::Range sourceRows = sourceRange(turn, source, columns, rowOfColumn);
  return cv::Rect(sourceColumns.start, sourceRows.start, sourceColumns.size(), sourceRows.size());
}

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
    const std::uint32_t sum = lastChannelSum(source.ptr<std::uint8_t>(sourceRowOfColumn(view, j)), source.cols,
                                             source.channels());
    means[j] = static_cast<float>(static_cast<double>(sum) / source.cols);
  }
  return means;
}

TurnedView turnedRowRange(const TurnedView& view, int first, int end) {
  assert(0 <= first && first <= end && end <= view.rows());
  if (!view.sideways()) return {view.source.rowRange(first, end), view.turn};
  return {view.source.colRange(sourceRange(view.turn, view.source.size(), cv::Range(first, end), columnOfRow)),
          view.turn};
}

cv::Mat turnedCopy(const TurnedView& view) {
  return turnedCopy(view, cv::Range(0, view.rows()), cv::Range(0, view.cols()));
}

// The source rectangle under the turned one, turned by the primitives.
cv::Mat turnedCopy(const TurnedView& view, cv::Range rows, cv::Range columns) {
  assert(0 <= rows.start && rows.start <= rows.end && rows.end <= view.rows());
  assert(0 <= columns.start && columns.start <= columns.end && columns.end <= view.cols());
  const cv::Mat under = view.source(sourceRect(view, rows, columns));
  switch (view.turn) {
    case Turn::None: return under.clone();
    case Turn::Transpose: return transposeCopy(under);
    case Turn::Clockwise: return rotateQuarter(under, 3);
    case Turn::CounterClockwise: return rotateQuarter(under, 1);
  }
  return {};
}

}  // namespace imaging
