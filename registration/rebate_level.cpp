// rebateOf: how bright film the camera never exposed shows on this scan,
// read on the rows of holes between the holes, and whether it is a colour
// negative's orange-masked base.
//
// A frame line is film the camera never exposed. On a negative it keeps the
// clear, masked base; on reversal film and on a print it is as dark as the
// film gets. Either way it is never much brighter than the rebate along the
// holes, which the camera never exposed either, while a bright band inside a
// picture (a window, a sky) may be. The rebate is read along the middle of
// each row of holes, the holes themselves left out, as the median, so that
// edge lettering between the holes does not move it.
//
// A colour negative's base carries an orange mask: red passes it well,
// blue poorly, as no print's clear base or reversal film's black one does.
// There unexposed film is the brightest the film gets, so a line must also
// be no darker than the rebate. The mask is read half-way between two
// neighbouring holes of a row, on a column half a hole high.

#include "stages.hpp"

#include <algorithm>
#include <cmath>

namespace registration {

namespace {

// Red over blue that only a mask gives: a print's or reversal film's tint
// (uneven dyes, a faded print's pictures) stays far below this on its base.
constexpr double kMaskedRedOverBlue = 1.5;
// A masked base is a mid-gray at least: a reversal strip's faded black base
// may turn red, but stays dark.
constexpr double kLeastMaskedLevel = 48;

double medianLevel(const cv::Mat& scan, const StripMeasure& m) {
  const double margin = std::abs(m.axes.slope) * scan.rows + 2;
  const int bins = static_cast<int>(std::ceil(scan.cols + 2 * margin));
  const cv::Mat rows = sampleAlong(scan, m.axes, m.rowT, -margin, 1, bins);
  // Bins a hole covers, with a pixel or two of its blurred rim.
  std::vector<bool> hole(static_cast<size_t>(bins), false);
  for (const Perforation& h : m.holes) {
    const double s = m.axes.s(h.centre) + margin, half = h.size.width / 2 + 2;
    for (int j = std::max(0, static_cast<int>(std::floor(s - half))); j < bins && j <= s + half; ++j) hole[j] = true;
  }
  std::vector<float> levels;
  for (int r = 0; r < rows.rows; ++r)
    for (int j = 0; j < bins; ++j) {
      const float a = rows.at<float>(r, j);
      if (!hole[j] && !std::isnan(a)) levels.push_back(a);
    }
  if (levels.empty()) return NAN;
  std::nth_element(levels.begin(), levels.begin() + levels.size() / 2, levels.end());
  return levels[levels.size() / 2];
}

bool orangeMasked(const cv::Mat& scan, const StripMeasure& m) {
  if (scan.channels() != 3) return false;
  const cv::Rect all(0, 0, scan.cols, scan.rows);
  double blue = 0, red = 0, pixels = 0;
  for (size_t i = 0; i < m.holes.size(); ++i) {
    // The next hole along the same row (the holes of two rows come mixed, in order of x).
    const Perforation& a = m.holes[i];
    const auto next = std::find_if(m.holes.begin() + static_cast<std::ptrdiff_t>(i) + 1, m.holes.end(),
                                   [&](const Perforation& b) { return std::abs(b.centre.y - a.centre.y) <= a.size.height / 2; });
    if (next == m.holes.end()) continue;
    const cv::Point2d mid = (a.centre + next->centre) * 0.5;
    const int half = std::max(1, static_cast<int>(a.size.height / 4));
    const cv::Rect column = cv::Rect(cvRound(mid.x) - 1, cvRound(mid.y) - half, 3, 2 * half + 1) & all;
    if (column.empty()) continue;
    const cv::Scalar mean = cv::mean(scan(column));
    blue += mean[0] * column.area(), red += mean[2] * column.area(), pixels += column.area();
  }
  return pixels > 0 && red > kMaskedRedOverBlue * blue;
}

}  // namespace

Rebate rebateOf(const cv::Mat& scan, const StripMeasure& m) {
  Rebate r;
  if (m.rowT.empty()) return r;
  r.level = medianLevel(scan, m);
  r.masked = r.level >= kLeastMaskedLevel && orangeMasked(scan, m);
  return r;
}

}  // namespace registration
