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

#include "window_location.hpp"

#include "film_levels.hpp"
#include "rounding.hpp"

#include "imaging/threshold_means.hpp"

#include <algorithm>
#include <optional>

namespace shared {
namespace {

using imaging::Profile;

constexpr float kDarkFilmEdge = -0.005f;  // a falling step on dark film
constexpr float kBrightFilmEdge = 0.09f;  // a rising step otherwise

// A level of exactly 100 counts as bright film, like every level above it.
float thresholdForLevel(float level) {
  if (level < kDarkFilmLevel) return kDarkFilmThreshold;
  if (level < kBrightFilmLevel) return kMiddleFilmThreshold;
  return kBrightFilmThreshold;
}

// First row of [first, end) with the strongest rise (or, when nothing
// rises, with none: the search's start value is 0), 0 when none matches;
// the stretch is kept within the rises that exist.
int startRow(const Profile& rises, int first, int end, bool& somethingRises) {
  end = std::min(end, static_cast<int>(rises.size()));
  first = std::max(first, 0);
  const float peak = imaging::peakMaximum(rises, first, end);
  somethingRises = peak > 0;
  return imaging::firstIndexOf(rises, first, end, peak).value_or(0);
}

// Last column in [first, last] whose step passes the film's edge test; none when none does.
std::optional<int> startColumn(const Profile& steps, int first, int last, bool darkFilm, float stepLevel) {
  last = std::min(last, static_cast<int>(steps.size()) - 1);
  std::optional<int> column;
  for (int i = std::max(first, 0); i <= last; ++i)
    if (darkFilm ? steps[i] < stepLevel : steps[i] > stepLevel) column = i;
  return column;
}

}  // namespace

WindowSearch locateWindowStart(const imaging::TurnedView& turned, double rowSearchFrom, double rowSearchTo) {
  WindowSearch found;
  const int width = turned.cols(), height = turned.rows();
  found.level = imaging::profileMean(imaging::turnedColumnMeans(turned), width);
  found.darkFilm = found.level < kDarkFilmLevel;
  found.threshold = thresholdForLevel(found.level);

  found.bandStart = std::max(roundNearestFloat(0.2 * width), 1);
  imaging::ThresholdMeans shares =
      imaging::thresholdMeans(turned, found.threshold, found.bandStart, imaging::Shares::RowsAndColumns);

  // Truncated, not rounded: the stretch ends where the fraction falls.
  found.rowFirst = static_cast<int>(rowSearchFrom * height);
  found.rowEnd = static_cast<int>(rowSearchTo * height);
  found.rowRises = imaging::firstDifference(shares.rows, height);
  found.row = startRow(found.rowRises, found.rowFirst, found.rowEnd, found.rowFound);

  found.columnFirst = roundNearest(0.06 * width);
  found.columnLast = roundNearest((found.darkFilm ? 0.34 : 0.33) * width);
  found.columnSteps = imaging::firstDifference(shares.columns, width);
  found.stepLevel = found.darkFilm ? kDarkFilmEdge : kBrightFilmEdge;
  const std::optional<int> column =
      startColumn(found.columnSteps, found.columnFirst, found.columnLast, found.darkFilm, found.stepLevel);
  found.column = column.value_or(0);
  found.columnFound = column.has_value();
  return found;
}

}  // namespace shared
