// thresholdMeans: the row and column profiles of the 0/1 image that binarize
// would make, counted straight from the scan. The frame stages need nothing
// of that image but these counts, and building it, reversing its rows and
// turning it costs three full-size copies.
//
// A mean of 0/1 samples is the count of ones divided by the band's length in
// double precision, rounded to float once; columnMeans gives the same bits,
// its float running sum being exact up to 2^24. Beyond that (a band longer
// than any scan), and for the requests the chain itself leaves undefined (an
// empty image, a band outside it), the chain of primitives is run instead.

#include "fused.hpp"
#include "raster.hpp"
#include "weights.hpp"

#include <cstdint>
#include <vector>

namespace imaging {
namespace {

constexpr int kExactCount = 1 << 24;

struct Ones {
  std::uint8_t of[256];
};

// The same strict comparison with fraction x 255, in double, as binarize.
Ones onesTable(float fraction) {
  const double limit = static_cast<double>(fraction) * 255.0;
  Ones t{};
  for (int s = 0; s < 256; ++s) t.of[s] = s > limit ? 1 : 0;
  return t;
}

// Gray of a pixel: the sample itself, or toGray's weighted sum.
template <int Channels>
inline std::uint8_t grayAt(const GrayWeights& w, const std::uint8_t* row, int c) {
  if (Channels == 1) return row[c];
  return grayOf(w, row + 3 * c);
}

template <int Channels>
void countOnes(const cv::Mat& image, const Ones& ones, int first, std::vector<std::uint32_t>& rowOnes,
               std::vector<std::uint32_t>* columnOnes) {
  const GrayWeights& w = grayWeights();
  const int cols = image.cols;
  for (int r = 0; r < image.rows; ++r) {
    const std::uint8_t* row = image.ptr<std::uint8_t>(r);
    std::uint32_t inBand = 0;
    if (columnOnes) {
      std::uint32_t* column = columnOnes->data();
      for (int c = 0; c < first; ++c) column[c] += ones.of[grayAt<Channels>(w, row, c)];
      for (int c = first; c < cols; ++c) {
        const std::uint8_t one = ones.of[grayAt<Channels>(w, row, c)];
        column[c] += one;
        inBand += one;
      }
    } else {
      for (int c = first; c < cols; ++c) inBand += ones.of[grayAt<Channels>(w, row, c)];
    }
    rowOnes[r] = inBand;
  }
}

Profile meansOf(const std::vector<std::uint32_t>& counts, int length) {
  Profile means(counts.size());
  for (size_t i = 0; i < counts.size(); ++i)
    means[i] = static_cast<float>(static_cast<double>(counts[i]) / length);
  return means;
}

ThresholdMeans byChain(const cv::Mat& image, float fraction, int firstColumn, bool withColumns) {
  ThresholdMeans result;
  cv::Mat binary = binarize(image, fraction);
  if (withColumns) result.columns = columnMeans(binary, binary.cols, 1, binary.rows);
  flipRows(binary);
  const cv::Mat transposed = rotateQuarter(binary, 3);
  result.rows = columnMeans(transposed, image.rows, firstColumn, image.cols);
  return result;
}

}  // namespace

ThresholdMeans thresholdMeans(const cv::Mat& image, float fraction, int firstColumn, bool withColumns) {
  const int bandLength = image.cols - firstColumn + 1;
  if (image.empty() || bandLength < 1 || bandLength > kExactCount ||
      (withColumns && image.rows > kExactCount))
    return byChain(image, fraction, firstColumn, withColumns);
  const Ones ones = onesTable(fraction);
  std::vector<std::uint32_t> rowOnes(image.rows);
  std::vector<std::uint32_t> columnOnes(withColumns ? image.cols : 0, 0);
  std::vector<std::uint32_t>* columns = withColumns ? &columnOnes : nullptr;
  if (image.channels() == 1)
    countOnes<1>(image, ones, firstColumn - 1, rowOnes, columns);
  else
    countOnes<3>(image, ones, firstColumn - 1, rowOnes, columns);
  ThresholdMeans result;
  result.rows = meansOf(rowOnes, bandLength);
  if (withColumns) result.columns = meansOf(columnOnes, image.rows);
  return result;
}

}  // namespace imaging
