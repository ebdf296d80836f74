// identifyGauge: which gauge the strip is, from the strip itself.
//
// Each measurement divided by the gauge's published size is an estimate of
// the scan's pixels a millimetre: the pitch, the hole's length and height,
// the strip's width, the distance between two rows, the hole row's distance
// from its edge. For the right gauge they agree; for a wrong one they
// disagree by far more than shrinkage or a soft hole edge explain (16 mm and
// regular 8 mm share their holes but not their pitch or width; Super 8's
// holes stand taller along the strip than across). The misfit is the largest
// disagreement in units of each measure's tolerance; the gauge with the
// least misfit wins when it is small. The resolution itself is never
// consulted. A pitch may be a multiple of the true one when every other hole
// was missed, so halves and thirds are tried too; and where only one of the
// strip's edges was found, the holes' distance from it is tried as from
// their own edge and from the far one.

#include "stages.hpp"

#include <cmath>
#include <limits>

namespace registration {

namespace {

struct Estimate {
  double scale, tolerance;  // pixels a millimetre, relative tolerance
};

constexpr double kAcceptedMisfit = 2.5;

double misfitOf(const std::vector<Estimate>& estimates, double& scale) {
  double sum = 0, weight = 0;
  for (const Estimate& e : estimates) {
    // A measure that is no length at all fits nothing (its logarithm would make every misfit vanish).
    if (!(e.scale > 0) || !std::isfinite(e.scale)) return std::numeric_limits<double>::infinity();
    const double w = 1 / (e.tolerance * e.tolerance);
    sum += w * std::log(e.scale), weight += w;
  }
  const double logScale = sum / weight;
  scale = std::exp(logScale);
  double worst = 0;
  for (const Estimate& e : estimates) worst = std::max(worst, std::abs(std::log(e.scale) - logScale) / e.tolerance);
  return worst;
}

}  // namespace

GaugeFit identifyGauge(const GaugeMeasure& m) {
  GaugeFit best;
  best.misfit = std::numeric_limits<double>::infinity();
  if (m.holeSize.width <= 0 || m.holeSize.height <= 0) return best;
  for (const Priors& p : allPriors()) {
    if (m.rows < p.minRows || m.rows > p.maxRows) continue;
    for (int divisor = 1; divisor <= (m.pitch > 0 ? 3 : 1); ++divisor) {
      std::vector<Estimate> e = {{m.holeSize.width / p.holeAlong, 0.12}, {m.holeSize.height / p.holeAcross, 0.12}};
      const double pitch = m.pitch / divisor;
      if (pitch > 0) e.push_back({pitch / p.pitch, 0.03});
      if (m.stripWidth > 0) e.push_back({m.stripWidth / p.width, 0.04});
      if (m.rows == 2) e.push_back({m.rowSpacing / (p.width - 2 * p.holeCentre()), 0.05});
      // Two hole sizes alone fit too many things: a pitch or a width must speak.
      if (pitch <= 0 && m.stripWidth <= 0 && m.rows < 2) continue;
      // The hole row's distance from the one edge found: from its own edge,
      // or, where the near edge was not found, perhaps from the far one.
      std::vector<double> fromEdge{p.holeCentre()};
      if (m.edgeMayBeFar) fromEdge.push_back(p.width - p.holeCentre());
      double scale = 0, misfit = std::numeric_limits<double>::infinity();
      for (const double mm : fromEdge) {
        std::vector<Estimate> with = e;
        if (m.holeFromEdge > 0) with.push_back({m.holeFromEdge / mm, 0.1});
        double s = 0;
        const double f = misfitOf(with, s);
        if (f < misfit) misfit = f, scale = s;
      }
      // A divided pitch is a guess that must beat the measured one clearly.
      misfit += (divisor - 1) * 0.5;
      if (misfit < best.misfit) {
        best.gauge = p.gauge;
        best.misfit = misfit;
        best.pixelsPerMm = scale;
        best.pitch = pitch > 0 ? pitch : scale * p.pitch;
        best.measures = static_cast<int>(e.size()) + (m.holeFromEdge > 0);
      }
    }
  }
  if (best.misfit > kAcceptedMisfit) best.gauge = Gauge::Unknown;
  return best;
}

}  // namespace registration
