// extractFrame: finds the frame window in the turned scan (rows along the
// strip, columns across it) and returns a copy of it, image_length rows by
// image_width + 1 columns, with the scan's own samples and channels.
//
// The scan's brightness picks a threshold, and the shares of samples above
// it give the positions: the start row is where the share of
// bright samples per row (right of the first fifth of the width) rises most
// steeply in the upper part of the scan; the start column is the last
// steep step of the share of bright samples per column in the left third,
// a rise on bright film and a fall on dark film, moved right by a margin of
// 5 % of the scan's length. A window that reaches outside the scan keeps its
// size and is black outside, with a warning.
//
// Both shares come from one counting pass over the scan (thresholdMeans),
// which equals binarizing it, once as it is for the columns and once
// transposed for the rows, and taking column means of the 0/1 images.

#include "stages.hpp"

#include "imaging/fused.hpp"
#include "imaging/profile.hpp"

#include <algorithm>
#include <cstdio>

namespace single {
namespace {

using imaging::Profile;

constexpr float kDarkLevel = 32.0f;      // below it the film is dark
constexpr float kDarkThreshold = 0.015f;
constexpr float kMiddleThreshold = 0.2f;  // levels from 32 up to below 100
constexpr float kBrightThreshold = 0.25f;  // levels of 100 and above
constexpr float kDarkColumnStep = -0.005f;
constexpr float kBrightColumnStep = 0.09f;

float brightnessLevel(const Profile& columnMeans, int columns) {
  return imaging::profileMean(columnMeans, columns);
}

// A level of exactly 100 counts as bright film, like every level above it.
float thresholdFor(float level) {
  if (level < kDarkLevel) return kDarkThreshold;
  if (level < 100.0f) return kMiddleThreshold;
  return kBrightThreshold;
}

// The row shares count the columns from the first fifth of the width to the last.
int rowBandStart(const cv::Mat& scan) { return std::max(shared::roundNearestFloat(0.2 * scan.cols), 1); }

int startRow(const Profile& rowShares, int rows) {
  const Profile steps = imaging::firstDifference(rowShares, rows);
  const int first = static_cast<int>(0.05 * rows);
  const int end = static_cast<int>(0.35 * rows);
  std::printf("str = %d sto = %d\n", first, end);
  const int searchEnd = std::min(end, static_cast<int>(steps.size()));
  const float peak = imaging::peakMaximum(steps, first, searchEnd);
  for (int i = first; i < searchEnd; ++i)
    if (steps[i] == peak) return i;
  return 0;
}

int startColumn(const Profile& columnShares, const cv::Mat& scan, float level) {
  const Profile steps = imaging::firstDifference(columnShares, scan.cols);
  const bool darkFilm = level < kDarkLevel;
  const int from = shared::roundNearest(0.06 * scan.cols);
  const int to = shared::roundNearest((darkFilm ? 0.34 : 0.33) * scan.cols);
  std::printf("od = %d koniec = %d\n", from, to);
  int column = 0;
  const int last = std::min(to, static_cast<int>(steps.size()) - 1);
  for (int i = std::max(from, 0); i <= last; ++i)
    if (darkFilm ? steps[i] < kDarkColumnStep : steps[i] > kBrightColumnStep) column = i;
  // The step is the film's edge; the picture starts a margin further in.
  return column + shared::roundNearest(0.05 * scan.rows);
}

}  // namespace

cv::Mat extractFrame(const cv::Mat& turned, const shared::StripGeometry& geometry) {
  if (turned.empty()) return {};
  return extractFrame(turned, imaging::columnMeans(turned, turned.cols, 1, turned.rows), geometry);
}

cv::Mat extractFrame(const cv::Mat& turned, const Profile& turnedColumnMeans,
                     const shared::StripGeometry& geometry) {
  if (turned.empty()) return {};
  const float level = brightnessLevel(turnedColumnMeans, turned.cols);
  const float threshold = thresholdFor(level);
  std::printf("pro = %f\n", static_cast<double>(threshold));
  const imaging::ThresholdMeans shares =
      imaging::thresholdMeans(turned, threshold, rowBandStart(turned), /*withColumns=*/true);
  const int x = startRow(shares.rows, turned.rows);
  const int n = startColumn(shares.columns, turned, level);
  std::printf("N = %d\n", n);
  std::printf("x= %d\n", x);
  std::printf("y = %d\n", x + geometry.image_length - 1);
  std::printf("z=%d\n", n + geometry.image_width);
  std::printf("N=%d\n", n);
  return shared::cutWindow(turned, x, n, geometry.image_length, geometry.image_width + 1);
}

}  // namespace single
