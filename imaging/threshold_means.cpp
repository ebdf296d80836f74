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
//
// A turned view (TurnedView) is counted on its source, rows and columns
// swapped, so the turned scan never has to exist.

#include "threshold_means.hpp"
#include "raster.hpp"
#include "colour_rows.hpp"
#include "gray_threshold.hpp"

#include <cstdint>
#include <vector>

namespace imaging {
namespace {

constexpr int kExactCount = 1 << 24;

// One row's keys, compared with a bound: the samples themselves for a gray
// image (one where sample >= firstOne), the weighted sums of a colour image
// (one where sum >= 100 x firstOne + 1; a sum equal to 100 x firstOne is a
// tie, settled afterwards). Ones and ties are counted apart, so the loops
// have no branch and vectorize.
template <typename Key>
struct Keys {
  const Key* of;
  Key oneFrom;
  bool hasTies;
  Key tie;
};

// What one row's count adds to: always the row's own count over the band
// [first, cols); with AddToColumns also every column's count, all columns.
enum class RowCount { BandOnly, AddToColumns };

template <typename Key>
std::uint32_t countKeys(const Keys<Key>& keys, int first, int cols, RowCount mode, std::uint32_t* column,
                        std::uint32_t& ties) {
  const Key* key = keys.of;
  const Key oneFrom = keys.oneFrom, tie = keys.tie;
  std::uint32_t inBand = 0, tied = 0;
  if (mode == RowCount::AddToColumns) {
    for (int c = 0; c < first; ++c) column[c] += key[c] >= oneFrom;
    for (int c = first; c < cols; ++c) {
      const std::uint32_t one = key[c] >= oneFrom;
      column[c] += one;
      inBand += one;
    }
  } else {
    for (int c = first; c < cols; ++c) inBand += key[c] >= oneFrom;
  }
  if (keys.hasTies)
    for (int c = mode == RowCount::AddToColumns ? 0 : first; c < cols; ++c) tied += key[c] == tie;
  ties = tied;
  return inBand;
}

// The ties of one colour row, rare on real scans, settled pixel by pixel with
// the double sum. Counting the band only, ties left of it count nowhere.
std::uint32_t addTies(const std::uint8_t* row, const std::uint16_t* sums, std::uint16_t tie, int firstOne,
                      int first, int cols, RowCount mode, std::uint32_t* column) {
  const GrayWeights& w = grayWeights();
  std::uint32_t inBand = 0;
  for (int c = mode == RowCount::AddToColumns ? 0 : first; c < cols; ++c) {
    if (sums[c] != tie || !grayAtLeast(w, row + 3 * c, firstOne)) continue;
    if (mode == RowCount::AddToColumns) ++column[c];
    if (c >= first) ++inBand;
  }
  return inBand;
}

// Which rows are counted, and where. With perRow, every row r gets its count
// of ones over the columns from `first` on in rowOnes[r]; the rows in
// [columnRowFirst, columnRowEnd) also add their ones to columnOnes, over all
// columns. Without perRow only those rows are read.
struct CountPlan {
  int first = 0;
  bool perRow = false;
  std::uint32_t* rowOnes = nullptr;
  int columnRowFirst = 0, columnRowEnd = 0;
  std::uint32_t* columnOnes = nullptr;
};

RowCount modeFor(const CountPlan& plan, int r) {
  return r >= plan.columnRowFirst && r < plan.columnRowEnd ? RowCount::AddToColumns : RowCount::BandOnly;
}

// The counts start at zero; a bound above every sample leaves them there.
void countGrayOnes(const cv::Mat& image, int firstOne, const CountPlan& plan) {
  if (firstOne > 255) return;
  for (int r = 0; r < image.rows; ++r) {
    const RowCount mode = modeFor(plan, r);
    if (mode == RowCount::BandOnly && !plan.perRow) continue;
    const Keys<std::uint8_t> keys{image.ptr<std::uint8_t>(r), static_cast<std::uint8_t>(firstOne), false, 0};
    std::uint32_t ties = 0;
    const std::uint32_t ones = countKeys(keys, plan.first, image.cols, mode, plan.columnOnes, ties);
    if (plan.perRow) plan.rowOnes[r] = ones;
  }
}

void countColourOnes(const cv::Mat& image, int firstOne, const CountPlan& plan) {
  const auto tie = static_cast<std::uint16_t>(100 * firstOne);
  std::vector<std::uint16_t> sums(image.cols);
  const Keys<std::uint16_t> keys{sums.data(), static_cast<std::uint16_t>(tie + 1), true, tie};
  for (int r = 0; r < image.rows; ++r) {
    const RowCount mode = modeFor(plan, r);
    if (mode == RowCount::BandOnly && !plan.perRow) continue;
    const std::uint8_t* row = image.ptr<std::uint8_t>(r);
    weightedGraySums(row, image.cols, sums.data());
    std::uint32_t ties = 0;
    std::uint32_t ones = countKeys(keys, plan.first, image.cols, mode, plan.columnOnes, ties);
    if (ties != 0) ones += addTies(row, sums.data(), tie, firstOne, plan.first, image.cols, mode, plan.columnOnes);
    if (plan.perRow) plan.rowOnes[r] = ones;
  }
}

void countOnes(const cv::Mat& image, float fraction, const CountPlan& plan) {
  if (image.channels() == 1)
    countGrayOnes(image, firstOneOf(fraction), plan);
  else
    countColourOnes(image, firstOneOf(fraction), plan);
}

Profile meansOf(const std::vector<std::uint32_t>& counts, int length) {
  Profile means(counts.size());
  for (size_t i = 0; i < counts.size(); ++i)
    means[i] = static_cast<float>(static_cast<double>(counts[i]) / length);
  return means;
}

bool countable(int rows, int cols, int firstColumn, Shares shares) {
  const int bandLength = cols - firstColumn + 1;
  return rows > 0 && bandLength >= 1 && bandLength <= kExactCount &&
         (shares == Shares::RowsOnly || rows <= kExactCount);
}

}  // namespace

ThresholdMeans thresholdMeansByChain(const cv::Mat& image, float fraction, int firstColumn, Shares shares) {
  ThresholdMeans result;
  cv::Mat binary = binarize(image, fraction);
  if (shares == Shares::RowsAndColumns) result.columns = columnMeans(binary, binary.cols, 1, binary.rows);
  flipRows(binary);
  const cv::Mat transposed = rotateQuarter(binary, 3);
  result.rows = columnMeans(transposed, image.rows, firstColumn, image.cols);
  return result;
}

ThresholdMeans thresholdMeans(const cv::Mat& image, float fraction, int firstColumn, Shares shares) {
  if (image.empty() || !countable(image.rows, image.cols, firstColumn, shares))
    return thresholdMeansByChain(image, fraction, firstColumn, shares);
  const bool withColumns = shares == Shares::RowsAndColumns;
  std::vector<std::uint32_t> rowOnes(image.rows);
  std::vector<std::uint32_t> columnOnes(withColumns ? image.cols : 0, 0);
  CountPlan plan;
  plan.first = firstColumn - 1;
  plan.perRow = true;
  plan.rowOnes = rowOnes.data();
  plan.columnOnes = columnOnes.data();
  plan.columnRowEnd = withColumns ? image.rows : 0;
  countOnes(image, fraction, plan);
  ThresholdMeans result;
  result.rows = meansOf(rowOnes, image.cols - firstColumn + 1);
  if (withColumns) result.columns = meansOf(columnOnes, image.rows);
  return result;
}

// A turned row is a source column and a turned column a source row, so the
// counts swap: the band of turned columns is a band of source rows whose
// ones are counted per source column, and the turned columns' shares are
// the source rows' counts over all their columns.
ThresholdMeans thresholdMeans(const TurnedView& view, float fraction, int firstColumn, Shares shares) {
  if (!view.sideways()) return thresholdMeans(view.source, fraction, firstColumn, shares);
  if (view.empty() || !countable(view.rows(), view.cols(), firstColumn, shares))
    return thresholdMeans(turnedCopy(view), fraction, firstColumn, shares);
  const bool withColumns = shares == Shares::RowsAndColumns;
  const cv::Mat& source = view.source;
  const int height = source.rows, width = source.cols, bandLength = height - firstColumn + 1;
  std::vector<std::uint32_t> sourceRowOnes(withColumns ? height : 0);
  std::vector<std::uint32_t> sourceColumnOnes(width, 0);
  CountPlan plan;
  plan.perRow = withColumns;
  plan.rowOnes = sourceRowOnes.data();
  plan.columnOnes = sourceColumnOnes.data();
  const cv::Rect band = sourceRect(view, cv::Range(0, view.rows()), cv::Range(firstColumn - 1, view.cols()));
  plan.columnRowFirst = band.y;
  plan.columnRowEnd = band.y + band.height;
  countOnes(source, fraction, plan);

  ThresholdMeans result;
  const Profile columnShares = meansOf(sourceColumnOnes, bandLength);
  result.rows.resize(width);
  for (int r = 0; r < width; ++r) result.rows[r] = columnShares[sourceColumnOfRow(view, r)];
  if (withColumns) {
    const Profile rowShares = meansOf(sourceRowOnes, width);
    result.columns.resize(height);
    for (int c = 0; c < height; ++c) result.columns[c] = rowShares[sourceRowOfColumn(view, c)];
  }
  return result;
}

}  // namespace imaging
