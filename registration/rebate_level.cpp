// rebateLevel: how bright film the camera never exposed shows on this scan,
// read on the rows of holes between the holes.
//
// A frame line is film the camera never exposed. On a negative it keeps the
// clear, masked base; on reversal film and on a print it is as dark as the
// film gets. Either way it is never much brighter than the rebate along the
// holes, which the camera never exposed either, while a bright band inside a
// picture (a window, a sky) may be. The rebate is read along the middle of
// each row of holes, the holes themselves left out, as the median, so that
// edge lettering between the holes does not move it.

#include "stages.hpp"

#include <algorithm>
#include <cmath>

namespace registration {

double rebateLevel(const cv::Mat& scan, const StripMeasure& m) {
  if (m.rowT.empty()) return NAN;
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

}  // namespace registration
