#include "single/stages.hpp"

#include "support/e2e.hpp"

#include <gtest/gtest.h>

#include <opencv2/core.hpp>

namespace {

cv::Mat grayPixels() { return (cv::Mat_<uchar>(2, 3) << 'a', 'b', 'c', 'd', 'e', 'f'); }

cv::Mat colourOf(const cv::Mat& gray) {
  cv::Mat colour;
  cv::merge(std::vector<cv::Mat>{gray, gray + 1, gray + 2}, colour);
  return colour;
}

cv::Mat orient(cv::Mat cropped) { return imaging::turnedCopy(single::orientScan(std::move(cropped))); }

}  // namespace

TEST(OrientScan, TurnsGrayClockwiseAndTransposesColour) {
  const cv::Mat grayTurned = (cv::Mat_<uchar>(3, 2) << 'd', 'a', 'e', 'b', 'f', 'c');
  EXPECT_TRUE(e2e::imagesAgree(orient(grayPixels()), grayTurned));
  const cv::Mat colourTurned = (cv::Mat_<uchar>(3, 2) << 'a', 'd', 'b', 'e', 'c', 'f');
  EXPECT_TRUE(e2e::imagesAgree(orient(colourOf(grayPixels())), colourOf(colourTurned)));
}

TEST(OrientScan, GrayAndColourResultsAreMirrorImages) {
  cv::Mat gray(37, 23, CV_8UC1);
  cv::randu(gray, 0, 256);
  const cv::Mat fromGray = orient(gray.clone());
  cv::Mat fromColour;
  cv::extractChannel(orient(colourOf(gray)), fromColour, 0);
  cv::Mat mirrored;
  cv::flip(fromColour, mirrored, 1);
  EXPECT_TRUE(e2e::imagesAgree(fromGray, mirrored));
}

TEST(OrientScan, OtherChannelCountsGiveNoImage) {
  EXPECT_TRUE(single::orientScan(cv::Mat(4, 5, CV_8UC2, cv::Scalar::all(1))).empty());
}
