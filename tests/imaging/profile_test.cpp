// Profiles and searches, checked against hand-worked values.

#include "imaging/profile.hpp"

#include <gtest/gtest.h>

#include <opencv2/core.hpp>

using imaging::Profile;

namespace {

// A 3-channel image whose red bytes are `red` and blue/green bytes are 255.
cv::Mat redOnly(const cv::Mat& red) {
  cv::Mat bgr(red.rows, red.cols, CV_8UC3);
  for (int r = 0; r < red.rows; ++r)
    for (int c = 0; c < red.cols; ++c) bgr.at<cv::Vec3b>(r, c) = {255, 255, red.at<uchar>(r, c)};
  return bgr;
}

}  // namespace

TEST(ColumnMeans, AveragesExactlyTheBandOfRows) {
  cv::Mat img = (cv::Mat_<uchar>(4, 2) << 100, 0, 10, 1, 20, 2, 200, 0);
  EXPECT_EQ(imaging::columnMeans(img, 2, 2, 3), (Profile{15.0f, 1.5f}));
  EXPECT_EQ(imaging::columnMeans(img, 2, 1, 4), (Profile{82.5f, 0.75f}));
  EXPECT_EQ(imaging::columnMeans(img, 1, 1, 4), (Profile{82.5f}));
}

TEST(ColumnMeans, ReadsOnlyTheRedByteOfColour) {
  cv::Mat bgr(3, 5, CV_8UC3, cv::Scalar(255, 255, 0));
  EXPECT_EQ(imaging::columnMeans(bgr, 5, 1, 3), Profile(5, 0.0f));
  cv::Mat red = (cv::Mat_<uchar>(2, 2) << 10, 20, 30, 41);
  EXPECT_EQ(imaging::columnMeans(redOnly(red), 2, 1, 2), (Profile{20.0f, 30.5f}));
}

TEST(ColumnMeans, RoundsTheMeanToTheNearestFloat) {
  cv::Mat img = (cv::Mat_<uchar>(3, 1) << 1, 2, 2);
  EXPECT_EQ(imaging::columnMeans(img, 1, 1, 3)[0], static_cast<float>(5.0 / 3.0));
}

TEST(ColumnMeans, FollowsTheStrideOfAColumnRange) {
  cv::Mat wide(5, 9, CV_8UC3);
  cv::randu(wide, 0, 256);
  cv::Mat view = wide.colRange(2, 6);
  ASSERT_GT(view.step[0], view.cols * view.elemSize());
  EXPECT_EQ(imaging::columnMeans(view, 4, 2, 5), imaging::columnMeans(view.clone(), 4, 2, 5));
}

TEST(ColumnMeans, BandsTallerThanTheExactIntegerLimitSumInFloat) {
  // 70,000 rows of 255 overflow float exactness: the float running sum
  // stalls once increments fall below half an ulp, so the mean is below 255.
  cv::Mat tall(70000, 1, CV_8UC1, cv::Scalar(255));
  float sum = 0.0f;
  for (int i = 0; i < 70000; ++i) sum = static_cast<float>(static_cast<double>(sum) + 255.0);
  EXPECT_EQ(imaging::columnMeans(tall, 1, 1, 70000)[0], static_cast<float>(static_cast<double>(sum) / 70000));
  cv::Mat exact(65793, 1, CV_8UC1, cv::Scalar(255));
  EXPECT_EQ(imaging::columnMeans(exact, 1, 1, 65793)[0], 255.0f);
}

TEST(ProfileMean, SumsInFloatInIndexOrder) {
  EXPECT_EQ(imaging::profileMean({1, 2, 3, 4}, 4), 2.5f);
  EXPECT_EQ(imaging::profileMean({7.25f}, 1), 7.25f);
  EXPECT_EQ(imaging::profileMean({1, 2, 3, 4}, 2), 1.5f);
  // 2^24 + 1 is lost in a float sum, so the order of additions shows.
  EXPECT_EQ(imaging::profileMean({16777216.0f, 1.0f, 1.0f}, 3), static_cast<float>(16777216.0 / 3));
}

TEST(FirstDifference, HasOneValueFewer) {
  EXPECT_EQ(imaging::firstDifference({3, 5, 4}, 3), (Profile{2, -1}));
  EXPECT_TRUE(imaging::firstDifference({3}, 1).empty());
  EXPECT_EQ(imaging::firstDifference({0.1f, 0.3f}, 2)[0], static_cast<float>(double(0.3f) - double(0.1f)));
}

TEST(PeakMaximum, TakesTheLargestRisingValue) {
  const Profile p{5, 9, 7, 8, 8, 3};
  EXPECT_EQ(imaging::peakMaximum(p, 1, 6), 9.0f);
  EXPECT_EQ(imaging::peakMaximum(p, 2, 6), 8.0f);  // reads p[1] as the neighbour of index 2
  EXPECT_EQ(imaging::peakMaximum(p, 4, 6), 0.0f);  // the second 8 does not rise
  EXPECT_EQ(imaging::peakMaximum({9, 8, 7}, 0, 3), 0.0f);
  EXPECT_EQ(imaging::peakMaximum({-5, -3, -4}, 0, 3), 0.0f);
  EXPECT_EQ(imaging::peakMaximum({9, 3, 5}, 0, 3), 5.0f);  // index 0 is never a candidate
  EXPECT_EQ(imaging::peakMaximum(p, 3, 3), 0.0f);
  EXPECT_EQ(imaging::peakMaximum(p, 5, 2), 0.0f);
}

TEST(ValleyMinimum, TakesTheSmallestFallingValue) {
  const Profile p{200, 100, 150, 120, 120};
  EXPECT_EQ(imaging::valleyMinimum(p, 1, 5), 100.0f);
  EXPECT_EQ(imaging::valleyMinimum(p, 2, 5), 120.0f);
  EXPECT_EQ(imaging::valleyMinimum({1, 2, 3}, 0, 3), 255.0f);
  EXPECT_EQ(imaging::valleyMinimum({300, 280, 255}, 0, 3), 255.0f);
  EXPECT_EQ(imaging::valleyMinimum({0, 7, 4}, 0, 3), 4.0f);
  EXPECT_EQ(imaging::valleyMinimum(p, 4, 4), 255.0f);
  EXPECT_EQ(imaging::valleyMinimum(p, 4, 1), 255.0f);
}

TEST(Searches, EmptyRangesReadNothing) {
  const Profile empty;
  EXPECT_EQ(imaging::peakMaximum(empty, 10, 10), 0.0f);
  EXPECT_EQ(imaging::valleyMinimum(empty, 10, 3), 255.0f);
}
