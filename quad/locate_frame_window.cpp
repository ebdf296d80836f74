// locateFrameWindow: finds where the four frame windows of a turned scan
// begin. The threshold for the 0/1 copy follows the scan's overall level, so
// that dark and bright film both split into picture and surround. Along the
// strip, the first window starts at the strongest rise of the share of
// bright pixels per row near the top of the scan (a frame line giving way to
// the first picture), taken over the columns right of the first fifth of
// the width, where the perforations run. Across the strip, every window
// starts at the last edge in the left third: a falling step of the column
// profile on dark film, a rising step on brighter film.

#include "stages.hpp"

#include "imaging/fused.hpp"
#include "imaging/profile.hpp"

#include <algorithm>
#include <cstdio>

namespace quad {
namespace {

constexpr float kDarkLevel = 32.0f;
constexpr float kMidLevel = 100.0f;
constexpr float kDarkThreshold = 0.015f;
constexpr float kMidThreshold = 0.2f;
constexpr float kBrightThreshold = 0.25f;
constexpr float kDarkFilmEdge = -0.005f;   // a falling step on dark film
constexpr float kBrightFilmEdge = 0.09f;   // a rising step otherwise

// A level of exactly 100 counts as bright film.
float thresholdForLevel(float level) {
  if (level < kDarkLevel) return kDarkThreshold;
  if (level < kMidLevel) return kMidThreshold;
  return kBrightThreshold;
}

// Row of the strongest rise of the bright share among the scan's rows in
// [first, end), the first of equal ones; 0 when none matches.
int startRow(const imaging::Profile& rises, int first, int end) {
  end = std::min(end, static_cast<int>(rises.size()));
  first = std::max(first, 0);
  const float peak = imaging::peakMaximum(rises, first, end);
  for (int i = first; i < end; ++i)
    if (rises[i] == peak) return i;
  return 0;
}

// Last column in [first, last] whose step passes the film's edge test; 0 when none.
int windowColumn(const imaging::Profile& steps, int first, int last, bool darkFilm) {
  last = std::min(last, static_cast<int>(steps.size()) - 1);
  int column = 0;
  for (int i = std::max(first, 0); i <= last; ++i)
    if (darkFilm ? steps[i] < kDarkFilmEdge : steps[i] > kBrightFilmEdge) column = i;
  return column;
}

}  // namespace

FrameWindowStart locateFrameWindow(const cv::Mat& turned) {
  return locateFrameWindow(turned, imaging::columnMeans(turned, turned.cols, 1, turned.rows));
}

FrameWindowStart locateFrameWindow(const cv::Mat& turned, const imaging::Profile& turnedColumnMeans) {
  const int width = turned.cols, height = turned.rows;
  const float level = imaging::profileMean(turnedColumnMeans, width);
  const bool darkFilm = level < kDarkLevel;
  const float threshold = thresholdForLevel(level);
  std::printf("pro = %f\n", threshold);

  // One counting pass gives both profiles of the 0/1 image (the column
  // shares, and the row shares over the columns from the first fifth on)
  // without making it; the scan itself is never changed.
  const int bandStart = std::max(shared::roundNearestFloat(0.2 * width), 1);
  const imaging::ThresholdMeans shares =
      imaging::thresholdMeans(turned, threshold, bandStart, /*withColumns=*/true);
  const imaging::Profile rowRises = imaging::firstDifference(shares.rows, height);
  const imaging::Profile& columnShares = shares.columns;

  const int searchFirst = static_cast<int>(0.01 * height);
  const int searchEnd = static_cast<int>(0.18 * height);
  std::printf("str = %d sto = %d\n", searchFirst, searchEnd);
  FrameWindowStart start;
  start.row = startRow(rowRises, searchFirst, searchEnd);

  const imaging::Profile columnSteps = imaging::firstDifference(columnShares, width);
  const int columnFirst = shared::roundNearest(0.06 * width);
  const int columnLast = shared::roundNearest((darkFilm ? 0.34 : 0.33) * width);
  std::printf("od = %d koniec = %d\n", columnFirst, columnLast);
  start.column = windowColumn(columnSteps, columnFirst, columnLast, darkFilm);
  return start;
}

}  // namespace quad
