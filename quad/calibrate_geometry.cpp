// calibrateGeometry: fills the run's strip geometry from the first turned
// scan. The sound-track width and the frame window width follow from the
// resolution and the film's physical sizes. The length of the four frames is
// measured: below the top fifth of the scan, every row's share of pixels
// above the threshold is taken, and the strongest rise of that share from one
// row to the next (a dark frame line giving way to a picture) is looked for
// in four consecutive stretches down the strip. Three pitches separate the
// first and the fourth rise; four pitches make the length.

#include "stages.hpp"

#include "shared/film_levels.hpp"
#include "shared/rounding.hpp"

#include "imaging/profile.hpp"
#include "imaging/threshold_means.hpp"

#include <algorithm>
#include <optional>

namespace quad {
namespace {

constexpr double kSoundTrackCm = 0.254;
constexpr double kFrameWidthCm = 0.7;
constexpr double kCmPerInch = 2.54;

// First index of [first, end) whose difference equals the stretch's peak
// rise, the stretch kept within the differences that exist.
std::optional<int> firstIndexAtPeak(const imaging::Profile& rises, int first, int end) {
  first = std::max(first, 1);
  end = std::min(end, static_cast<int>(rises.size()));
  if (end <= first) return std::nullopt;
  return imaging::firstIndexOf(rises, first, end, imaging::peakMaximum(rises, first, end));
}

// Row-to-row change of the share of pixels above the threshold, for the
// rows from `top` down, over every column. Counted in one pass, without the
// transposed 0/1 image whose column means these are.
imaging::Profile rowShareRises(const imaging::TurnedView& scan, int top, float threshold) {
  const int rows = scan.rows() - top;
  const imaging::Profile shares =
      imaging::thresholdMeans(imaging::turnedRowRange(scan, top, scan.rows()), threshold, 1, imaging::Shares::RowsOnly)
          .rows;
  return imaging::firstDifference(shares, rows);
}

// Index j of the rises stands for row top + j of the scan; the stretches
// are fractions of the whole height all the same.
void findPeaks(shared::PitchSearch& found) {
  const int* bound = found.bounds;
  const int riseCount = static_cast<int>(found.rises.size());
  found.peaks[0] = firstIndexAtPeak(found.rises, 1, bound[0]).value_or(1);
  found.peaks[1] = firstIndexAtPeak(found.rises, bound[0], bound[1]).value_or(found.top);
  found.peaks[2] =
      bound[2] <= bound[1] ? bound[1] : firstIndexAtPeak(found.rises, bound[1], bound[2]).value_or(bound[2]);
  found.peaks[3] = firstIndexAtPeak(found.rises, bound[2], riseCount).value_or(bound[1]);
}

}  // namespace

int framePitch(int max1, int max4) { return (max4 - max1) / 3; }

bool framesCanBeCut(const shared::StripGeometry& geometry) {
  return geometry.image_length / 4 >= 1 && geometry.image_width >= 0;
}

shared::PitchSearch calibrateGeometry(const shared::ScanResolution& resolution, const imaging::TurnedView& turned,
                                      shared::StripGeometry& geometry) {
  geometry.sound_width = shared::roundNearest(resolution.x * kSoundTrackCm / kCmPerInch);
  geometry.image_width = shared::roundNearest(resolution.x * kFrameWidthCm / kCmPerInch);

  shared::PitchSearch found;
  const int height = turned.rows();
  found.mean = imaging::profileMean(imaging::turnedColumnMeans(turned), turned.cols());
  found.threshold = found.mean < shared::kDarkFilmLevel ? shared::kDarkFilmThreshold : shared::kMiddleFilmThreshold;
  found.top = shared::roundNearestFloat(0.2 * height);
  found.bounds[0] = shared::roundNearestFloat(0.25 * height);
  found.bounds[1] = shared::roundNearestFloat(0.5 * height);
  found.bounds[2] = shared::roundNearestFloat(0.7 * height);
  found.rises = rowShareRises(turned, found.top, found.threshold);
  findPeaks(found);
  found.pitch = framePitch(found.peaks[0], found.peaks[3]);
  geometry.image_length = 4 * found.pitch;
  return found;
}

}  // namespace quad
