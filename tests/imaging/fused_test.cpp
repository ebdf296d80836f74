// Every fused pass against the chain of primitives it stands for, bit for
// bit: random images of both channel counts, sizes down to one pixel, one
// row and one column, column ranges of wider images (rows longer than the
// image), and thresholds on both sides of the film levels' boundaries.

#include "imaging/fused.hpp"
#include "imaging/turned_view.hpp"
#include "imaging/gray_threshold.hpp"
#include "imaging/profile.hpp"
#include "imaging/raster.hpp"

#include "support/e2e.hpp"

#include <gtest/gtest.h>

#include <opencv2/core.hpp>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

using imaging::Profile;
constexpr imaging::Shares kBoth = imaging::Shares::RowsAndColumns, kRowsOnly = imaging::Shares::RowsOnly;

// The thresholds the stages use, and floats next to them.
const std::vector<float> kFractions = {0.015f, std::nextafter(0.015f, 0.0f), std::nextafter(0.015f, 1.0f),
                                       0.2f,   std::nextafter(0.2f, 0.0f),   std::nextafter(0.2f, 1.0f),
                                       0.25f,  std::nextafter(0.25f, 0.0f),  std::nextafter(0.25f, 1.0f),
                                       0.0f,   1.0f};

const std::vector<cv::Size> kSizes = {{1, 1}, {1, 7}, {9, 1}, {2, 3}, {17, 5}, {64, 33}, {301, 257}};

// Samples spread over the whole range, with a run of values around the
// thresholds (3 to 4, 51 to 52, 63 to 64 in gray) so that the comparison's
// edges are hit often.
cv::Mat randomImage(cv::Size size, int channels, std::uint64_t seed) {
  cv::RNG rng(seed);
  cv::Mat image(size, CV_8UC(channels));
  rng.fill(image, cv::RNG::UNIFORM, 0, 256);
  static const int kEdges[] = {3, 4, 51, 52, 63, 64};
  for (int r = 0; r < image.rows; ++r)
    for (int c = 0; c < image.cols * channels; ++c)
      if (rng.uniform(0, 4) == 0) image.ptr<std::uint8_t>(r)[c] = static_cast<std::uint8_t>(kEdges[rng.uniform(0, 6)]);
  // Neutral colour pixels: their weighted sum is exactly 100 x level, the
  // tie that only the double sum settles.
  if (channels == 3)
    for (int r = 0; r < image.rows; ++r)
      for (int c = 0; c < image.cols; ++c)
        if (rng.uniform(0, 8) == 0) image.at<cv::Vec3b>(r, c) = cv::Vec3b::all(static_cast<std::uint8_t>(kEdges[rng.uniform(0, 6)]));
  return image;
}

// The same pixels as a column range of a wider image, so rows are read
// through a step longer than the row.
cv::Mat asColumnRange(const cv::Mat& image, std::uint64_t seed) {
  cv::Mat wide = randomImage({image.cols + 13, image.rows}, image.channels(), seed);
  cv::Mat view = wide.colRange(5, 5 + image.cols);
  image.copyTo(view);
  return view;
}

void expectBitsEqual(const Profile& fused, const Profile& chain) {
  ASSERT_EQ(fused.size(), chain.size());
  EXPECT_EQ(std::memcmp(fused.data(), chain.data(), fused.size() * sizeof(float)), 0);
}

// Each image both contiguous and as a column range of a wider one.
template <typename Check>
void forEveryImage(Check check) {
  std::uint64_t seed = 1;
  for (const int channels : {1, 3})
    for (const cv::Size size : kSizes) {
      const cv::Mat image = randomImage(size, channels, ++seed);
      SCOPED_TRACE(testing::Message() << size.width << " x " << size.height << ", " << channels << " channels");
      check(image);
      check(asColumnRange(image, ++seed));
    }
}

TEST(ThresholdMeans, RowsAndColumnsEqualTheBinarizeFlipTurnChain) {
  forEveryImage([](const cv::Mat& image) {
    for (const float fraction : kFractions)
      for (const int firstColumn : {1, (image.cols + 1) / 2, image.cols}) {
        SCOPED_TRACE(testing::Message() << "fraction " << fraction << ", first column " << firstColumn);
        const imaging::ThresholdMeans chain = imaging::thresholdMeansByChain(image, fraction, firstColumn, kBoth);
        const imaging::ThresholdMeans both = imaging::thresholdMeans(image, fraction, firstColumn, kBoth);
        expectBitsEqual(both.rows, chain.rows);
        expectBitsEqual(both.columns, chain.columns);
        const imaging::ThresholdMeans rowsOnly = imaging::thresholdMeans(image, fraction, firstColumn, kRowsOnly);
        expectBitsEqual(rowsOnly.rows, chain.rows);
        EXPECT_TRUE(rowsOnly.columns.empty());
      }
  });
}

// The calibration counts a band of rows cut from the scan's middle.
TEST(ThresholdMeans, RowRangeOfAScanEqualsTheChainOnThatRange) {
  const cv::Mat scan = randomImage({40, 50}, 3, 99);
  const cv::Mat band = scan.rowRange(10, 50);
  expectBitsEqual(imaging::thresholdMeans(band, 0.2f, 1, kRowsOnly).rows,
                  imaging::thresholdMeansByChain(band, 0.2f, 1, kRowsOnly).rows);
}

// Known values, so that chain and fused path cannot both be wrong the same way:
// gray 51 is not above 0.2 x 255, 52 is; the neutral 23 is gray 22.
TEST(ThresholdMeans, CountsSamplesStrictlyAboveTheThreshold) {
  const cv::Mat gray = (cv::Mat_<std::uint8_t>(2, 3) << 51, 52, 200, 0, 52, 51);
  const imaging::ThresholdMeans m = imaging::thresholdMeans(gray, 0.2f, 2, kBoth);
  EXPECT_EQ(m.rows, (Profile{1.0f, 0.5f}));
  EXPECT_EQ(m.columns, (Profile{0.0f, 1.0f, 0.5f}));
  const cv::Mat neutral(1, 2, CV_8UC3, cv::Scalar(23, 23, 23));
  EXPECT_EQ(imaging::thresholdMeans(neutral, 22.5f / 255.0f, 1, kBoth).rows, (Profile{0.0f}));
}

// The integer test of a colour pixel against every bound 0..256 equals the
// double one. It is decreasing in the bound (a sum above the tie value stays
// one for lower bounds, below it stays zero for higher ones), so it suffices
// that every pixel passes at its own gray and fails one above: all 2^24.
TEST(GrayThreshold, IntegerTestEqualsTheDoubleGrayForEveryPixelAndBound) {
  const imaging::GrayWeights& w = imaging::grayWeights();
  long failures = 0;
  std::uint8_t px[3];
  for (int b = 0; b < 256; ++b)
    for (int g = 0; g < 256; ++g)
      for (int r = 0; r < 256; ++r) {
        px[0] = static_cast<std::uint8_t>(b);
        px[1] = static_cast<std::uint8_t>(g);
        px[2] = static_cast<std::uint8_t>(r);
        const int gray = imaging::grayOf(w, px);
        failures += !imaging::grayAtLeast(w, px, gray) || imaging::grayAtLeast(w, px, gray + 1);
      }
  EXPECT_EQ(failures, 0);
}

TEST(GrayThreshold, FirstOneIsTheSmallestGrayAboveTheThreshold) {
  for (const float fraction : kFractions)
    for (int g = 0; g < 256; ++g)
      EXPECT_EQ(g >= imaging::firstOneOf(fraction), g > static_cast<double>(fraction) * 255.0) << fraction << " " << g;
  EXPECT_EQ(imaging::firstOneOf(-1.0f), 0);
  EXPECT_EQ(imaging::firstOneOf(2.0f), 256);
  EXPECT_EQ(imaging::firstOneOf(std::nanf("")), 256);
  // The neutral 23 sums to a hair below 23 and is a tie the double sum settles.
  const std::uint8_t neutral[3] = {23, 23, 23};
  EXPECT_FALSE(imaging::grayAtLeast(imaging::grayWeights(), neutral, 23));
  EXPECT_TRUE(imaging::grayAtLeast(imaging::grayWeights(), neutral, 22));
}

// The transpose four ways: the library's, the copy, a counter-clockwise turn
// then a row reversal, and a row reversal then a clockwise turn.
TEST(TransposeCopy, EqualsBothTurnAndFlipOrders) {
  forEveryImage([](const cv::Mat& image) {
    cv::Mat transposed;
    cv::transpose(image, transposed);
    cv::Mat turned = imaging::rotateQuarter(image, 1), flipped = image.clone();
    EXPECT_TRUE(e2e::imagesAgree(imaging::transposeCopy(image), transposed));
    EXPECT_TRUE(e2e::imagesAgree(imaging::flipRows(turned), transposed));
    EXPECT_TRUE(e2e::imagesAgree(imaging::rotateQuarter(imaging::flipRows(flipped), 3), transposed));
  });
}

TEST(TransposeCopy, LeavesTheSourceAndItsWiderImageAlone) {
  const cv::Mat wide = randomImage({20, 6}, 3, 7);
  const cv::Mat before = wide.clone();
  const cv::Mat turned = imaging::transposeCopy(wide.colRange(4, 15));
  EXPECT_EQ(turned.size(), cv::Size(6, 11));
  EXPECT_TRUE(e2e::imagesAgree(wide, before));
  EXPECT_EQ(turned.at<cv::Vec3b>(2, 5), wide.at<cv::Vec3b>(5, 6));
}

cv::Mat turnByChain(const cv::Mat& image, imaging::Turn turn) {
  if (turn == imaging::Turn::None) return image.clone();
  if (turn == imaging::Turn::Clockwise) return imaging::rotateQuarter(image, 3);
  cv::Mat turned = imaging::rotateQuarter(image, 1);
  if (turn == imaging::Turn::Transpose) imaging::flipRows(turned);
  return turned;
}

const imaging::Turn kTurns[] = {imaging::Turn::None, imaging::Turn::Transpose, imaging::Turn::Clockwise,
                                imaging::Turn::CounterClockwise};

// Everything the stages read through a view equals the same read of the
// turned copy the chain makes: the copy itself, any rectangle of it, its
// column means, its threshold shares, and those of a band of its rows.
TEST(TurnedView, ReadsEqualTheSameReadsOfTheTurnedChain) {
  forEveryImage([](const cv::Mat& image) {
    for (const imaging::Turn turn : kTurns) {
      SCOPED_TRACE(testing::Message() << "turn " << static_cast<int>(turn));
      const imaging::TurnedView view{image, turn};
      const cv::Mat chain = turnByChain(image, turn);
      ASSERT_EQ(cv::Size(view.cols(), view.rows()), chain.size());
      EXPECT_TRUE(e2e::imagesAgree(imaging::turnedCopy(view), chain));
      const cv::Range rows(chain.rows / 3, chain.rows - chain.rows / 4), cols(chain.cols / 4, chain.cols);
      EXPECT_TRUE(e2e::imagesAgree(imaging::turnedCopy(view, rows, cols), chain(rows, cols)));
      expectBitsEqual(imaging::turnedColumnMeans(view), imaging::columnMeans(chain, chain.cols, 1, chain.rows));
      for (const float fraction : {0.015f, 0.2f, 0.25f})
        for (const int firstColumn : {1, (chain.cols + 1) / 2, chain.cols}) {
          SCOPED_TRACE(testing::Message() << "fraction " << fraction << ", first column " << firstColumn);
          const imaging::ThresholdMeans fused = imaging::thresholdMeans(view, fraction, firstColumn, kBoth);
          const imaging::ThresholdMeans plain = imaging::thresholdMeans(chain, fraction, firstColumn, kBoth);
          expectBitsEqual(fused.rows, plain.rows);
          expectBitsEqual(fused.columns, plain.columns);
          expectBitsEqual(imaging::thresholdMeans(view, fraction, firstColumn, kRowsOnly).rows, plain.rows);
        }
      const int top = chain.rows / 5;
      expectBitsEqual(imaging::thresholdMeans(imaging::turnedRowRange(view, top, chain.rows), 0.2f, 1, kRowsOnly).rows,
                      imaging::thresholdMeans(chain.rowRange(top, chain.rows), 0.2f, 1, kRowsOnly).rows);
    }
  });
}

// Known values: a 2 x 3 colour scan whose red samples are 1..6.
TEST(TurnedView, MeansAreOverTheRedSamplesOfEachTurnedColumn) {
  cv::Mat scan(2, 3, CV_8UC3, cv::Scalar(200, 100, 0));
  for (int i = 0; i < 6; ++i) scan.at<cv::Vec3b>(i / 3, i % 3)[2] = static_cast<std::uint8_t>(i + 1);
  using imaging::Turn;
  EXPECT_EQ(imaging::turnedColumnMeans({scan, Turn::Transpose}), (Profile{2.0f, 5.0f}));
  EXPECT_EQ(imaging::turnedColumnMeans({scan, Turn::CounterClockwise}), (Profile{2.0f, 5.0f}));
  EXPECT_EQ(imaging::turnedColumnMeans({scan, Turn::Clockwise}), (Profile{5.0f, 2.0f}));
  const cv::Mat turned = imaging::turnedCopy({scan, Turn::CounterClockwise});
  EXPECT_EQ(turned.at<cv::Vec3b>(0, 0)[2], 3);  // the last column's top becomes the first pixel
}

// Bands of rows as the crop stages ask for them (a middle band, one row, all
// rows) and profiles of fewer columns than the image has.
TEST(BandColumnMeans, EqualsColumnMeansOnEveryBand) {
  forEveryImage([](const cv::Mat& image) {
    const int h = image.rows, w = image.cols;
    for (const cv::Vec2i& band : {cv::Vec2i(1, h), cv::Vec2i(h, h), cv::Vec2i((h + 3) / 4, h - h / 4)})
      for (const int columns : {w, (w + 1) / 2}) {
        SCOPED_TRACE(testing::Message() << "rows " << band[0] << " to " << band[1] << ", " << columns << " columns");
        expectBitsEqual(imaging::bandColumnMeans(image, columns, band[0], band[1]),
                        imaging::columnMeans(image, columns, band[0], band[1]));
      }
  });
}

}  // namespace
