// findPictureEdges: the picture's extent across the strip.
//
// A profile across the strip, each row shifted by the tilt: how far the
// pictures' inner columns lie from the frame line's level, less how far the
// frame lines' own columns do. Inside a picture the first is the picture's
// content and the second nothing, since the frame line runs across the
// picture; everywhere else the two kinds of column show the same thing (an
// unexposed border, clear base, a sound track, the perforations), so the
// profile falls to nothing there whatever the border looks like. The
// picture's edges are its steps (three rows in against three out, so that a
// scratch is no edge), each the strongest in a window about the gauge's
// prior place. Two clear steps a plausible height apart are taken as they
// are; an edge lost in a scene at the border's level is placed from the
// other at the height the picture's measured length and the aperture's
// shape give. roughPictureEdges finds a first pair before the frame lines
// are known, from the steps of all columns.

#include "stages.hpp"

#include <algorithm>
#include <cmath>

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

// Each row's mean step across the strip (its neighbours' difference), over
// every column, rows shifted by the tilt.
Across rowSteps(const cv::Mat& gray, const StripAxes& axes) {
  Across out;
  const int pad = static_cast<int>(std::ceil(std::abs(axes.slope) * gray.cols)) + 1;
  out.first = -pad;
  const int bins = gray.rows + 2 * pad;
  std::vector<double> sum(bins, 0), weight(bins, 0);
  for (int r = 1; r + 1 < gray.rows; ++r) {
    const uchar* above = gray.ptr<uchar>(r - 1);
    const uchar* below = gray.ptr<uchar>(r + 1);
    for (int c = 0; c < gray.cols; ++c) {
      const double t = r - axes.slope * (c - axes.xMid) - out.first;
      const int whole = static_cast<int>(t);
      const double frac = t - whole, v = std::abs(static_cast<double>(below[c]) - above[c]);
      sum[whole] += (1 - frac) * v, weight[whole] += 1 - frac;
      sum[whole + 1] += frac * v, weight[whole + 1] += frac;
    }
  }
  double most = 0;
  for (double w : weight) most = std::max(most, w);
  out.inside.assign(bins, NAN);
  for (int i = 0; i < bins; ++i)
    if (most > 0 && weight[i] >= 0.5 * most) out.inside[i] = sum[i] / weight[i];
  return out;
}

}  // namespace

PictureAcross roughPictureEdges(const cv::Mat& gray, const StripAxes& axes, double topFrom, double topTo,
                                double bottomFrom, double bottomTo, double sizeMin, double sizeMax) {
  PictureAcross out;
  if (topTo < topFrom || bottomTo < bottomFrom) return out;
  const Across a = rowSteps(gray, axes);
  double best = -1e300;
  for (double top = topFrom; top <= topTo; top += 0.5)
    for (double bottom = std::max(bottomFrom, top + sizeMin); bottom <= std::min(bottomTo, top + sizeMax); bottom += 0.5) {
      const double v = sample(a.inside, a.first, top) + sample(a.inside, a.first, bottom);
      if (v > best) best = v, out.top = top, out.bottom = bottom;
    }
  out.found = best > 0 && best < 1e300;
  return out;
}

PictureAcross findPictureEdges(const cv::Mat& gray, const StripAxes& axes, const FrameLines& lines, double topFrom,
                               double topTo,
                               double bottomFrom, double bottomTo, double sizeMin, double sizeExpected, double sizeMax) {
  PictureAcross out;
  if (!lines.found || topTo < topFrom || bottomTo < bottomFrom) return out;
  const Across a = acrossProfile(gray, axes, lines);
  // The rise into the picture at t, for a picture below (top edge) or above (bottom edge): the mean of
  // three rows inside less three outside, so that a scratch along the strip is no edge.
  auto strength = [&](double t, double inward) {
    double in = 0, out = 0;
    for (int k = 1; k <= 3; ++k) {
      in += sample(a.inside, a.first, t + inward * k), out += sample(a.inside, a.first, t - inward * k);
    }
    return std::isnan(in) || std::isnan(out) ? -1e300 : (in - out) / 3;
  };
  // Each edge's strongest step in its window.
  auto strongest = [&](double from, double to, double inward, double& at) {
    double best = -1e300;
    for (double t = from; t <= to; t += 0.25) {
      const double v = strength(t, inward);
      if (v > best) best = v, at = t;
    }
    return best;
  };
  double top = topFrom, bottom = bottomTo;
  const double topStep = strongest(topFrom, topTo, 1, top), bottomStep = strongest(bottomFrom, bottomTo, -1, bottom);
  // How far the picture's rows stand out in its middle: an edge is trusted when it rises by a good part of that.
  std::vector<double> middle;
  for (double t = topTo; t <= bottomFrom; t += 1) {
    const double v = sample(a.inside, a.first, t);
    if (!std::isnan(v)) middle.push_back(v);
  }
  if (middle.empty()) return out;
  std::nth_element(middle.begin(), middle.begin() + middle.size() / 2, middle.end());
  const double trust = std::max(1.0, 0.35 * middle[middle.size() / 2]);
  const bool topSure = topStep >= trust, bottomSure = bottomStep >= trust;
  const double size = bottom - top;
  double best = -1e300;
  if (topSure && bottomSure && size >= sizeMin && size <= sizeMax) {
    out.top = top, out.bottom = bottom, best = topStep + bottomStep;
  } else if (topSure && bottomSure) {
    // Both clear but of a size no aperture has: the best pair that has one.
    for (double t = topFrom; t <= topTo; t += 0.25)
      for (double b = std::max(bottomFrom, t + sizeMin); b <= std::min(bottomTo, t + sizeMax); b += 0.25) {
        const double v = strength(t, 1) + strength(b, -1);
        if (v > best) best = v, out.top = t, out.bottom = b;
      }
  } else if (topSure || bottomSure) {
    // One edge lost in a scene at the border's level: the other and the expected height.
    out.top = topSure ? top : bottom - sizeExpected;
    out.bottom = topSure ? top + sizeExpected : bottom;
    best = std::max(topStep, bottomStep);
  }
  out.found = best >= trust;

  return out;
}

}  // namespace registration
