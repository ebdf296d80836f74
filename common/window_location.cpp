// locateWindowStart: where the frame windows of a turned scan begin, for both
// kinds of film. The scan's level (the mean of its column means) picks the
// threshold, so that dark and bright film both split into picture and
// surround. Along the strip, the window starts at the strongest rise of the
// share of bright samples per row in a stretch near the top, counted over
// the columns right of the first fifth of the width, where the perforations
// run. Across the strip, it starts at the last edge in the left third: a
// falling step of the column shares on dark film, a rising step otherwise.
//
// Both shares come from one counting pass (thresholdMeans), which equals
// binarizing the scan, once as it is for the columns and once transposed for
// the rows, and taking column means of the 0/1 images. The level and the
// shares are read through the turn from the cropped scan.

#include "shared.hpp"

#include "imaging/fused.hpp"

#include <algorithm>
#include <cstdio>

namespace shared {
namespace {

using imaging::Profile;

constexpr float kDarkLevel = 32.0f;  // below it the film is dark
constexpr float kBrightLevel = 100.0f;
constexpr float kDarkThreshold = 0.015f;
constexpr float kMiddleThreshold = 0.2f;
constexpr float kBrightThreshold = 0.25f;
constexpr float kDarkFilmEdge = -0.005f;  // a falling step on dark film
constexpr float kBrightFilmEdge = 0.09f;  // a rising step otherwise

// A level of exactly 100 counts as bright film, like every level above it.
float thresholdForLevel(float level) {
  if (level < kDarkLevel) return kDarkThreshold;
  if (level < kBrightLevel) return kMiddleThreshold;
  return kBrightThreshold;
}

// First row of [first, end) with the strongest rise, 0 when none matches;
// the stretch is kept within the rises that exist.
int startRow(const Profile& rises, int first, int end) {
  end = std::min(end, static_cast<int>(rises.size()));
  first = std::max(first, 0);
  const float peak = imaging::peakMaximum(rises, first, end);
  for (int i = first; i < end; ++i)
    if (rises[i] == peak) return i;
  return 0;
}

// Last column in [first, last] whose step passes the film's edge test; 0 when none.
int startColumn(const Profile& steps, int first, int last, bool darkFilm) {
  last = std::min(last, static_cast<int>(steps.size()) - 1);
  int column = 0;
  for (int i = std::max(first, 0); i <= last; ++i)
    if (darkFilm ? steps[i] < kDarkFilmEdge : steps[i] > kBrightFilmEdge) column = i;
  return column;
}

}  // namespace

WindowStart locateWindowStart(const imaging::TurnedView& turned, double rowSearchFrom, double rowSearchTo) {
  const int width = turned.cols(), height = turned.rows();
  const float level = imaging::profileMean(imaging::turnedColumnMeans(turned), width);
  const bool darkFilm = level < kDarkLevel;
  const float threshold = thresholdForLevel(level);
  std::printf("pro = %f\n", static_cast<double>(threshold));

  const int bandStart = std::max(roundNearestFloat(0.2 * width), 1);
  const imaging::ThresholdMeans shares =
      imaging::thresholdMeans(turned, threshold, bandStart, /*withColumns=*/true);

  // Truncated, not rounded: the stretch ends where the fraction falls.
  const int rowFirst = static_cast<int>(rowSearchFrom * height);
  const int rowEnd = static_cast<int>(rowSearchTo * height);
  std::printf("str = %d sto = %d\n", rowFirst, rowEnd);
  WindowStart start;
  start.row = startRow(imaging::firstDifference(shares.rows, height), rowFirst, rowEnd);

  const int columnFirst = roundNearest(0.06 * width);
  const int columnLast = roundNearest((darkFilm ? 0.34 : 0.33) * width);
  std::printf("od = %d koniec = %d\n", columnFirst, columnLast);
  start.column = startColumn(imaging::firstDifference(shares.columns, width), columnFirst, columnLast, darkFilm);
  return start;
}

}  // namespace shared
