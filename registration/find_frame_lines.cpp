// findFrameLines: where the frame lines cross the strip, and how wide they are.
//
// The frame line is film the camera never exposed: one level from one side
// of the picture to the other, usually darker than the pictures (prints,
// reversal) or clearer (negatives), though a dark scene can match it or lie
// below it. A profile along the strip, taken on the scan across the middle
// of the pictures with every row shifted by the tilt so that a line falls
// into one bin, holds four things per bin: the mean, the spread about it,
// each row's own step, and the step across the pictures' top and bottom
// edges (which pause at every line). A line is a flat, even stretch of the
// gauge's width whose level departs from both flanks, whose edges step in
// every row, and at which the pictures' edges pause. Every phase and width
// the gauge allows is fitted at the frame pitch to all the lines the scan
// shows at once: the median of their scores (one wild stretch of picture
// does not carry the rest) less the spread of their levels (every line is
// the same film; a stretch of picture that looks like one changes from shot
// to shot). The best must stand clear of the best phase elsewhere in the
// frame, or the lines are not told apart from the pictures and none is
// returned.

#include "stages.hpp"

#include <algorithm>
#include <cmath>

namespace registration {

namespace {

constexpr int kFine = 4;  // integral samples a profile bin
// The best phase elsewhere in the frame must score below this share of the best.
constexpr double kClearly = 0.85;

struct Profile {
  double first = 0;                       // s of sample 0
  std::vector<double> mean, spread, step; // per bin
  std::vector<double> edge;               // per bin: the step across the picture's top and bottom edges
};

// The profile is taken on the scan itself, not the reduced copy: a frame
// line can be a tenth of a millimetre, a pixel of the copy, and there its
// level and edges would be smeared into its neighbours'. Along the strip it
// keeps a third of the copy's reduction; across it samples about a hundred
// rows of the band, enough to average grain away.
struct Grid {
  int factor;        // of the reduced copy
  int along;         // scan pixels a profile bin
  double sOffset;    // scan s of bin 0's first pixel
};

// Bin u is centred on scan s = sOffset + u along + (along - 1) / 2.
double toReduced(const Grid& g, double bins) {
  return (g.sOffset + bins * g.along + (g.along - 1) / 2.0 - (g.factor - 1) / 2.0) / g.factor;
}

// Calls visit(gray of the row's pixels, first column, last column, bin of
// column 0 times `along` plus offset) for every sampled scan row of the band.
template <class Visit>
void forBand(const cv::Mat& scan, const Grid& g, const StripAxes& axes, const PictureBand& band, Visit visit) {
  const double f = g.factor, half = (f - 1) / 2;
  const double xMid = f * axes.xMid + half, yMid = f * axes.yMid + half;
  const double from = f * band.from + half, to = f * band.to + half;
  const int first = std::max(0, static_cast<int>(std::ceil(std::min(from, to) - std::abs(axes.slope) * scan.cols)));
  const int last = std::min(scan.rows - 1, static_cast<int>(std::floor(std::max(from, to) + std::abs(axes.slope) * scan.cols)));
  const int stride = std::max(1, static_cast<int>((to - from) / 96));
  std::vector<uchar> row(scan.cols);
  for (int r = first; r <= last; r += stride) {
    double xLo = 0, xHi = scan.cols - 1;
    if (axes.slope == 0) {
      if (r < from || r > to) continue;
    } else {
      const double a = xMid + (r - from) / axes.slope, b = xMid + (r - to) / axes.slope;
      xLo = std::max(xLo, std::min(a, b)), xHi = std::min(xHi, std::max(a, b));
    }
    if (xHi < xLo) continue;
    const uchar* p = scan.ptr<uchar>(r);
    if (scan.channels() == 3) {
      for (int c = 0; c < scan.cols; ++c, p += 3)
        row[c] = static_cast<uchar>(0.114 * p[0] + 0.587 * p[1] + 0.299 * p[2] + 0.5);
      p = row.data();
    }
    const long shift = std::lround(axes.slope * (r - yMid) - g.sOffset);
    visit(p, static_cast<int>(std::ceil(xLo)), static_cast<int>(std::floor(xHi)), shift);
  }
}

// The mean across the band of every bin; its spread, the mean departure
// from that mean; and its step, the mean of each row's own step across the
// bin (the difference of its neighbours a bin away). Each pixel's departure
// and step is capped, so that a scratch along the strip or a speck of dust
// (a few wild pixels in every column alike) does not hide how even the frame
// line is. A frame line's edge is a step in every row where the picture
// differs from the line, however faintly and whichever way, while the mean
// of a dark scene's rows may barely move. Two passes over the sampled rows.
Profile alongProfile(const cv::Mat& scan, const Grid& g, const StripAxes& axes, const PictureBand& band) {
  Profile out;
  const int bins = static_cast<int>((scan.cols + 2 * std::abs(axes.slope) * scan.rows) / g.along) + 3;
  std::vector<double> sum(bins, 0), count(bins, 0), away(bins, 0), step(bins, 0);
  auto binOf = [&](int c, long shift) { return static_cast<int>((c + shift) / g.along); };
  forBand(scan, g, axes, band, [&](const uchar* p, int c0, int c1, long shift) {
    for (int c = c0; c <= c1; ++c) {
      const int i = binOf(c, shift);
      sum[i] += p[c], count[i] += 1;
    }
  });
  double most = 0;
  for (double n : count) most = std::max(most, n);
  std::vector<double> mean(bins, 0);
  for (int i = 0; i < bins; ++i)
    if (count[i] > 0) mean[i] = sum[i] / count[i];
  constexpr double kCap = 24;
  const int a = g.along;
  forBand(scan, g, axes, band, [&](const uchar* p, int c0, int c1, long shift) {
    for (int c = c0; c <= c1; ++c) {
      const int i = binOf(c, shift);
      away[i] += std::min(kCap, std::abs(p[c] - mean[i]));
      if (c >= a && c + a < scan.cols) step[i] += std::min(2 * kCap, std::abs(static_cast<double>(p[c + a]) - p[c - a]));
    }
  });
  out.first = 0;
  out.mean.assign(bins, NAN), out.spread.assign(bins, NAN), out.step.assign(bins, NAN);
  for (int i = 0; i < bins; ++i)
    if (count[i] >= 0.5 * most && most > 0)
      out.mean[i] = mean[i], out.spread[i] = away[i] / count[i], out.step[i] = step[i] / count[i];
  return out;
}

// How much every bin steps across the picture's top and bottom edges (the
// difference of the rows a reduced pixel either side, at three places about
// each edge in case it is a pixel off). A picture's columns step there from
// picture to frame area; a frame line's columns do not, being frame area
// above, inside and below: the edges pause at every line, whatever the
// picture shows between them.
std::vector<double> edgeSteps(const cv::Mat& scan, const Grid& g, const StripAxes& axes, const PictureAcross& rough,
                              int bins) {
  std::vector<double> sum(bins, 0), count(bins, 0), out(bins, NAN);
  if (!rough.found) return out;
  const double f = g.factor, half = (f - 1) / 2;
  const double xMid = f * axes.xMid + half, yMid = f * axes.yMid + half;
  const int reach = std::max(1, g.factor);
  auto gray = [&](int r, int c) {
    const uchar* p = scan.ptr<uchar>(r);
    if (scan.channels() == 1) return static_cast<double>(p[c]);
    p += 3 * c;
    return 0.114 * p[0] + 0.587 * p[1] + 0.299 * p[2];
  };
  for (double t : {rough.top, rough.bottom}) {
    const double y0 = f * t + half;
    for (int c = 0; c < scan.cols; ++c) {
      const double y = y0 + axes.slope * (c - xMid);
      const long shift = std::lround(axes.slope * (y - yMid) - g.sOffset);
      const int i = static_cast<int>((c + shift) / g.along);
      if (i < 0 || i >= bins) continue;
      for (int k = -1; k <= 1; ++k) {
        const int r = static_cast<int>(std::lround(y + k * f / 2.0));
        if (r - reach < 0 || r + reach >= scan.rows) continue;
        sum[i] += std::min(48.0, std::abs(gray(r + reach, c) - gray(r - reach, c))), count[i] += 1;
      }
    }
  }
  for (int i = 0; i < bins; ++i)
    if (count[i] > 0) out[i] = sum[i] / count[i];
  return out;
}

// Running integrals of a profile sampled kFine times a pixel, for means over
// any fractional range; NaN ranges (beyond the scan) stay NaN.
struct Integral {
  double first;
  std::vector<double> cumulative;  // cumulative[i]: sum of the first i fine samples / kFine
  double mean(double from, double to) const {
    const double a = (from - first) * kFine, b = (to - first) * kFine;
    if (a < 0 || b > static_cast<double>(cumulative.size()) - 1 || b <= a) return NAN;
    auto at = [&](double i) {
      const size_t k = static_cast<size_t>(i);
      const double f = i - k;
      return k + 1 < cumulative.size() ? cumulative[k] * (1 - f) + cumulative[k + 1] * f : cumulative[k];
    };
    return (at(b) - at(a)) * kFine / (b - a);
  }
};

Integral integralOf(const std::vector<double>& values, double first) {
  Integral out;
  out.first = first - 0.5;  // bin i covers [i - 0.5, i + 0.5)
  out.cumulative.assign(values.size() * kFine + 1, 0);
  for (size_t i = 0; i < values.size(); ++i)
    for (int k = 0; k < kFine; ++k) {
      const size_t j = i * kFine + k;
      out.cumulative[j + 1] = out.cumulative[j] + values[i] / kFine;
    }
  return out;
}

// One line at centre c of the given width. Four things mark it: it is a
// flat stretch whose level departs from both flanks (the lesser departure
// counts, less how far its two halves differ, so a single rise straddled
// scores nothing); it is even across the band while the pictures beside it
// are not (the lesser flank's spread less the line's); both its edges are
// steps in every row (the lesser edge's step less the step inside the
// line); and the pictures' top and bottom edges pause at it (the lesser
// flank's edge step less the line's). Which way the level departs is free, and may differ between its
// sides: a gray line between a bright and a dark picture is a stair, and a
// night scene can lie below the line's level and the next shot far above it.
struct Line {
  double score = NAN, level = 0;
};

struct Profiles {
  const Integral &mean, &spread, &step, &edge;
};

Line lineAt(const Profiles& p, double c, double width, double flank) {
  const double gap = 0.75;  // the edge's blur, left out of both sides
  const double inner = std::max(0.25, width / 2 - gap / 2);
  const double line = p.mean.mean(c - inner, c + inner), lineSpread = p.spread.mean(c - inner, c + inner);
  const double leftFrom = c - width / 2 - gap - flank, leftTo = c - width / 2 - gap;
  const double rightFrom = c + width / 2 + gap, rightTo = c + width / 2 + gap + flank;
  const double left = p.mean.mean(leftFrom, leftTo), right = p.mean.mean(rightFrom, rightTo);
  const double leftSpread = p.spread.mean(leftFrom, leftTo), rightSpread = p.spread.mean(rightFrom, rightTo);
  const double leftEdge = p.step.mean(c - width / 2 - 0.5, c - width / 2 + 0.5);
  const double rightEdge = p.step.mean(c + width / 2 - 0.5, c + width / 2 + 0.5);
  const double inside = width > 3 ? p.step.mean(c - width / 2 + 1.5, c + width / 2 - 1.5) : NAN;
  const double floor = std::isnan(inside) ? std::min(p.step.mean(leftFrom, leftTo), p.step.mean(rightFrom, rightTo)) : inside;
  Line out;
  if (std::isnan(line) || std::isnan(left) || std::isnan(right) || std::isnan(lineSpread) || std::isnan(leftSpread) ||
      std::isnan(rightSpread) || std::isnan(leftEdge) || std::isnan(rightEdge) || std::isnan(floor))
    return out;
  // A flat stretch: its two halves at one level, so that a step straddled is no line.
  const double tilt = std::abs(p.mean.mean(c - inner, c) - p.mean.mean(c, c + inner));
  const double contrast = std::min(std::abs(left - line), std::abs(right - line)) - 2 * tilt;
  const double pause = std::min(p.edge.mean(leftFrom, leftTo), p.edge.mean(rightFrom, rightTo)) - p.edge.mean(c - inner, c + inner);
  out.score = contrast + std::min(leftSpread, rightSpread) - lineSpread + std::min(leftEdge, rightEdge) - floor + pause;
  out.level = line;
  return out;
}

// Every line of the given phase and period the profile holds: the median
// of their scores (one wild stretch of picture does not carry the rest) less
// the spread of their levels, since every frame line is the same unexposed
// film while a stretch of picture that looks like one changes from shot to
// shot.
struct Periodic {
  double value = -1e300, level = 0;
  int count = 0;
};

Periodic periodicScore(const std::vector<Line>& lines) {
  Periodic out;
  std::vector<double> scores;
  double sum = 0, sumSq = 0;
  for (const Line& l : lines) {
    if (std::isnan(l.score)) continue;
    scores.push_back(l.score), sum += l.level, sumSq += l.level * l.level;
  }
  out.count = static_cast<int>(scores.size());
  if (out.count == 0) return out;
  std::sort(scores.begin(), scores.end());
  const size_t n = scores.size();
  const double median = n % 2 ? scores[n / 2] : (scores[n / 2 - 1] + scores[n / 2]) / 2;
  const double level = sum / static_cast<double>(n);
  out.value = median - std::sqrt(std::max(0.0, sumSq / static_cast<double>(n) - level * level));
  out.level = level;
  return out;
}

std::vector<Line> linesOf(const Profiles& p, double phase, double period, double width, double flank, double sMin,
                          double sMax) {
  std::vector<Line> out;
  const double reach = width / 2 + 0.75 + flank;
  for (double c = phase - std::floor((phase - reach - sMin) / period) * period; c + reach <= sMax; c += period)
    out.push_back(lineAt(p, c, width, flank));
  return out;
}

}  // namespace

FrameLines findFrameLines(const cv::Mat& scan, int factor, const StripAxes& axes, const PictureBand& band,
                          const PictureAcross& rough, double periodMin, double periodMax, double widthMin,
                          double widthMax) {
  FrameLines out;
  out.period = (periodMin + periodMax) / 2;
  if (!(periodMin > 4) || !(periodMax >= periodMin) || band.to - band.from < 2) return out;
  // From here on lengths are in profile bins; the result goes back to the reduced copy's pixels.
  const Grid grid{factor, std::max(1, factor / 3), -std::ceil(std::abs(axes.slope) * scan.rows) - 1};
  const double toBin = static_cast<double>(factor) / grid.along;
  periodMin *= toBin, periodMax *= toBin, widthMin *= toBin, widthMax *= toBin;
  out.period *= toBin;
  Profile profile = alongProfile(scan, grid, axes, band);
  profile.edge = edgeSteps(scan, grid, axes, rough, static_cast<int>(profile.mean.size()));
  size_t lo = 0, hi = profile.mean.size();
  while (lo < hi && std::isnan(profile.mean[lo])) ++lo;
  while (hi > lo && std::isnan(profile.mean[hi - 1])) --hi;
  if (hi - lo < 8) return out;
  const std::vector<double> mean(profile.mean.begin() + lo, profile.mean.begin() + hi);
  const std::vector<double> spread(profile.spread.begin() + lo, profile.spread.begin() + hi);
  const std::vector<double> step(profile.step.begin() + lo, profile.step.begin() + hi);
  std::vector<double> edge(profile.edge.begin() + lo, profile.edge.begin() + hi);
  for (double& e : edge)
    if (std::isnan(e)) e = 0;  // no edges known: the cue adds nothing
  const double first = profile.first + static_cast<double>(lo);
  const Integral meanI = integralOf(mean, first), spreadI = integralOf(spread, first), stepI = integralOf(step, first);
  const Integral edgeI = integralOf(edge, first);
  const Profiles profiles{meanI, spreadI, stepI, edgeI};
  const double sMin = first - 0.5, sMax = first + static_cast<double>(mean.size()) - 0.5;
  const double flank = std::max(1.5, 0.04 * periodMin);
  widthMin = std::max(0.5, widthMin);
  widthMax = std::max(widthMin, widthMax);
  const double wStep = std::max(0.5, (widthMax - widthMin) / 8);

  // Each place's best single line over the widths, a bin apart.
  constexpr double kStep = 1;
  const int places = static_cast<int>((sMax - sMin) / kStep) + 1;
  std::vector<Line> best(places);
  for (int i = 0; i < places; ++i)
    for (double w = widthMin; w <= widthMax + 1e-9; w += wStep) {
      const Line l = lineAt(profiles, sMin + i * kStep, w, flank);
      if (!std::isnan(l.score) && !(l.score <= best[i].score)) best[i] = l;
    }
  // The phase and period whose lines score best together.
  const double periodStep = periodMax > periodMin ? 0.25 : 1;
  double bestValue = -1e300, bestPhase = 0, bestPeriod = out.period;
  std::vector<Line> picked;
  std::vector<double> values;  // per phase, at the period of the best
  for (double period = periodMin; period <= periodMax + 1e-9; period += periodStep)
    for (int i = 0; i < places && i * kStep < period; ++i) {
      picked.clear();
      for (double j = i; j < places - 0.5; j += period / kStep) picked.push_back(best[static_cast<size_t>(std::lround(j))]);
      const Periodic p = periodicScore(picked);
      // A period is only measured by two lines or more; one line keeps the middle period.
      if (p.count == 0 || (p.count < 2 && std::abs(period - out.period) > periodStep)) continue;
      if (p.value > bestValue) bestValue = p.value, bestPhase = sMin + i * kStep, bestPeriod = period;
    }
  if (bestValue <= -1e299) return out;
  // How the other phases of that period score: the lines must stand out of
  // them, and clearly out of the best of them elsewhere in the frame.
  double runnerUp = -1e300;
  const double apart = widthMax + 2 * flank + 2;
  for (int i = 0; i < places && i * kStep < bestPeriod; ++i) {
    picked.clear();
    for (double j = i; j < places - 0.5; j += bestPeriod / kStep) picked.push_back(best[static_cast<size_t>(std::lround(j))]);
    const Periodic p = periodicScore(picked);
    if (p.count == 0) continue;
    values.push_back(p.value);
    double d = std::fmod(std::abs(sMin + i * kStep - bestPhase), bestPeriod);
    d = std::min(d, bestPeriod - d);
    if (d > apart) runnerUp = std::max(runnerUp, p.value);
  }
  std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
  const double typical = values.empty() ? bestValue : values[values.size() / 2];

  // One width for every line, then the phase, the period and the width again
  // to a tenth of a bin, one at a time.
  Periodic top;
  double phase = bestPhase, period = bestPeriod, width = widthMin;
  auto tryAt = [&](double c, double p, double w) {
    const Periodic s = periodicScore(linesOf(profiles, c, p, w, flank, sMin, sMax));
    if (s.value > top.value) top = s, phase = c, period = p, width = w;
  };
  for (double w = widthMin; w <= widthMax + 1e-9; w += wStep / 2) tryAt(bestPhase, bestPeriod, w);
  const double w0 = width;
  for (double c = bestPhase - kStep; c <= bestPhase + kStep + 1e-9; c += 0.1) tryAt(c, bestPeriod, w0);
  const double c0 = phase;
  if (periodMax > periodMin)
    for (double p = bestPeriod - 0.3; p <= bestPeriod + 0.3 + 1e-9; p += 0.1) tryAt(c0, p, w0);
  const double p0 = period;
  for (double w = std::max(widthMin, w0 - wStep / 2); w <= std::min(widthMax, w0 + wStep / 2) + 1e-9; w += wStep / 8)
    tryAt(c0, p0, w);
  out.found = top.value - typical > 2.0 && !(runnerUp > kClearly * bestValue);
  out.rivalShare = bestValue > 0 ? runnerUp / bestValue : 1;
  phase = toReduced(grid, phase), period /= toBin, width /= toBin;

  out.phase = phase;
  out.period = period;
  out.width = width;
  out.level = top.level;

  return out;
}

}  // namespace registration
