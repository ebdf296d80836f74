// Cropping and orientation of four-frame scans.

#include "program/scan_lines.hpp"
#include "quad/stages.hpp"

#include "support/e2e.hpp"

#include <gtest/gtest.h>

#include <opencv2/core.hpp>

#include <string>
#include <vector>

namespace {

// The crop, its lines as tarvel4 prints them, and its warnings.
struct Cropped {
  cv::Mat image;
  std::string out;
  std::string err;
};

Cropped crop(const cv::Mat& scan) {
  Cropped c;
  shared::ScanRecord record;
  std::vector<std::string> warnings;
  c.image = quad::frameCorrection(scan, record.crop.emplace(), warnings);
  c.out = program::quadScanLines(record);
  for (const std::string& warning : warnings) c.err += warning + "\n";
  return c;
}

}  // namespace

// W = 1000, H = 900: the band is rows 134 to 764, the peak range ends at 20
// and the right edge is column 979. Column 3 is bright only just outside the
// band, so a band off by one row would move the edge there.
TEST(FrameCorrection, FindsTheLeftEdgeInTheBandAndCutsAtNinetyEightPercent) {
  cv::Mat scan(900, 1000, CV_8UC3, cv::Scalar::all(0));
  scan.at<cv::Vec3b>(400, 7) = {0, 0, 1};
  scan.at<cv::Vec3b>(133, 3) = {255, 255, 255};
  scan.at<cv::Vec3b>(765, 3) = {255, 255, 255};
  const cv::Mat before = scan.clone();
  const Cropped c = crop(scan);
  EXPECT_EQ(c.out, "frameCorrection x=7\nframeCorrection2 y=979\n");
  EXPECT_EQ(c.image.cols, 973);
  EXPECT_EQ(c.image.rows, 900);
  EXPECT_TRUE(e2e::imagesAgree(c.image, scan.colRange(7, 980)));
  EXPECT_TRUE(e2e::imagesAgree(scan, before));
}

// 0.15 x 10 is stored as the float 1.5, which rounds to 2: the band is rows 1 to 7.
TEST(FrameCorrection, TenRowScanUsesRowsOneToSeven) {
  cv::Mat scan(10, 300, CV_8UC1, cv::Scalar(0));
  scan(cv::Range(1, 8), cv::Range(3, 4)).setTo(10);
  scan.at<uchar>(0, 5) = scan.at<uchar>(8, 5) = scan.at<uchar>(9, 5) = 255;
  EXPECT_EQ(crop(scan).out, "frameCorrection x=3\nframeCorrection2 y=293\n");
}

// Column 0 carries the peak value that column 2 rises to: the lowest column wins.
TEST(FrameCorrection, LowestColumnWithThePeakValueIsTheEdge) {
  cv::Mat scan(50, 300, CV_8UC1, cv::Scalar(1));
  scan.col(0).setTo(5);
  scan.col(1).setTo(0);
  scan.col(2).setTo(5);
  const Cropped c = crop(scan);
  EXPECT_EQ(c.out, "frameCorrection x=0\nframeCorrection2 y=293\n");
  EXPECT_EQ(c.image.cols, 294);
}

// No rise and no empty column: the edge falls back to the row margin, silently.
TEST(FrameCorrection, NoEdgeFoundFallsBackToTheMargin) {
  const cv::Mat scan(100, 300, CV_8UC1, cv::Scalar(50));
  const Cropped c = crop(scan);
  EXPECT_EQ(c.out, "frameCorrection2 y=293\n");
  EXPECT_EQ(c.image.cols, 293 - 15 + 1);
  EXPECT_TRUE(c.err.empty());
}

// Edges that do not fit the scan keep the whole width, with a warning; the
// printed line still carries the value computed.
TEST(FrameCorrection, EdgesOutsideTheScanKeepTheWholeWidth) {
  const Cropped tall = crop(cv::Mat(100, 10, CV_8UC3, cv::Scalar::all(50)));  // margin 15 > y = 8
  EXPECT_EQ(tall.out, "frameCorrection2 y=8\n");
  EXPECT_EQ(tall.image.size(), cv::Size(10, 100));
  EXPECT_EQ(tall.image.channels(), 3);
  EXPECT_NE(tall.err.find("whole width"), std::string::npos);

  const Cropped narrow = crop(cv::Mat(5, 1, CV_8UC1, cv::Scalar(0)));  // y = -1
  EXPECT_EQ(narrow.out, "frameCorrection x=0\nframeCorrection2 y=-1\n");
  EXPECT_EQ(narrow.image.size(), cv::Size(1, 5));
  EXPECT_FALSE(narrow.err.empty());
}

TEST(OrientScan, TurnsCounterClockwiseKeepingChannels) {
  const cv::Mat gray = (cv::Mat_<uchar>(2, 3) << 1, 2, 3, 4, 5, 6);
  cv::Mat colour;
  cv::merge(std::vector<cv::Mat>{gray, gray + 10, gray + 20}, colour);
  const cv::Mat turnedGray = imaging::turnedCopy(quad::orientScan(gray.clone()));
  EXPECT_TRUE(e2e::imagesAgree(turnedGray, (cv::Mat_<uchar>(3, 2) << 3, 6, 2, 5, 1, 4)));
  const cv::Mat turnedColour = imaging::turnedCopy(quad::orientScan(colour.clone()));
  ASSERT_EQ(turnedColour.channels(), 3);
  cv::Mat red;
  cv::extractChannel(turnedColour, red, 2);
  EXPECT_TRUE(e2e::imagesAgree(red, turnedGray + 20));
  EXPECT_TRUE(quad::orientScan(cv::Mat(2, 3, CV_8UC2)).empty());
}
