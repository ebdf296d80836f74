// Window location, the stage both programs share, with each program's
// stretch for the start row: the ranges it searches, the threshold the level
// picks, and which rise and which step it takes.

#include "shared/window_location.hpp"

#include <gtest/gtest.h>

#include <opencv2/core.hpp>

#include <map>
#include <string>
#include <vector>

namespace {

struct Stretch {
  const char* program;
  double from, to;  // the start row is searched in [from x height, to x height)
};

const Stretch kStretches[] = {{"tarvel4", 0.01, 0.18}, {"tarvel1", 0.05, 0.35}};

struct Located {
  shared::WindowSearch found;
};

Located locate(const cv::Mat& turned, const Stretch& s) { return {shared::locateWindowStart(turned, s.from, s.to)}; }

// The stretches searched, as the threshold and the ranges [str, sto) and [od, koniec].
std::vector<double> searched(const shared::WindowSearch& w) {
  return {w.threshold, static_cast<double>(w.rowFirst), static_cast<double>(w.rowEnd),
          static_cast<double>(w.columnFirst), static_cast<double>(w.columnLast)};
}

// A 1-channel scan of `rows` x `columns` at `background` whose column c is
// 255 in its first `bright[c]` rows.
cv::Mat columnsWithBrightRows(int rows, int columns, int background, const std::map<int, int>& bright) {
  cv::Mat scan(rows, columns, CV_8UC1, cv::Scalar(background));
  for (const auto& [column, count] : bright) scan(cv::Range(0, count), cv::Range(column, column + 1)).setTo(255);
  return scan;
}

class WindowLocation : public testing::TestWithParam<Stretch> {};

// 995 x 960: the start-row band begins at column 198 (B = 199). Column 197
// rises earlier but lies outside it. Truncation: 0.18 x 960 = 172.8 gives 172.
TEST_P(WindowLocation, SearchesTheThresholdsStretches) {
  const Stretch s = GetParam();
  cv::Mat scan(960, 995, CV_8UC1, cv::Scalar(0));
  scan(cv::Range(30, 960), cv::Range(197, 198)).setTo(255);
  scan(cv::Range(50, 960), cv::Range(198, 199)).setTo(255);
  const double str = static_cast<int>(s.from * 960), sto = static_cast<int>(s.to * 960);
  const Located dark = locate(scan, s);
  EXPECT_EQ(searched(dark.found), (std::vector<double>{0.015f, str, sto, 60, 338}));
  EXPECT_EQ(dark.found.row, str <= 49 && 49 < sto ? 49 : str);
  EXPECT_EQ(dark.found.column, 198);
  scan.setTo(120);
  EXPECT_EQ(searched(locate(scan, s).found), (std::vector<double>{0.25f, str, sto, 60, 328}));
}

// The level's bands: below 32 dark, to below 100 middle, from 100 bright;
// only dark film searches up to 0.34 of the width.
TEST_P(WindowLocation, TheLevelPicksTheThresholdAndTheColumnRange) {
  const struct {
    int level;
    float threshold;
    int koniec;
  } kLevels[] = {{31, 0.015f, 34}, {32, 0.2f, 33}, {99, 0.2f, 33}, {100, 0.25f, 33}, {101, 0.25f, 33}};
  for (const auto& l : kLevels) {
    const Located located = locate(cv::Mat(100, 100, CV_8UC1, cv::Scalar(l.level)), GetParam());
    EXPECT_EQ(located.found.threshold, l.threshold) << l.level;
    EXPECT_EQ(located.found.columnLast, l.koniec) << l.level;
  }
}

// Two rows that rise from nothing to full: the first wins; a rise at the
// last index before sto counts, one at sto does not.
TEST_P(WindowLocation, StartRowIsTheFirstStrongestRiseBeforeSto) {
  const Stretch s = GetParam();
  const int str = static_cast<int>(s.from * 1000), sto = static_cast<int>(s.to * 1000);
  cv::Mat scan(1000, 100, CV_8UC1, cv::Scalar(0));
  scan.row(str + 40).setTo(255);
  scan.row(str + 110).setTo(255);
  EXPECT_EQ(locate(scan, s).found.row, str + 39);
  EXPECT_EQ(locate(scan, s).found.row, str + 39);  // the scan is left as it was
  scan.setTo(0);
  scan.row(sto).setTo(255);  // difference index sto - 1
  EXPECT_EQ(locate(scan, s).found.row, sto - 1);
  scan.setTo(0);
  scan.row(sto + 1).setTo(255);  // outside: no rise, the first zero difference of the range
  EXPECT_EQ(locate(scan, s).found.row, str);
}

// Background 40 lies under the threshold. Rising steps at 10, 20 (exactly
// 0.09, not enough), 33 (at koniec) and 40 (beyond it).
TEST_P(WindowLocation, BrightFilmTakesTheLastRisingStepUpToKoniec) {
  std::map<int, int> bright{{11, 50}, {21, 9}, {34, 50}, {41, 50}};
  EXPECT_EQ(locate(columnsWithBrightRows(100, 100, 40, bright), GetParam()).found.column, 33);
  bright.erase(34);
  EXPECT_EQ(locate(columnsWithBrightRows(100, 100, 40, bright), GetParam()).found.column, 10);
  bright.erase(11);
  EXPECT_EQ(locate(columnsWithBrightRows(100, 100, 40, bright), GetParam()).found.column, 0);
}

// Dark film: a falling step; -0.005 exactly does not qualify; koniec is 0.34 W.
TEST_P(WindowLocation, DarkFilmTakesTheLastFallingStepUpToKoniec) {
  std::map<int, int> bright{{10, 100}, {20, 1}, {34, 100}};
  const Located l = locate(columnsWithBrightRows(200, 100, 0, bright), GetParam());
  EXPECT_TRUE(l.found.darkFilm);
  EXPECT_EQ(l.found.column, 34);
  bright.erase(34);
  EXPECT_EQ(locate(columnsWithBrightRows(200, 100, 0, bright), GetParam()).found.column, 10);
}

INSTANTIATE_TEST_SUITE_P(BothStretches, WindowLocation, testing::ValuesIn(kStretches),
                         [](const auto& info) { return std::string(info.param.program); });

}  // namespace
