// measurePitch: the perforation pitch and the strip's tilt from the hole centres.
//
// Every hole is numbered by its whole steps from the row's first, so a
// missing hole leaves a gap in the numbers instead of a long step. The x of
// the holes against their numbers gives the pitch, their y against their x
// the slope; both are least-squares fits over every row at once, each row
// with an intercept of its own, so two rows of 35 mm film double the
// evidence. A hole off its fit by a tenth of the pitch (a torn edge the
// size test let through) is dropped and the fit made again. Across the
// strip the rows of a strip are parallel: where their own slopes differ by
// more than a measure's scatter explains, each row weighs by how closely
// its holes lie on a line. A bright picture that touches the side of half
// a row's holes joins them, and they sit off the row together, too few and
// too little off to be dropped; the plain row beside them then sets the
// tilt rather than sharing it with them.

#include "stages.hpp"

#include <cmath>

namespace registration {

namespace {

struct Numbered {
  int row, step;
  cv::Point2d centre;
};

struct Fit {
  double pitch = 0, slope = 0;
  std::vector<double> xAt0, yAt0;  // per row
  int steps = 0;                   // distinct steps spanned, over all rows
};

// Pooled least squares with per-row intercepts: the slope of v on u, each
// row's sums weighted by `weight` (one each when empty).
double pooledSlope(const std::vector<Numbered>& holes, size_t rows, double (*u)(const Numbered&),
                   double (*v)(const Numbered&), const std::vector<double>& weight = {}) {
  std::vector<double> su(rows, 0), sv(rows, 0), n(rows, 0);
  for (const Numbered& h : holes) su[h.row] += u(h), sv[h.row] += v(h), n[h.row] += 1;
  double num = 0, den = 0;
  for (const Numbered& h : holes) {
    const double du = u(h) - su[h.row] / n[h.row], dv = v(h) - sv[h.row] / n[h.row];
    const double w = weight.empty() ? 1 : weight[h.row];
    num += w * (du * dv), den += w * (du * du);
  }
  return den > 0 ? num / den : 0;
}

// Two rows whose own slopes differ by more than this (about 0.3 degrees) disagree.
constexpr double kRowsAgree = 0.005;

// Where the rows disagree, each of three holes or more, their weights: the
// inverse of how far a row's holes scatter across its own line (at least a
// two-hundredth of the pitch, the scatter a centre's measure leaves).
// Nothing where they agree or a row has fewer holes.
std::vector<double> acrossWeights(const std::vector<Numbered>& holes, size_t rows, double pitch) {
  if (rows < 2 || !(pitch > 0) || !std::isfinite(pitch)) return {};
  std::vector<std::vector<cv::Point2d>> of(rows);
  for (const Numbered& h : holes) of[h.row].push_back(h.centre);
  std::vector<double> weight;
  double steepest = -1e300, flattest = 1e300;
  const double least = 0.005 * pitch;
  for (const std::vector<cv::Point2d>& points : of) {
    if (points.size() < 3) return {};
    double sx = 0, sy = 0;
    for (const cv::Point2d& p : points) sx += p.x, sy += p.y;
    const double n = static_cast<double>(points.size()), mx = sx / n, my = sy / n;
    double sxx = 0, sxy = 0;
    for (const cv::Point2d& p : points) sxx += (p.x - mx) * (p.x - mx), sxy += (p.x - mx) * (p.y - my);
    const double slope = sxx > 0 ? sxy / sxx : 0;
    double squares = 0;
    for (const cv::Point2d& p : points) squares += std::pow(p.y - my - slope * (p.x - mx), 2);
    const double scatter = std::max(least * least, squares / (n - 2));
    weight.push_back(1 / scatter);
    steepest = std::max(steepest, slope), flattest = std::min(flattest, slope);
  }
  if (!(steepest - flattest > kRowsAgree)) return {};
  for (double w : weight)
    if (!std::isfinite(w)) return {};
  return weight;
}

Fit fit(const std::vector<Numbered>& holes, size_t rows) {
  Fit f;
  f.pitch = pooledSlope(holes, rows, [](const Numbered& h) { return static_cast<double>(h.step); },
                        [](const Numbered& h) { return h.centre.x; });
  f.slope = pooledSlope(holes, rows, [](const Numbered& h) { return h.centre.x; }, [](const Numbered& h) { return h.centre.y; },
                        acrossWeights(holes, rows, f.pitch));
  f.xAt0.assign(rows, 0), f.yAt0.assign(rows, 0);
  std::vector<double> n(rows, 0);
  for (const Numbered& h : holes) {
    f.xAt0[h.row] += h.centre.x - f.pitch * h.step;
    f.yAt0[h.row] += h.centre.y - f.slope * h.centre.x;
    n[h.row] += 1;
  }
  for (size_t r = 0; r < rows; ++r)
    if (n[r] > 0) f.xAt0[r] /= n[r], f.yAt0[r] /= n[r];
  int lo = 1 << 30, hi = -(1 << 30);
  for (const Numbered& h : holes) lo = std::min(lo, h.step), hi = std::max(hi, h.step);
  f.steps = holes.empty() ? 0 : hi - lo;
  return f;
}

}  // namespace

PitchFit measurePitch(const std::vector<const HoleRow*>& rows) {
  PitchFit out;
  std::vector<Numbered> holes;
  double coarse = 0;
  // The finer pitch: a row that missed every other hole shows a multiple of it.
  for (const HoleRow* r : rows)
    if (r->pitchX > 0 && (coarse == 0 || r->pitchX < coarse)) coarse = r->pitchX;
  for (size_t i = 0; i < rows.size(); ++i) {
    const HoleRow& r = *rows[i];
    // Numbered from the row's own first hole (each row has an intercept of
    // its own): numbered from x = 0, holes that lie half a pitch off its
    // multiples would round either way and break the count.
    for (const Hole& h : r.holes) {
      const int step = coarse > 0 ? static_cast<int>(std::lround((h.centre.x - r.holes.front().centre.x) / coarse)) : 0;
      holes.push_back({static_cast<int>(i), step, h.centre});
    }
  }
  Fit f = fit(holes, rows.size());
  if (coarse > 0 && f.steps >= 1) {
    std::vector<Numbered> kept;
    for (const Numbered& h : holes) {
      const double dx = h.centre.x - (f.xAt0[h.row] + f.pitch * h.step);
      const double dy = h.centre.y - (f.yAt0[h.row] + f.slope * h.centre.x);
      if (std::abs(dx) <= 0.1 * f.pitch && std::abs(dy) <= 0.1 * f.pitch) kept.push_back(h);
    }
    if (kept.size() >= 2 && kept.size() < holes.size()) f = fit(kept, rows.size());
  }
  if (f.steps >= 1 && f.pitch > 0) {
    out.pitchX = f.pitch;
    out.slope = f.slope;
    out.slopeMeasured = true;
  }
  for (size_t r = 0; r < rows.size(); ++r) {
    cv::Point2d mean(0, 0);
    for (const Hole& h : rows[r]->holes) mean += h.centre;
    mean *= 1.0 / static_cast<double>(rows[r]->holes.size());
    if (out.slopeMeasured) mean.y = f.yAt0[r] + f.slope * mean.x;
    out.rowPoints.push_back(mean);
  }
  return out;
}

}  // namespace registration
