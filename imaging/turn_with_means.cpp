// turnWithMeans: the scan's quarter turn (or transpose), strip by strip, with
// the turned image's column means summed on the way. A source row is one
// column of the turned image, so summing the last channel of each source
// row while its strip is in cache gives the brightness profile the frame
// stages start from, without reading the turned image once more.
//
// Each strip of kStripRows source rows is turned by the library (cv::flip,
// cv::transpose) into a small buffer that stays in cache and then copied
// into its column range of the result. Turning the whole image at once, by
// the library or by rotateQuarter, writes one new cache line per pixel and
// is two to five times slower on colour scans (bench/fused_bench).

#include "fused.hpp"
#include "raster.hpp"

#include <opencv2/core.hpp>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace imaging {
namespace {

// columnMeans keeps an integer running sum up to this many rows; the sums here
// have one term per source column, so beyond it the means are columnMeans's own.
constexpr int kExactIntegerRows = 65793;
// 32 rows of a 2400-pixel colour scan turn into a 230 KB buffer.
constexpr int kStripRows = 32;

// Column sums of the turned strip, all channels at once so that the loop runs
// over contiguous bytes and vectorizes; bytes[k * channels + channels - 1]
// is then the last-channel sum of the strip's k-th column.
void sumColumns(const cv::Mat& turnedStrip, std::vector<std::uint32_t>& bytes) {
  const int length = turnedStrip.cols * turnedStrip.channels();
  bytes.assign(length, 0);
  std::uint32_t* sum = bytes.data();
  for (int i = 0; i < turnedStrip.rows; ++i) {
    const std::uint8_t* row = turnedStrip.ptr<std::uint8_t>(i);
    for (int b = 0; b < length; ++b) sum[b] += row[b];
  }
}

// The buffers one strip is turned through, kept from strip to strip.
struct StripBuffers {
  cv::Mat flipped, turned;
  std::vector<std::uint32_t> bytes;
};

// Turns the source rows [top, top + strip.rows) into their columns of the
// result and stores each source row's last-channel sum in rowSums.
void turnStrip(const cv::Mat& strip, Turn turn, int top, StripBuffers& buffers, cv::Mat& result,
               std::uint32_t* rowSums) {
  const int height = result.cols, bottom = top + strip.rows, channels = strip.channels();
  cv::Mat& turned = buffers.turned;
  if (turn == Turn::Clockwise) {  // result(i, j) = image(height - 1 - j, i)
    cv::Mat& flipped = buffers.flipped;
    cv::flip(strip, flipped, 0);
    cv::transpose(flipped, turned);
    turned.copyTo(result.colRange(height - bottom, height - top));
  } else {
    cv::transpose(strip, turned);
    cv::Mat columns = result.colRange(top, bottom);
    if (turn == Turn::Transpose)  // result(i, j) = image(j, i)
      turned.copyTo(columns);
    else  // counter-clockwise: result(i, j) = image(j, width - 1 - i)
      cv::flip(turned, columns, 0);
  }
  std::vector<std::uint32_t>& bytes = buffers.bytes;
  sumColumns(turned, bytes);
  // Column k of the turned strip is source row top + k, or bottom - 1 - k after the flip.
  for (int k = 0; k < strip.rows; ++k) {
    const int row = turn == Turn::Clockwise ? bottom - 1 - k : top + k;
    rowSums[row] = bytes[k * channels + channels - 1];
  }
}

// The chain for what the strips do not cover: other channel counts and
// depths, empty images, sums too long for columnMeans's integer path.
TurnedScan byChain(const cv::Mat& image, Turn turn) {
  TurnedScan result;
  result.image = rotateQuarter(image, turn == Turn::Clockwise ? 3 : 1);
  if (turn == Turn::Transpose && !result.image.empty()) flipRows(result.image);
  if (!result.image.empty() && result.image.rows > 0 && result.image.cols > 0)
    result.columnMeans = columnMeans(result.image, result.image.cols, 1, result.image.rows);
  return result;
}

}  // namespace

TurnedScan turnWithMeans(const cv::Mat& image, Turn turn) {
  const int channels = image.channels();
  if (image.empty() || image.depth() != CV_8U || image.dims != 2 || (channels != 1 && channels != 3) ||
      image.cols > kExactIntegerRows)
    return byChain(image, turn);
  const int height = image.rows;
  TurnedScan result;
  result.image.create(image.cols, height, image.type());
  std::vector<std::uint32_t> rowSums(height);
  StripBuffers buffers;
  for (int top = 0; top < height; top += kStripRows)
    turnStrip(image.rowRange(top, std::min(top + kStripRows, height)), turn, top, buffers, result.image,
              rowSums.data());
  // Result column j is source row j, or row height - 1 - j after the clockwise turn.
  result.columnMeans.resize(height);
  for (int j = 0; j < height; ++j) {
    const std::uint32_t sum = rowSums[turn == Turn::Clockwise ? height - 1 - j : j];
    result.columnMeans[j] = static_cast<float>(static_cast<double>(sum) / image.cols);
  }
  return result;
}

}  // namespace imaging
