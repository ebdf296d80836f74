// findPictureEdges: the picture's extent across the strip.
//
// Two profiles across the strip, each row shifted by the tilt: the mean of
// the pictures' inner columns, and the mean of the frame lines' columns. The
// picture's edge is a step from the unexposed border (the frame line's
// level) into picture. Two things beside a picture step like that too: the
// sound track's edge and the perforation row's; both are told apart by the
// frame line, which runs across the picture only: just inside a true edge
// the frame line's columns are still at the line's level, inside a sound
// track they are not. The two edges are searched as a pair in windows about
// the gauge's prior place, the pair's distance within the gauge's range of
// apertures.

#include "stages.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace registration {

namespace {

struct Across {
  double first = 0;
  std::vector<double> picture, line;  // NaN where a row had too few columns
};

Across acrossProfiles(const cv::Mat& gray, const StripAxes& axes, const FrameLines& lines) {
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
    if (fromMiddle <= std::max(0.3 * lines.width - 0.5, 0.3)) kind[i] = 2;
  }
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
      sum[k - 1][whole] += (1 - frac) * p[c], weight[k - 1][whole] += 1 - frac;
      sum[k - 1][whole + 1] += frac * p[c], weight[k - 1][whole + 1] += frac;
    }
  }
  for (int k = 0; k < 2; ++k) {
    double most = 0;
    for (double w : weight[k]) most = std::max(most, w);
    std::vector<double>& profile = k == 0 ? out.picture : out.line;
    profile.assign(bins, NAN);
    for (int i = 0; i < bins; ++i)
      if (most > 0 && weight[k][i] >= 0.3 * most) profile[i] = sum[k][i] / weight[k][i];
  }
  return out;
}

double sample(const std::vector<double>& profile, double first, double t) {
  const double i = t - first;
  if (i < 0 || i > static_cast<double>(profile.size()) - 1) return NAN;
  const size_t k = static_cast<size_t>(i);
  const double f = i - k;
  return k + 1 < profile.size() ? profile[k] * (1 - f) + profile[k + 1] * f : profile[k];
}

double meanOver(const std::vector<double>& profile, double first, double from, double to) {
  double sum = 0;
  int n = 0;
  for (double t = from; t <= to + 1e-9; t += 0.5) {
    const double v = sample(profile, first, t);
    if (std::isnan(v)) return NAN;
    sum += v, ++n;
  }
  return n ? sum / n : NAN;
}

}  // namespace

PictureAcross findPictureEdges(const cv::Mat& gray, const StripAxes& axes, const FrameLines& lines, double topFrom,
                               double topTo, double bottomFrom, double bottomTo, double sizeMin, double sizeMax) {
  PictureAcross out;
  if (!lines.found || topTo < topFrom || bottomTo < bottomFrom) return out;
  const Across a = acrossProfiles(gray, axes, lines);
  const double dark = lines.dark ? 1 : -1;
  // The line's level over the middle of the picture band.
  const double level = meanOver(a.line, a.first, topTo, bottomFrom);
  if (std::isnan(level)) return out;
  const double step = 1.0, reach = 2.0;
  // Edge strength at t for a picture below (top edge) or above (bottom edge).
  auto strength = [&](double t, double inward) {
    const double inside = sample(a.picture, a.first, t + inward * step), outside = sample(a.picture, a.first, t - inward * step);
    const double lineInside = meanOver(a.line, a.first, std::min(t + inward * step, t + inward * (step + reach)),
                                       std::max(t + inward * step, t + inward * (step + reach)));
    if (std::isnan(inside) || std::isnan(outside) || std::isnan(lineInside)) return -1e300;
    return dark * (inside - outside) - std::abs(lineInside - level);
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
    fprintf(stderr, "across: level %.1f windows [%.1f,%.1f] [%.1f,%.1f] size [%.1f,%.1f] best %.2f top %.1f bottom %.1f\n", level, topFrom, topTo, bottomFrom, bottomTo, sizeMin, sizeMax, best, out.top, out.bottom);
    for (double t = topFrom - 10; t <= bottomTo + 10; t += 1) fprintf(stderr, "  t %.0f pic %.1f line %.1f\n", t, sample(a.picture, a.first, t), sample(a.line, a.first, t));
  }
  return out;
}

}  // namespace registration
