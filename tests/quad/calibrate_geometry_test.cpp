// Frame-pitch calibration on turned scans built row by row; what it found
// as tarvel4 prints it.

#include "program/scan_lines.hpp"
#include "quad/stages.hpp"

#include "support/e2e.hpp"

#include <gtest/gtest.h>

#include <opencv2/core.hpp>

#include <string>

namespace {

struct Calibrated {
  shared::StripGeometry geometry;
  std::string out;
};

// The lines from the pitch measured to the geometry.
Calibrated calibrate(const cv::Mat& turned, int dpi = 900) {
  Calibrated c;
  shared::ScanRecord record;
  record.pitch = quad::calibrateGeometry({dpi, dpi}, turned, c.geometry);
  record.calibrated = true;
  record.resolution = {dpi, dpi};
  record.geometry = c.geometry;
  c.out = program::quadScanLines(record);
  c.out.erase(0, c.out.find('\n') + 1);  // the resolution line
  return c;
}

}  // namespace

// H = 1000: the lower part starts at row 200, so the rise at index j of the
// differences is a bright row at 201 + j. Rises at 100, 340, 580 and 792, and
// an equal one at 150 that loses to the lower index.
TEST(CalibrateGeometry, MeasuresThePitchFromTheFirstAndFourthRise) {
  cv::Mat turned(1000, 50, CV_8UC1, cv::Scalar(0));
  for (int j : {100, 150, 340, 580, 792}) turned.row(201 + j).setTo(200);
  const cv::Mat before = turned.clone();
  const Calibrated c = calibrate(turned);
  EXPECT_EQ(c.out,
            "mean = 1.000000\n"
            "pro = 0.015000\n"
            "poczatek = 200.000000\n"
            "poczatek1 = 250.000000\n"
            "poczatek2 = 500.000000\n"
            "poczatek3 = 700.000000\n"
            "max1 = 100 max2 = 90 max3 = 80 max4 = 92\n"
            "max1 = 99 max2 = 339 max3 = 579 max4 = 791\n"
            "maxmax = 230\n"
            "maxmax = 230\n"
            "sound_width = 90 image_length = 920 image_width = 248\n");
  EXPECT_EQ(c.geometry.sound_width, 90);
  EXPECT_EQ(c.geometry.image_length, 920);
  EXPECT_EQ(c.geometry.image_width, 248);
  EXPECT_TRUE(e2e::imagesAgree(turned, before));
}

// Every row has fewer bright pixels than the one above: no difference rises
// above 0 and none is exactly 0, so every search falls back, the first one to
// its range's first index.
TEST(CalibrateGeometry, SearchesThatFindNothingFallBack) {
  cv::Mat turned(100, 100, CV_8UC1, cv::Scalar(0));
  for (int j = 0; j < 80; ++j) turned.row(20 + j).colRange(0, 90 - j).setTo(255);
  const Calibrated c = calibrate(turned);
  EXPECT_NE(c.out.find("pro = 0.200000\n"), std::string::npos);
  EXPECT_NE(c.out.find("max1 = 1 max2 = -5 max3 = 20 max4 = -20\n"
                       "max1 = 0 max2 = 19 max3 = 69 max4 = 49\n"
                       "maxmax = 16\n"),
            std::string::npos)
      << c.out;
}

TEST(CalibrateGeometry, ThresholdSwitchesAtMeanThirtyTwo) {
  EXPECT_NE(calibrate(cv::Mat(40, 40, CV_8UC1, cv::Scalar(31))).out.find("pro = 0.015000\n"), std::string::npos);
  EXPECT_NE(calibrate(cv::Mat(40, 40, CV_8UC1, cv::Scalar(32))).out.find("pro = 0.200000\n"), std::string::npos);
}

TEST(CalibrateGeometry, FixedSizesFollowTheResolution) {
  const cv::Mat turned(40, 40, CV_8UC1, cv::Scalar(0));
  EXPECT_EQ(calibrate(turned, 600).geometry.sound_width, 60);
  EXPECT_EQ(calibrate(turned, 600).geometry.image_width, 165);
  EXPECT_EQ(calibrate(turned, 450).geometry.sound_width, 45);
  EXPECT_EQ(calibrate(turned, 450).geometry.image_width, 124);
}

TEST(FramePitch, TruncatesTowardZero) {
  EXPECT_EQ(quad::framePitch(100, 792), 230);
  EXPECT_EQ(quad::framePitch(0, -5), -1);
  EXPECT_FALSE(quad::framesCanBeCut({90, 0, 248}));
  EXPECT_FALSE(quad::framesCanBeCut({90, -4, 248}));
  EXPECT_TRUE(quad::framesCanBeCut({90, 4, 248}));
}
