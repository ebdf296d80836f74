// findFrameLines: where the frame lines cross the strip, and how wide they are.
//
// The frame line is film the camera never exposed, so it is the extreme of
// the picture band: the darkest thing on a print or reversal film, the
// clearest on a negative. A profile along the strip (means of the picture
// band taken across, each row shifted by the tilt so that a frame line falls
// into one bin) shows it as a flat valley (or ridge) between two flanks of
// picture. The search fits that shape at every phase and width the gauge
// allows, at the frame pitch, to every line the scan shows at once:
//   contrast = the lesser of the two flanks' departures from the line's level,
// so a strong rise inside a picture (one flank only) scores nothing, and a
// bright figure at a picture's edge only raises one flank. Columns that vary
// across the band (picture content) are marked down, since the frame line is
// the same from one side of the picture to the other.

#include "stages.hpp"

#include <algorithm>
#include <cmath>

namespace registration {

namespace {

constexpr int kFine = 4;  // profile samples a reduced pixel

struct Profile {
  double first = 0;                 // s of sample 0
  std::vector<double> mean, spread; // per reduced pixel
};

// Means and spreads across the band of every s bin, one pass over the band's rows.
Profile alongProfile(const cv::Mat& gray, const StripAxes& axes, const PictureBand& band) {
  Profile out;
  const double shiftMax = std::abs(axes.slope) * gray.rows;
  out.first = -std::ceil(shiftMax) - 1;
  const int bins = gray.cols + 2 * (static_cast<int>(std::ceil(shiftMax)) + 1);
  std::vector<double> sum(bins, 0), sumSq(bins, 0), weight(bins, 0);
  for (int r = 0; r < gray.rows; ++r) {
    // Columns of this row inside the band: t = r - slope (x - xMid) within [from, to].
    double xLo = 0, xHi = gray.cols - 1;
    if (axes.slope == 0) {
      if (r < band.from || r > band.to) continue;
    } else {
      const double a = axes.xMid + (r - band.from) / axes.slope, b = axes.xMid + (r - band.to) / axes.slope;
      xLo = std::max(xLo, std::min(a, b)), xHi = std::min(xHi, std::max(a, b));
    }
    if (xHi < xLo) continue;
    const double shift = axes.slope * (r - axes.yMid) - out.first;
    const int whole = static_cast<int>(std::floor(shift));
    const double frac = shift - whole, keep = 1 - frac;
    const uchar* p = gray.ptr<uchar>(r);
    const int c0 = static_cast<int>(std::ceil(xLo)), c1 = static_cast<int>(std::floor(xHi));
    for (int c = c0; c <= c1; ++c) {
      const double v = p[c];
      const int i = c + whole;
      sum[i] += keep * v, sumSq[i] += keep * v * v, weight[i] += keep;
      sum[i + 1] += frac * v, sumSq[i + 1] += frac * v * v, weight[i + 1] += frac;
    }
  }
  double most = 0;
  for (double w : weight) most = std::max(most, w);
  out.mean.assign(bins, NAN), out.spread.assign(bins, NAN);
  for (int i = 0; i < bins; ++i)
    if (weight[i] >= 0.5 * most && most > 0) {
      out.mean[i] = sum[i] / weight[i];
      out.spread[i] = std::sqrt(std::max(0.0, sumSq[i] / weight[i] - out.mean[i] * out.mean[i]));
    }
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

// One line at centre c of the given width: the lesser flank's departure from
// the line's level, less half the line's own spread across the band. NaN
// when the line or a flank leaves the profile.
double lineScore(const Integral& mean, const Integral& spread, double c, double width, double flank, double dark,
                 double* contrastOut = nullptr) {
  const double gap = 0.75;  // the edge's blur, left out of both sides
  const double inner = std::max(0.25, width / 2 - gap / 2);
  const double line = mean.mean(c - inner, c + inner), lineSpread = spread.mean(c - inner, c + inner);
  const double left = mean.mean(c - width / 2 - gap - flank, c - width / 2 - gap);
  const double right = mean.mean(c + width / 2 + gap, c + width / 2 + gap + flank);
  if (std::isnan(line) || std::isnan(left) || std::isnan(right) || std::isnan(lineSpread)) return NAN;
  const double contrast = std::min(dark * (left - line), dark * (right - line));
  if (contrastOut) *contrastOut = contrast;
  return contrast - 0.5 * lineSpread;
}

struct Periodic {
  double value = -1e300, contrast = 0;
  int count = 0;
};

// Mean line score over every line of the given phase and period the profile holds.
Periodic periodicScore(const Integral& mean, const Integral& spread, double phase, double period, double width,
                       double flank, double dark, double sMin, double sMax) {
  Periodic out;
  double total = 0, contrast = 0;
  const double reach = width / 2 + 0.75 + flank;
  for (double c = phase - std::floor((phase - reach - sMin) / period) * period; c + reach <= sMax; c += period) {
    double k = 0;
    const double v = lineScore(mean, spread, c, width, flank, dark, &k);
    if (std::isnan(v)) continue;
    total += v, contrast += k, ++out.count;
  }
  if (out.count) out.value = total / out.count, out.contrast = contrast / out.count;
  return out;
}

}  // namespace

FrameLines findFrameLines(const cv::Mat& gray, const StripAxes& axes, const PictureBand& band, double periodMin,
                          double periodMax, double widthMin, double widthMax) {
  FrameLines out;
  out.period = (periodMin + periodMax) / 2;
  if (!(periodMin > 4) || !(periodMax >= periodMin) || band.to - band.from < 2) return out;
  const Profile profile = alongProfile(gray, axes, band);
  size_t lo = 0, hi = profile.mean.size();
  while (lo < hi && std::isnan(profile.mean[lo])) ++lo;
  while (hi > lo && std::isnan(profile.mean[hi - 1])) --hi;
  if (hi - lo < 8) return out;
  const std::vector<double> mean(profile.mean.begin() + lo, profile.mean.begin() + hi);
  const std::vector<double> spread(profile.spread.begin() + lo, profile.spread.begin() + hi);
  const double first = profile.first + static_cast<double>(lo);
  const Integral meanI = integralOf(mean, first), spreadI = integralOf(spread, first);
  const double sMin = first - 0.5, sMax = first + static_cast<double>(mean.size()) - 0.5;
  const double flank = std::max(1.5, 0.04 * periodMin);
  widthMin = std::max(0.5, widthMin);
  widthMax = std::max(widthMin, widthMax);
  const double wStep = std::max(0.5, (widthMax - widthMin) / 16);

  // Each place's best single line, over the widths, for either sense.
  constexpr double kStep = 0.5;
  const int places = static_cast<int>((sMax - sMin) / kStep) + 1;
  std::vector<double> best[2];
  for (int d = 0; d < 2; ++d) {
    best[d].assign(places, NAN);
    for (int i = 0; i < places; ++i) {
      const double c = sMin + i * kStep;
      for (double w = widthMin; w <= widthMax + 1e-9; w += wStep) {
        const double v = lineScore(meanI, spreadI, c, w, flank, d == 0 ? 1 : -1);
        if (!std::isnan(v) && !(v <= best[d][i])) best[d][i] = v;
      }
    }
  }
  // The phase and period whose lines score best on average.
  const double periodStep = periodMax > periodMin ? 0.25 : 1;
  double bestValue = -1e300, bestPhase = 0, bestPeriod = out.period;
  int bestSense = 0;
  for (int d = 0; d < 2; ++d)
    for (double period = periodMin; period <= periodMax + 1e-9; period += periodStep)
      for (int i = 0; i < places && sMin + i * kStep < sMin + period; ++i) {
        double total = 0;
        int count = 0;
        for (double j = i; j < places; j += period / kStep) {
          const double v = best[d][static_cast<size_t>(std::lround(j)) < best[d].size() ? std::lround(j) : places - 1];
          if (!std::isnan(v)) total += v, ++count;
        }
        // A period is only measured by two lines or more; one line keeps the middle period.
        if (count == 0 || (count < 2 && std::abs(period - out.period) > periodStep)) continue;
        if (total / count > bestValue) bestValue = total / count, bestPhase = sMin + i * kStep, bestPeriod = period, bestSense = d;
      }
  if (bestValue <= -1e299) return out;

  // One width for every line, and the phase and period to a tenth of a pixel.
  const double dark = bestSense == 0 ? 1 : -1;
  Periodic top;
  double phase = bestPhase, period = bestPeriod, width = widthMin;
  for (double w = widthMin; w <= widthMax + 1e-9; w += wStep / 4)
    for (double c = bestPhase - 0.5; c <= bestPhase + 0.5 + 1e-9; c += 0.1)
      for (double p = bestPeriod - (periodMax > periodMin ? 0.3 : 0); p <= bestPeriod + 1e-9 + (periodMax > periodMin ? 0.3 : 0); p += 0.1) {
        const Periodic s = periodicScore(meanI, spreadI, c, p, w, flank, dark, sMin, sMax);
        if (s.value > top.value) top = s, phase = c, period = p, width = w;
      }
  out.found = top.contrast > 2.0;
  out.phase = phase;
  out.period = period;
  out.width = width;
  out.contrast = top.contrast;
  out.dark = dark > 0;
  // The lines' level: the mean of their middles.
  double level = 0;
  int count = 0;
  const double inner = std::max(0.25, width / 2 - 0.375);
  for (double c = phase - std::floor((phase - sMin) / period) * period; c < sMax; c += period) {
    const double v = meanI.mean(c - inner, c + inner);
    if (!std::isnan(v)) level += v, ++count;
  }
  out.level = count ? level / count : 0;
  return out;
}

}  // namespace registration
