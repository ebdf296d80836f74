// Raster transforms: the worked 2 x 3 turns, the identities between turns and
// flips, and the exact threshold and gray arithmetic.

#include "imaging/raster.hpp"

#include "support/e2e.hpp"

#include <gtest/gtest.h>

#include <opencv2/core.hpp>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// Random 8-bit image of `channels` channels that is a column range of a wider
// one, so its step exceeds width x channels.
cv::Mat stridedRandom(int rows, int cols, int channels, int seed) {
  cv::RNG rng(seed);
  cv::Mat wide(rows, cols + 7, CV_8UC(channels));
  rng.fill(wide, cv::RNG::UNIFORM, 0, 256);
  return wide.colRange(3, 3 + cols);
}

const cv::Mat kTwoByThree = (cv::Mat_<uchar>(2, 3) << 'a', 'b', 'c', 'd', 'e', 'f');

}  // namespace

TEST(RotateQuarter, TurnsTheWorkedExampleBothWays) {
  EXPECT_TRUE(e2e::imagesAgree(imaging::rotateQuarter(kTwoByThree, 1),
                   (cv::Mat_<uchar>(3, 2) << 'c', 'f', 'b', 'e', 'a', 'd')));
  EXPECT_TRUE(e2e::imagesAgree(imaging::rotateQuarter(kTwoByThree, 3),
                   (cv::Mat_<uchar>(3, 2) << 'd', 'a', 'e', 'b', 'f', 'c')));
}

TEST(RotateQuarter, MovesAllChannelBytesOfAPixelTogether) {
  for (int channels : {1, 2, 3, 4}) {
    const cv::Mat img = stridedRandom(5, 4, channels, channels);
    const cv::Mat turned = imaging::rotateQuarter(img, 1);
    ASSERT_EQ(turned.size(), cv::Size(5, 4));
    ASSERT_EQ(turned.channels(), channels);
    for (int i = 0; i < 4; ++i)
      for (int k = 0; k < 5; ++k)
        EXPECT_EQ(0, std::memcmp(turned.ptr(i, k), img.ptr(k, 3 - i), channels)) << channels;
  }
}

TEST(RotateQuarter, TurnsUndoEachOther) {
  for (int channels : {1, 3}) {
    const cv::Mat img = stridedRandom(7, 11, channels, 10 + channels);
    EXPECT_TRUE(e2e::imagesAgree(imaging::rotateQuarter(imaging::rotateQuarter(img, 1), 3), img));
    EXPECT_TRUE(e2e::imagesAgree(imaging::rotateQuarter(imaging::rotateQuarter(img, 3), 1), img));
    cv::Mat four = img;
    for (int i = 0; i < 4; ++i) four = imaging::rotateQuarter(four, 1);
    EXPECT_TRUE(e2e::imagesAgree(four, img));
  }
}

// Against the library's own turn, on sizes below, at and across the
// 16-pixel tiles the turn goes in, read through a wider image's step.
TEST(RotateQuarter, TurnsAsTheLibraryDoesAcrossTiles) {
  for (int channels : {1, 2, 3, 4})
    for (const cv::Size size : {cv::Size(15, 17), cv::Size(16, 16), cv::Size(33, 48), cv::Size(70, 41)})
      for (int sense : {1, 3}) {
        const cv::Mat img = stridedRandom(size.height, size.width, channels, channels * 100 + size.width + sense);
        cv::Mat theirs;
        cv::rotate(img, theirs, sense == 1 ? cv::ROTATE_90_COUNTERCLOCKWISE : cv::ROTATE_90_CLOCKWISE);
        EXPECT_TRUE(e2e::imagesAgree(imaging::rotateQuarter(img, sense), theirs))
            << channels << " channels, " << size << ", sense " << sense;
      }
}

TEST(RotateQuarter, RefusesOtherSensesAndKeepsEmptyShapes) {
  EXPECT_TRUE(imaging::rotateQuarter(kTwoByThree, 2).empty());
  EXPECT_TRUE(imaging::rotateQuarter(kTwoByThree, 0).empty());
  EXPECT_TRUE(imaging::rotateQuarter(cv::Mat(), 1).empty());
  const cv::Mat noRows(0, 5, CV_8UC3);
  EXPECT_EQ(imaging::rotateQuarter(noRows, 3).size(), cv::Size(0, 5));
}

TEST(FlipRows, FlipsInPlaceAndTwiceGivesTheRowsBack) {
  const cv::Mat img = stridedRandom(6, 5, 3, 3);
  cv::Mat flipped = img.clone();
  cv::Mat& result = imaging::flipRows(flipped);
  EXPECT_EQ(&result, &flipped);
  for (int r = 0; r < 6; ++r) EXPECT_TRUE(e2e::imagesAgree(flipped.row(r), img.row(5 - r)));
  EXPECT_TRUE(e2e::imagesAgree(imaging::flipRows(flipped), img));
}

TEST(FlipRows, LeavesTheImageItSharesPixelsWithUntouched) {
  cv::RNG rng(4);
  cv::Mat wide(4, 9, CV_8UC1);
  rng.fill(wide, cv::RNG::UNIFORM, 0, 256);
  const cv::Mat before = wide.clone();
  cv::Mat view = wide.colRange(2, 5);
  imaging::flipRows(view);
  EXPECT_TRUE(e2e::imagesAgree(wide, before));
  cv::Mat copy = before.colRange(2, 5).clone();
  EXPECT_TRUE(e2e::imagesAgree(view, imaging::flipRows(copy)));
}

TEST(Binarize, ThresholdsStrictlyAboveTheFractionOfFullScale) {
  cv::Mat ramp(1, 256, CV_8UC1);
  for (int v = 0; v < 256; ++v) ramp.at<uchar>(0, v) = static_cast<uchar>(v);
  const cv::Mat half = imaging::binarize(ramp, 0.5f);
  const cv::Mat fifth = imaging::binarize(ramp, 0.2f);
  const cv::Mat zero = imaging::binarize(ramp, 0.0f);
  const cv::Mat one = imaging::binarize(ramp, 1.0f);
  for (int v = 0; v < 256; ++v) {
    EXPECT_EQ(half.at<uchar>(0, v), v >= 128 ? 1 : 0) << v;
    EXPECT_EQ(fifth.at<uchar>(0, v), v >= 52 ? 1 : 0) << v;  // 0.2f x 255 = 51.00000076
    EXPECT_EQ(zero.at<uchar>(0, v), v > 0 ? 1 : 0) << v;
    EXPECT_EQ(one.at<uchar>(0, v), 0) << v;
  }
}

TEST(Binarize, WorksOnGrayOfColourAndKeepsTheInput) {
  const cv::Mat red(1, 1, CV_8UC3, cv::Scalar(0, 0, 255));  // gray 76
  EXPECT_EQ(imaging::binarize(red, 0.3f).at<uchar>(0, 0), 0);  // T = 76.500003
  EXPECT_EQ(imaging::binarize(red, 0.29f).at<uchar>(0, 0), 1);
  const cv::Mat gray = stridedRandom(9, 10, 1, 5);
  const cv::Mat before = gray.clone();
  const cv::Mat first = imaging::binarize(gray, 0.5f);
  EXPECT_TRUE(e2e::imagesAgree(gray, before));
  EXPECT_FALSE(e2e::imagesAgree(imaging::binarize(gray, 0.1f), first));
  EXPECT_TRUE(e2e::imagesAgree(imaging::binarize(gray, 0.5f), imaging::binarize(gray.clone(), 0.5f)));
}

TEST(Binarize, StridedColourMatchesGrayThenThreshold) {
  const cv::Mat colour = stridedRandom(13, 17, 3, 6);
  EXPECT_TRUE(e2e::imagesAgree(imaging::binarize(colour, 0.25f), imaging::binarize(imaging::toGray(colour), 0.25f)));
  EXPECT_TRUE(e2e::imagesAgree(imaging::binarize(colour, 0.25f), imaging::binarize(colour.clone(), 0.25f)));
}

TEST(Binarize, RefusesOtherChannelCounts) {
  EXPECT_TRUE(imaging::binarize(cv::Mat(2, 2, CV_8UC2), 0.5f).empty());
  EXPECT_TRUE(imaging::binarize(cv::Mat(2, 2, CV_8UC4), 0.5f).empty());
  EXPECT_TRUE(imaging::binarize(cv::Mat(), 0.5f).empty());
}

TEST(ToGray, WeighsGreenAndBlueThenRedAndTruncates) {
  auto grayOf = [](int b, int g, int r) {
    return imaging::toGray(cv::Mat(1, 1, CV_8UC3, cv::Scalar(b, g, r))).at<uchar>(0, 0);
  };
  EXPECT_EQ(grayOf(255, 255, 255), 255);
  EXPECT_EQ(grayOf(0, 0, 255), 76);
  EXPECT_EQ(grayOf(0, 255, 0), 150);
  EXPECT_EQ(grayOf(255, 0, 0), 28);
  const std::vector<int> lower{23,  41,  46,  55,  63,  82,  92,  97,  101, 110, 111, 126, 159,
                               164, 184, 189, 194, 197, 202, 209, 220, 222, 237, 245, 247, 252};
  for (int v = 0; v < 256; ++v) {
    const bool isLower = std::find(lower.begin(), lower.end(), v) != lower.end();
    EXPECT_EQ(grayOf(v, v, v), isLower ? v - 1 : v) << v;
  }
}

TEST(ToGray, CopiesGrayAndFollowsStrides) {
  const cv::Mat gray = stridedRandom(4, 6, 1, 7);
  cv::Mat copy = imaging::toGray(gray);
  EXPECT_TRUE(e2e::imagesAgree(copy, gray));
  EXPECT_NE(copy.data, gray.data);
  const cv::Mat colour = stridedRandom(8, 5, 3, 8);
  EXPECT_TRUE(e2e::imagesAgree(imaging::toGray(colour), imaging::toGray(colour.clone())));
  EXPECT_TRUE(imaging::toGray(cv::Mat()).empty());
}
