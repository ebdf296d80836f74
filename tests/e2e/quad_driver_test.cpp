// tarvel4 run in a folder of synthetic four-frame scans: what it prints, its
// exit status, and video3.avi as a player sees it.

#include "quad_strip.hpp"
#include "support/e2e.hpp"

#include <gtest/gtest.h>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

// What the default strip prints; its layout puts the left edge at column
// 10, the pitch at 280, the first window at row 59 and column 99.
const std::string kCropLines = "frameCorrection x=10\nframeCorrection2 y=1273\n";
const std::string kCalibrationLines =
    "Picture resolution (dpi) x=900,y=900\n"
    "mean = 134.756577\n"
    "pro = 0.200000\n"
    "poczatek = 253.000000\n"
    "poczatek1 = 316.000000\n"
    "poczatek2 = 632.000000\n"
    "poczatek3 = 885.000000\n"
    "max1 = 86 max2 = 50 max3 = 14 max4 = 41\n"
    "max1 = 85 max2 = 365 max3 = 645 max4 = 925\n"
    "maxmax = 280\n"
    "maxmax = 280\n"
    "sound_width = 90 image_length = 1120 image_width = 248\n";
const std::string kFrameLines =
    "pro = 0.250000\n"
    "str = 12 sto = 227\n"
    "od = 24 koniec = 132\n"
    "x= 59\ny = 1178\nz=347\nN=99\n"
    "kk = 1\nkk = 2\nkk = 2\nkk = 3\nkk = 3\nkk = 4\nkk = 4\n";
constexpr int kFirstRow = 59, kColumn = 99, kPitch = 280;
constexpr double kMinPsnr = 30.0;

std::string nameLine(const std::string& name) {
  return name + std::string(name.size() < 12 ? 12 - name.size() : 0, ' ') + "\n";
}

cv::Mat stripOf(int channels) {
  quadtest::StripLayout layout;
  layout.channels = channels;
  return quadtest::turnedStrip(layout);
}

void writeScan(const e2e::TempDir& dir, const std::string& name, int channels) {
  quadtest::StripLayout layout;
  layout.channels = channels;
  ASSERT_TRUE(cv::imwrite(dir.file(name), quadtest::scanOfStrip(stripOf(channels), layout)));
}

// The ten video frames one scan should give, in order.
std::vector<cv::Mat> expectedFrames(int channels) {
  const cv::Mat strip = stripOf(channels);
  std::vector<cv::Mat> frames;
  for (int kk = 1; kk <= 4; ++kk) {
    const cv::Mat f =
        quadtest::expectedFrame(strip, kFirstRow + (kk - 1) * (kPitch - 1), kColumn, kPitch, 249);
    for (int i = 0; i < 5 - kk; ++i) frames.push_back(f);
  }
  return frames;
}

void expectVideo(const std::string& path, const std::vector<int>& scanChannels) {
  const e2e::VideoInfo info = e2e::probeVideo(path);
  ASSERT_TRUE(info.readable);
  EXPECT_EQ(info.codecTag, "DIVX");
  EXPECT_EQ(info.width, 640);
  EXPECT_EQ(info.height, 480);
  EXPECT_EQ(info.frameRate, "25/1");
  EXPECT_EQ(info.frames, 10 * static_cast<int>(scanChannels.size()));
  const std::vector<cv::Mat> decoded = e2e::decodeFrames(path);
  ASSERT_EQ(decoded.size(), 10 * scanChannels.size());
  for (size_t s = 0; s < scanChannels.size(); ++s) {
    const std::vector<cv::Mat> expected = expectedFrames(scanChannels[s]);
    for (size_t i = 0; i < expected.size(); ++i) {
      SCOPED_TRACE(testing::Message() << "scan " << s + 1 << ", video frame " << i);
      EXPECT_GT(e2e::psnr(decoded[10 * s + i], expected[i]), kMinPsnr);
    }
  }
}

}  // namespace

// The frames of one scan differ enough for a wrong window or order to fail.
TEST(Tarvel4Run, ExpectedFramesAreTellableApart) {
  const std::vector<cv::Mat> colour = expectedFrames(3), gray = expectedFrames(1);
  for (int i : {3, 6, 8}) EXPECT_LT(e2e::psnr(colour[i], colour[i + 1]), kMinPsnr - 10);
  EXPECT_LT(e2e::psnr(colour[0], gray[0]), kMinPsnr - 10);
}

TEST(Tarvel4Run, EmptyFolderWritesAnEmptyVideo) {
  e2e::TempDir dir;
  const e2e::RunResult r = e2e::runProgram(e2e::programPath("tarvel4"), dir.path);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "No tif file in directory");
  EXPECT_TRUE(std::filesystem::exists(dir.file("video3.avi")));
}

// Calibration and the resolution line on the first scan only; a gray scan
// between two colour ones shows the frames stay in scan order.
TEST(Tarvel4Run, ThreeScansInListingOrder) {
  e2e::TempDir dir;
  writeScan(dir, "b.tif", 1);
  writeScan(dir, "A.tif", 3);
  writeScan(dir, "c.TIF", 3);
  const e2e::RunResult r = e2e::runProgram(e2e::programPath("tarvel4"), dir.path);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, nameLine("A.tif") + kCropLines + kCalibrationLines + kFrameLines +  //
                       nameLine("b.tif") + kCropLines + kFrameLines +                    //
                       nameLine("c.TIF") + kCropLines + kFrameLines + "No tif file");
  EXPECT_TRUE(r.err.empty()) << r.err;
  expectVideo(dir.file("video3.avi"), {3, 1, 3});
}

TEST(Tarvel4Run, SevenScansGiveFive) {
  e2e::TempDir dir;
  std::string expected;
  for (int i = 1; i <= 7; ++i) {
    const std::string name = "scan_00" + std::to_string(i) + ".tif";
    writeScan(dir, name, i == 2 ? 1 : 3);
    if (i <= 5) expected += nameLine(name) + kCropLines + (i == 1 ? kCalibrationLines : "") + kFrameLines;
  }
  const e2e::RunResult r = e2e::runProgram(e2e::programPath("tarvel4"), dir.path);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, expected);
  expectVideo(dir.file("video3.avi"), {3, 1, 3, 3, 3});
}

// The first scan's frames stay in a finished video; the run reports failure.
TEST(Tarvel4Run, LoadFailureOnTheSecondScan) {
  e2e::TempDir dir;
  writeScan(dir, "a.tif", 3);
  std::ofstream(dir.file("b.tif")) << "not a scan";
  writeScan(dir, "c.tif", 3);
  const e2e::RunResult r = e2e::runProgram(e2e::programPath("tarvel4"), dir.path);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, nameLine("a.tif") + kCropLines + kCalibrationLines + kFrameLines + nameLine("b.tif") +
                       "Could not load image file: b.tif\n");
  expectVideo(dir.file("video3.avi"), {3});
}

// A 4 x 3 scan measures a pitch of 0: the calibration lines, then the run stops.
TEST(Tarvel4Run, PitchBelowOneStopsAfterCalibration) {
  e2e::TempDir dir;
  ASSERT_TRUE(cv::imwrite(dir.file("tiny.tif"), cv::Mat(3, 4, CV_8UC1, cv::Scalar(90))));
  writeScan(dir, "zz.tif", 3);
  const e2e::RunResult r = e2e::runProgram(e2e::programPath("tarvel4"), dir.path);
  EXPECT_EQ(r.status, 1);
  const std::string tail = "maxmax = 0\nmaxmax = 0\nsound_width = 90 image_length = 0 image_width = 248\n";
  ASSERT_GE(r.out.size(), tail.size());
  EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail);
  EXPECT_EQ(r.out.find("zz.tif"), std::string::npos);
  EXPECT_NE(r.err.find("frame pitch"), std::string::npos);
  const e2e::VideoInfo info = e2e::probeVideo(dir.file("video3.avi"));
  EXPECT_EQ(info.frames, 0);
}

// A folder in the video's place: no scan is read, status 1.
TEST(Tarvel4Run, VideoThatCannotBeCreated) {
  e2e::TempDir dir;
  std::filesystem::create_directory(dir.file("video3.avi"));
  writeScan(dir, "a.tif", 3);
  const e2e::RunResult r = e2e::runProgram(e2e::programPath("tarvel4"), dir.path);
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(r.out.empty()) << r.out;
  EXPECT_NE(r.err.find("video3.avi"), std::string::npos);
}

TEST(Tarvel4Run, HelpLeavesTheFolderAlone) {
  e2e::TempDir dir;
  const e2e::RunResult r = e2e::runProgram(e2e::programPath("tarvel4"), dir.path, {"--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("video3.avi"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir.file("video3.avi")));
}
