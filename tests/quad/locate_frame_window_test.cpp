// Window location: thresholds, search ranges and the edge tests.

#include "quad/stages.hpp"

#include <gtest/gtest.h>

#include <opencv2/core.hpp>

#include <string>

namespace {

struct Located {
  shared::WindowSearch start;
  std::string out;
};

Located locate(const cv::Mat& turned) {
  Located l;
  testing::internal::CaptureStdout();
  l.start = quad::locateFrameWindow(turned);
  l.out = testing::internal::GetCapturedStdout();
  return l;
}

// A 1-channel scan of `rows` x `columns` at `background` whose column c is
// 255 in its first `bright[c]` rows.
cv::Mat columnsWithBrightRows(int rows, int columns, int background, const std::map<int, int>& bright) {
  cv::Mat scan(rows, columns, CV_8UC1, cv::Scalar(background));
  for (const auto& [column, count] : bright) scan(cv::Range(0, count), cv::Range(column, column + 1)).setTo(255);
  return scan;
}

}  // namespace

// 995 x 960: the start-row band begins at column 198 (B = 199). Column 197
// rises earlier but lies outside it.
TEST(LocateFrameWindow, RangesOfTheNineHundredSixtyRowScan) {
  cv::Mat scan(960, 995, CV_8UC1, cv::Scalar(0));
  scan(cv::Range(30, 960), cv::Range(197, 198)).setTo(255);
  scan(cv::Range(50, 960), cv::Range(198, 199)).setTo(255);
  const Located dark = locate(scan);
  EXPECT_EQ(dark.out, "pro = 0.015000\nstr = 9 sto = 172\nod = 60 koniec = 338\n");
  EXPECT_EQ(dark.start.row, 49);
  EXPECT_EQ(dark.start.column, 198);

  scan.setTo(120);
  EXPECT_EQ(locate(scan).out, "pro = 0.250000\nstr = 9 sto = 172\nod = 60 koniec = 328\n");
}

TEST(LocateFrameWindow, LevelPicksTheThreshold) {
  const auto pro = [](int level) {
    const std::string out = locate(cv::Mat(100, 100, CV_8UC1, cv::Scalar(level))).out;
    return out.substr(0, out.find('\n'));
  };
  EXPECT_EQ(pro(31), "pro = 0.015000");
  EXPECT_EQ(pro(32), "pro = 0.200000");
  EXPECT_EQ(pro(99), "pro = 0.200000");
  EXPECT_EQ(pro(100), "pro = 0.250000");
  EXPECT_EQ(pro(101), "pro = 0.250000");
}

// Rows 50 and 120 both rise from nothing to full: the first rise wins; a
// rise at the last index before sto counts, one at sto does not.
TEST(LocateFrameWindow, StartRowIsTheFirstStrongestRiseBeforeSto) {
  cv::Mat scan(1000, 100, CV_8UC1, cv::Scalar(0));
  scan.row(50).setTo(255);
  scan.row(120).setTo(255);
  const Located twice = locate(scan);
  EXPECT_EQ(twice.start.row, 49);
  EXPECT_EQ(locate(scan).start.row, 49);  // the scan is left as it was

  scan.setTo(0);
  scan.row(180).setTo(255);  // difference index 179, sto = 180
  EXPECT_EQ(locate(scan).start.row, 179);
  scan.setTo(0);
  scan.row(181).setTo(255);  // outside: no rise, the first zero difference of the range
  EXPECT_EQ(locate(scan).start.row, 10);
}

// Background 40 lies under the threshold. Rising steps at 10, 20 (exactly
// 0.09, not enough), 33 (at koniec) and 40 (beyond it).
TEST(LocateFrameWindow, BrightFilmTakesTheLastRisingStepUpToKoniec) {
  std::map<int, int> bright{{11, 50}, {21, 9}, {34, 50}, {41, 50}};
  EXPECT_EQ(locate(columnsWithBrightRows(100, 100, 40, bright)).start.column, 33);
  bright.erase(34);
  EXPECT_EQ(locate(columnsWithBrightRows(100, 100, 40, bright)).start.column, 10);
  bright.erase(11);
  EXPECT_EQ(locate(columnsWithBrightRows(100, 100, 40, bright)).start.column, 0);
}

// Dark film: a falling step; -0.005 exactly does not qualify; koniec is 0.34 W.
TEST(LocateFrameWindow, DarkFilmTakesTheLastFallingStepUpToKoniec) {
  std::map<int, int> bright{{10, 100}, {20, 1}, {34, 100}};
  const Located l = locate(columnsWithBrightRows(200, 100, 0, bright));
  EXPECT_EQ(l.out.substr(0, 15), "pro = 0.015000\n");
  EXPECT_EQ(l.start.column, 34);
  bright.erase(34);
  EXPECT_EQ(locate(columnsWithBrightRows(200, 100, 0, bright)).start.column, 10);
}
