// findPictureEdges: the picture's extent across the strip.
//
// A profile across the strip, each row shifted by the tilt: how far the
// pictures' inner columns lie from the frame line's level, less how far the
// frame lines' own columns do. Inside a picture the first is the picture's
// content and the second nothing, since the frame line runs across the
// picture; everywhere else the two kinds of column show the same thing (an
// unexposed border, clear base, a sound track, the perforations), so the
// profile falls to nothing there whatever the border looks like. The
// picture's edges are its steps, searched as a pair in windows about the
// gauge's prior place, their distance within the gauge's range of apertures.

#include "stages.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace registration {

namespace {

struct Across {
  double first = 0;
  std::vector<double> inside;  // NaN where a row had too few columns of either kind
};

Across acrossProfile(const cv::Mat& gray, const StripAxes& axes, const FrameLines& lines) {
  Across out;
  const double shiftMax = std::abs(axes.slope) * gray.cols;
  const int pad = static_cast<int>(std::ceil(shiftMax)) + 1;
  out.first = -pad;
  const int bins = gray.rows + 2 * pad;
  // Which s (reduced column on the middle line) is picture (1), frame line (2) or neither.
  const int sPad = static_cast<int>(std::ceil(std::abs(axes.slope) * gray.rows)) + 1;
  std::vector<uchar> kind(gray.cols + 2 * sPad, 0);
  const double picture = lines.period - lines.width;
  for (size_t i = 0; i < kind.size(); ++i) {
    const double s = static_cast<double>(i) - sPad;
    double u = std::fmod(s - lines.phase, lines.period);
    if (u < 0) u += lines.period;
    // u: distance past a line's middle.
    const double pastLine = u - lines.width / 2;
    if (pastLine >= 0.12 * picture && pastLine <= 0.88 * picture) kind[i] = 1;
    const double fromMiddle = std::min(u, lines.period - u);
    if (fromMiddle <= std::max(0.3 * lines.width - 0.5, 0.5)) kind[i] = 2;
  }
  // |level - v| for every gray value, so the pass only adds.
  float away[256];
  for (int v = 0; v < 256; ++v) away[v] = static_cast<float>(std::abs(v - lines.level));
  std::vector<double> sum[2], weight[2];
  for (int k = 0; k < 2; ++k) sum[k].assign(bins, 0), weight[k].assign(bins, 0);
  for (int r = 0; r < gray.rows; ++r) {
    const uchar* p = gray.ptr<uchar>(r);
    const int sShift = static_cast<int>(std::lround(axes.slope * (r - axes.yMid))) + sPad;
    for (int c = 0; c < gray.cols; ++c) {
      const uchar k = kind[c + sShift];
      if (k == 0) continue;
      const double t = r - axes.slope * (c - axes.xMid) - out.first;
      const int whole = static_cast<int>(t);
      const double frac = t - whole;
      sum[k - 1][whole] += (1 - frac) * away[p[c]], weight[k - 1][whole] += 1 - frac;
      sum[k - 1][whole + 1] += frac * away[p[c]], weight[k - 1][whole + 1] += frac;
    }
  }
  double most[2] = {0, 0};
  for (int k = 0; k < 2; ++k)
    for (double w : weight[k]) most[k] = std::max(most[k], w);
  out.inside.assign(bins, NAN);
  for (int i = 0; i < bins; ++i)
    if (most[0] > 0 && most[1] > 0 && weight[0][i] >= 0.3 * most[0] && weight[1][i] >= 0.3 * most[1])
      out.inside[i] = sum[0][i] / weight[0][i] - sum[1][i] / weight[1][i];
  return out;
}

double sample(const std::vector<double>& profile, double first, double t) {
  const double i = t - first;
  if (i < 0 || i > static_cast<double>(profile.size()) - 1) return NAN;
  const size_t k = static_cast<size_t>(i);
  const double f = i - k;
  return k + 1 < profile.size() ? profile[k] * (1 - f) + profile[k + 1] * f : profile[k];
}

}  // namespace

PictureAcross findPictureEdges(const cv::Mat& gray, const StripAxes& axes, const FrameLines& lines, double topFrom,
                               double topTo, double bottomFrom, double bottomTo, double sizeMin, double sizeMax) {
  PictureAcross out;
  if (!lines.found || topTo < topFrom || bottomTo < bottomFrom) return out;
  const Across a = acrossProfile(gray, axes, lines);
  const double step = 1.0;
  // The rise into the picture at t, for a picture below (top edge) or above (bottom edge).
  auto strength = [&](double t, double inward) {
    const double in = sample(a.inside, a.first, t + inward * step), out = sample(a.inside, a.first, t - inward * step);
    return std::isnan(in) || std::isnan(out) ? -1e300 : in - out;
  };
  std::vector<std::pair<double, double>> tops, bottoms;
  for (double t = topFrom; t <= topTo; t += 0.25) tops.emplace_back(t, strength(t, 1));
  for (double t = bottomFrom; t <= bottomTo; t += 0.25) bottoms.emplace_back(t, strength(t, -1));
  double best = -1e300;
  for (const auto& top : tops)
    for (const auto& bottom : bottoms) {
      const double size = bottom.first - top.first;
      if (size < sizeMin || size > sizeMax) continue;
      if (top.second + bottom.second > best) best = top.second + bottom.second, out.top = top.first, out.bottom = bottom.first;
    }
  out.found = best > 0;
  if (getenv("DBG")) {
    fprintf(stderr, "across: level %.1f windows [%.1f,%.1f] [%.1f,%.1f] size [%.1f,%.1f] best %.2f top %.1f bottom %.1f\n", lines.level, topFrom, topTo, bottomFrom, bottomTo, sizeMin, sizeMax, best, out.top, out.bottom);
    for (double t = topFrom - 10; t <= bottomTo + 10; t += 1) fprintf(stderr, "  t %.0f in %.1f\n", t, sample(a.inside, a.first, t));
  }
  return out;
}

}  // namespace registration
