// columnMeans: one value per column, the mean of the column's last channel
// (red in a blue-green-red image, the only channel of a gray one) over a band
// of rows. Blue and green are never read.

#include "profile.hpp"

#include <cassert>
#include <cstdint>

namespace imaging {
namespace {

void sumBandExactly(const cv::Mat& image, int columnCount, int top, int rows, Profile& out) {
  const int channels = image.channels();
  std::vector<std::uint32_t> sums(columnCount, 0);
  for (int r = top; r < top + rows; ++r) {
    const std::uint8_t* sample = image.ptr<std::uint8_t>(r) + (channels - 1);
    for (int c = 0; c < columnCount; ++c) sums[c] += sample[c * channels];
  }
  for (int c = 0; c < columnCount; ++c)
    out[c] = static_cast<float>(static_cast<double>(sums[c]) / rows);
}

// Beyond that height the running sum is a float, as a long band demands.
void sumBandInFloat(const cv::Mat& image, int columnCount, int top, int rows, Profile& out) {
  const int channels = image.channels();
  for (int r = top; r < top + rows; ++r) {
    const std::uint8_t* sample = image.ptr<std::uint8_t>(r) + (channels - 1);
    for (int c = 0; c < columnCount; ++c)
      out[c] = static_cast<float>(static_cast<double>(out[c]) + sample[c * channels]);
  }
  for (int c = 0; c < columnCount; ++c)
    out[c] = static_cast<float>(static_cast<double>(out[c]) / rows);
}

}  // namespace

Profile columnMeans(const cv::Mat& image, int columnCount, int firstRow, int lastRow) {
  assert(image.depth() == CV_8U);
  assert(columnCount >= 0 && columnCount <= image.cols);
  assert(1 <= firstRow && firstRow <= lastRow && lastRow <= image.rows);
  Profile out(columnCount, 0.0f);
  if (columnCount <= 0 || image.empty()) return out;
  const int rows = lastRow - firstRow + 1;
  if (rows <= kExactIntegerRows)
    sumBandExactly(image, columnCount, firstRow - 1, rows, out);
  else
    sumBandInFloat(image, columnCount, firstRow - 1, rows, out);
  return out;
}

}  // namespace imaging
