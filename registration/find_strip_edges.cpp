// findStripEdges: the strip's two long edges, where scanner background shows
// beyond them.
//
// Beyond the strip the scan shows its background (the light or the lid, as
// the holes do), so the edge is the first step away from the level the
// scan starts with at either end. The copy is cut into slices along the
// strip; in each slice the mean of every row gives a profile across, and the
// first lasting departure from the end's level is that slice's edge.
// A line through the slices' edges (at the holes' slope when that is known)
// is kept only when most slices agree on it, so a strip that fills the scan
// across, or a torn edge, gives no edge rather than a wrong one.

#include "stages.hpp"

#include <algorithm>
#include <cmath>

namespace registration {

namespace {

constexpr int kSlices = 16;
constexpr double kLeastEdgeStep = 6;  // grey levels
constexpr double kEdgesAgree = 0.005;  // difference of slopes, about 0.3 degrees

double median(std::vector<double> v) {
  std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
  return v[v.size() / 2];
}

// Walking in from one end: the first row that departs from the background
// (the mean of the first three) for good, and there the steepest step. A
// half-way level would not do: under uneven light the base at this edge may
// be nearer the background than the base measured around the holes.
double edgeFrom(const std::vector<double>& profile, bool fromTop, double minStep) {
  const int n = static_cast<int>(profile.size());
  if (n < 8) return NAN;
  auto at = [&](int i) { return profile[fromTop ? i : n - 1 - i]; };
  const double background = (at(0) + at(1) + at(2)) / 3;
  int departure = -1;
  for (int i = 3; i + 2 < n; ++i)
    if (std::abs(at(i) - background) > minStep && std::abs(at(i + 1) - background) > minStep &&
        std::abs(at(i + 2) - background) > minStep) {
      departure = i;
      break;
    }
  if (departure < 0) return NAN;
  int best = -1;
  double steepest = 0;
  for (int i = std::max(1, departure - 3); i <= std::min(n - 2, departure + 1); ++i) {
    const double step = std::abs(at(i + 1) - at(i - 1));
    if (step > steepest) steepest = step, best = i;
  }
  if (best < 0) return NAN;
  // Parabola through the steepest step and its neighbours.
  double offset = 0;
  if (best >= 2 && best + 2 < n) {
    const double a = std::abs(at(best) - at(best - 2)), b = steepest, c = std::abs(at(best + 2) - at(best));
    const double den = a - 2 * b + c;
    if (den < 0) offset = std::clamp(0.5 * (a - c) / den, -0.5, 0.5);
  }
  const double position = best + offset;
  return fromTop ? position : n - 1 - position;
}

std::optional<StripLine> lineThrough(const std::vector<cv::Point2d>& points, double slope, bool slopeKnown) {
  if (points.size() < kSlices / 2) return std::nullopt;
  if (!slopeKnown) {
    // The slope as the median of the slopes between slices half the scan apart.
    std::vector<double> slopes;
    const size_t half = points.size() / 2;
    for (size_t i = 0; i + half < points.size(); ++i)
      slopes.push_back((points[i + half].y - points[i].y) / (points[i + half].x - points[i].x));
    slope = median(slopes);
  }
  std::vector<double> intercepts;
  for (const cv::Point2d& p : points) intercepts.push_back(p.y - slope * p.x);
  const double intercept = median(intercepts);
  // Least squares over the slices that agree with the median line.
  std::vector<cv::Point2d> agree;
  for (const cv::Point2d& p : points)
    if (std::abs(p.y - slope * p.x - intercept) <= 1.5) agree.push_back(p);
  if (agree.size() < kSlices / 2) return std::nullopt;
  StripLine line;
  double sx = 0, sy = 0, sxx = 0, sxy = 0;
  for (const cv::Point2d& p : agree) sx += p.x, sy += p.y, sxx += p.x * p.x, sxy += p.x * p.y;
  const double n = static_cast<double>(agree.size());
  const double den = n * sxx - sx * sx;
  line.slope = slopeKnown || den <= 0 ? slope : (n * sxy - sx * sy) / den;
  line.intercept = (sy - line.slope * sx) / n;
  return line;
}

// The line through the slices' edges on one side, walking in from that end.
std::optional<StripLine> edgeLine(const SliceProfiles& slices, bool fromTop, double minStep, double slope,
                                  bool slopeKnown) {
  std::vector<cv::Point2d> points;
  for (size_t s = 0; s < slices.profiles.size(); ++s) {
    const double e = edgeFrom(slices.profiles[s], fromTop, minStep);
    if (!std::isnan(e)) points.emplace_back(slices.middles[s], e);
  }
  return lineThrough(points, slope, slopeKnown);
}

}  // namespace

SliceProfiles sliceProfiles(const cv::Mat& gray) {
  SliceProfiles out;
  if (gray.cols < kSlices || gray.rows < 8) return out;
  // Row means of each slice, one pass over the copy.
  out.profiles.assign(kSlices, std::vector<double>(gray.rows, 0));
  std::vector<int> widths(kSlices, 0);
  std::vector<int> sliceOf(gray.cols);
  for (int c = 0; c < gray.cols; ++c) sliceOf[c] = c * kSlices / gray.cols, ++widths[sliceOf[c]];
  for (int r = 0; r < gray.rows; ++r) {
    const uchar* p = gray.ptr<uchar>(r);
    for (int c = 0; c < gray.cols; ++c) out.profiles[sliceOf[c]][r] += p[c];
  }
  for (int s = 0; s < kSlices; ++s) {
    for (double& v : out.profiles[s]) v /= widths[s];
    out.middles.push_back((s * gray.cols) / static_cast<double>(kSlices) + (widths[s] - 1) / 2.0);
  }
  return out;
}

StripEdges findStripEdges(const SliceProfiles& slices, double slope, bool slopeKnown, const HoleRow& row) {
  StripEdges out;
  if (slices.profiles.empty()) return out;
  // The step an edge must make grows with the holes' contrast, so that a
  // light band or lettering on the film is not taken for its edge. But a lone
  // hole of strong contrast can set a step that the film's edge, against a
  // light near the film's own base, never reaches: a side left without an
  // edge is tried again at half the step, then at the least step, and kept
  // only where the two edges then lie parallel, as a strip's edges do. Half
  // the step first: at the least, the light's own falloff towards the scan's
  // end may pass for the other side's edge.
  const double minStep = std::max(kLeastEdgeStep, 0.25 * row.contrast);
  out.top = edgeLine(slices, true, minStep, slope, slopeKnown);
  out.bottom = edgeLine(slices, false, minStep, slope, slopeKnown);
  const bool retryTop = !out.top, retryBottom = !out.bottom;
  if (minStep > kLeastEdgeStep && (retryTop || retryBottom)) {
    bool agree = false;
    for (const double step : {std::max(kLeastEdgeStep, minStep / 2), kLeastEdgeStep}) {
      if (retryTop) out.top = edgeLine(slices, true, step, slope, slopeKnown);
      if (retryBottom) out.bottom = edgeLine(slices, false, step, slope, slopeKnown);
      agree = out.top && out.bottom && std::abs(out.top->slope - out.bottom->slope) <= kEdgesAgree;
      if (agree || step == kLeastEdgeStep) break;
    }
    if (!agree && retryTop) out.top.reset();
    if (!agree && retryBottom) out.bottom.reset();
  }
  if (out.top && out.bottom && out.bottom->intercept - out.top->intercept < 4 * row.size.height) out.top.reset(), out.bottom.reset();
  return out;
}

}  // namespace registration
