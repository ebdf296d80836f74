// Frame cutting: the windows, their order and repetition, and windows that
// reach outside the scan.

#include "program/scan_lines.hpp"
#include "program/video_output.hpp"
#include "quad/stages.hpp"
#include "quad_strip.hpp"

#include "support/e2e.hpp"

#include <gtest/gtest.h>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <string>
#include <vector>

namespace {

// A 1000 x 600 turned scan whose picture (patterned, everywhere above the
// threshold) starts at row 31 and column 151 on a dark surround, so that the
// windows start at x = 30 and N = 150.
cv::Mat pictureFrom31And151(int channels) {
  cv::Mat scan(1000, 600, CV_8UC3, cv::Scalar::all(40));
  for (int r = 31; r < 1000; ++r)
    for (int c = 151; c < 600; ++c)
      scan.at<cv::Vec3b>(r, c) = {static_cast<uchar>(r % 200), static_cast<uchar>(c % 250),
                                  static_cast<uchar>(100 + (r * 7 + c * 13) % 150)};
  if (channels == 3) return scan;
  cv::Mat red;
  cv::extractChannel(scan, red, 2);
  return red;
}

struct Extracted {
  int status = -1;
  std::vector<cv::Mat> frames;
  std::string out;
  std::string err;
};

// The frames as the video gets them, the lines as tarvel4 prints them, the
// warnings and the reason to stop, each on a line.
Extracted extract(const cv::Mat& turned, const shared::StripGeometry& geometry) {
  Extracted e;
  shared::ScanRecord record;
  record.geometry = geometry;
  const auto sink = [&e](const cv::Mat& w, int copies) {
    e.frames.insert(e.frames.end(), copies, program::scaleToVideoFrame(w));
  };
  quad::extractFrames(turned, sink, geometry, record);
  e.status = record.stop.empty() ? 0 : 1;
  e.out = program::quadScanLines(record);
  for (const std::string& warning : record.warnings) e.err += warning + "\n";
  e.err += record.stop;
  return e;
}

cv::Mat scaledWindow(const cv::Mat& scan, int top) {
  cv::Mat scaled;
  cv::resize(scan(cv::Rect(150, top, 249, 200)), scaled, cv::Size(640, 480), 0, 0, cv::INTER_CUBIC);
  return scaled;
}

}  // namespace

TEST(ExtractFrames, CutsFourWindowsAPitchLessOneApartAndRepeatsThem) {
  for (int channels : {3, 1}) {
    SCOPED_TRACE(channels);
    const cv::Mat scan = pictureFrom31And151(channels);
    const Extracted e = extract(scan, {90, 800, 248});
    EXPECT_EQ(e.status, 0);
    EXPECT_EQ(e.out,
              "pro = 0.250000\nstr = 10 sto = 180\nod = 36 koniec = 198\n"
              "x= 30\ny = 829\nz=398\nN=150\n"
              "kk = 1\nkk = 2\nkk = 2\nkk = 3\nkk = 3\nkk = 4\nkk = 4\n");
    EXPECT_TRUE(e.err.empty()) << e.err;
    const int tops[] = {30, 229, 428, 627};
    const int order[] = {0, 0, 0, 0, 1, 1, 1, 2, 2, 3};
    ASSERT_EQ(e.frames.size(), 10u);
    for (int i = 0; i < 10; ++i) {
      SCOPED_TRACE(i);
      ASSERT_EQ(e.frames[i].channels(), channels);
      EXPECT_TRUE(e2e::imagesAgree(e.frames[i], scaledWindow(scan, tops[order[i]])));
    }
  }
}

// A pitch of 300 takes the last window to row 1226 of a 1000-row scan: it
// keeps its size, black below the scan, and the scan still gives ten frames.
TEST(ExtractFrames, WindowReachingOutsideTheScanIsBlackThere) {
  const Extracted e = extract(pictureFrom31And151(3), {90, 1200, 248});
  ASSERT_EQ(e.frames.size(), 10u);
  EXPECT_NE(e.err.find("reaches outside"), std::string::npos);
  const cv::Mat& last = e.frames[9];
  // Rows 927 to 999 of the window's 300 are inside; the lower part is black.
  EXPECT_EQ(cv::countNonZero(last.rowRange(130, 480).reshape(1)), 0);
  EXPECT_GT(cv::norm(last.rowRange(0, 100), cv::NORM_INF), 0);
}

TEST(ExtractFrames, PitchBelowOneCutsNothing) {
  const Extracted e = extract(pictureFrom31And151(1), {90, 3, 248});
  EXPECT_EQ(e.status, 1);
  EXPECT_TRUE(e.frames.empty());
  EXPECT_TRUE(e.out.empty());
  EXPECT_FALSE(e.err.empty());
}
