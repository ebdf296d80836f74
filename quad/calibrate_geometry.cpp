// calibrateGeometry: fills the run's strip geometry from the first turned
// scan. The sound-track width and the frame window width follow from the
// resolution and the film's physical sizes. The length of the four frames is
// measured: below the top fifth of the scan, every row's share of pixels
// above the threshold is taken, and the strongest rise of that share from one
// row to the next (a dark frame line giving way to a picture) is looked for
// in four consecutive stretches down the strip. Three pitches separate the
// first and the fourth rise; four pitches make the length.

#include "stages.hpp"

#include "imaging/fused.hpp"
#include "imaging/profile.hpp"

#include <algorithm>
#include <cstdio>
#include <optional>

namespace quad {
namespace {

constexpr double kSoundTrackCm = 0.254;
constexpr double kFrameWidthCm = 0.7;
constexpr double kCmPerInch = 2.54;
constexpr float kDarkFilmMean = 32.0f;
constexpr float kDarkFilmThreshold = 0.015f;
constexpr float kBrightFilmThreshold = 0.2f;

// First index of [first, end) whose difference equals the stretch's peak
// rise, the stretch kept within the differences that exist.
std::optional<int> firstIndexAtPeak(const imaging::Profile& rises, int first, int end) {
  first = std::max(first, 1);
  end = std::min(end, static_cast<int>(rises.size()));
  if (end <= first) return std::nullopt;
  const float peak = imaging::peakMaximum(rises, first, end);
  for (int j = first; j < end; ++j)
    if (rises[j] == peak) return j;
  return std::nullopt;
}

// Row-to-row change of the share of pixels above the threshold, for the
// rows from `top` down, over every column. Counted in one pass, without the
// transposed 0/1 image whose column means these are.
imaging::Profile rowShareRises(const imaging::TurnedView& scan, int top, float threshold) {
  const int rows = scan.rows() - top;
  const imaging::Profile shares =
      imaging::thresholdMeans(imaging::turnedRowRange(scan, top, scan.rows()), threshold, 1, /*withColumns=*/false)
          .rows;
  return imaging::firstDifference(shares, rows);
}

}  // namespace

int framePitch(int max1, int max4) { return (max4 - max1) / 3; }

bool framesCanBeCut(const shared::StripGeometry& geometry) {
  return geometry.image_length / 4 >= 1 && geometry.image_width >= 0;
}

int calibrateGeometry(const shared::ScanResolution& resolution, const imaging::TurnedView& turned,
                      shared::StripGeometry& geometry) {
  geometry.sound_width = shared::roundNearest(resolution.x * kSoundTrackCm / kCmPerInch);
  geometry.image_width = shared::roundNearest(resolution.x * kFrameWidthCm / kCmPerInch);

  const int width = turned.cols(), height = turned.rows();
  const float mean = imaging::profileMean(imaging::turnedColumnMeans(turned), width);
  std::printf("mean = %f\n", mean);
  const float threshold = mean < kDarkFilmMean ? kDarkFilmThreshold : kBrightFilmThreshold;
  std::printf("pro = %f\n", threshold);

  const int top = shared::roundNearestFloat(0.2 * height);
  std::printf("poczatek = %f\n", static_cast<double>(top));
  const int bound1 = shared::roundNearestFloat(0.25 * height);
  const int bound2 = shared::roundNearestFloat(0.5 * height);
  const int bound3 = shared::roundNearestFloat(0.7 * height);
  std::printf("poczatek1 = %f\n", static_cast<double>(bound1));
  std::printf("poczatek2 = %f\n", static_cast<double>(bound2));
  std::printf("poczatek3 = %f\n", static_cast<double>(bound3));

  // Index j of the rises stands for row top + j of the scan; the stretches
  // are fractions of the whole height all the same.
  const imaging::Profile rises = rowShareRises(turned, top, threshold);
  const int riseCount = static_cast<int>(rises.size());
  const int max1 = firstIndexAtPeak(rises, 1, bound1).value_or(1);
  const int max2 = firstIndexAtPeak(rises, bound1, bound2).value_or(top);
  const int max3 = bound3 <= bound2 ? bound2 : firstIndexAtPeak(rises, bound2, bound3).value_or(bound3);
  const int max4 = firstIndexAtPeak(rises, bound3, riseCount).value_or(bound2);
  std::printf("max1 = %d max2 = %d max3 = %d max4 = %d\n", max1, max2 - bound1, max3 - bound2,
              max4 - bound3);
  std::printf("max1 = %d max2 = %d max3 = %d max4 = %d\n", max1 - 1, max2 - 1, max3 - 1, max4 - 1);

  const int pitch = framePitch(max1, max4);
  std::printf("maxmax = %d\n", pitch);
  std::printf("maxmax = %d\n", shared::roundNearest(pitch));
  geometry.image_length = 4 * pitch;
  std::printf("sound_width = %d image_length = %d image_width = %d\n", geometry.sound_width,
              geometry.image_length, geometry.image_width);
  return 0;
}

}  // namespace quad
