// framePriors: where the gauge's published geometry puts the frames on
// this scan, before anything but the holes and the strip's edges is looked at.
//
// Every length is the gauge's in millimetres times the scan's own pixels a
// millimetre: along from the hole pitch, across from the spacing of two
// rows or the strip's width (scanners stretch one axis a little against the
// other), or the along scale where neither shows. Along, the frame line
// lies at its fixed place against the holes, at every gap of a frame (35 mm
// holds four) and for every aperture; across, the picture's middle lies at
// its distance from the reference edge, the perforated one, or on 35 mm
// either way from the middle (two rows do not tell which edge the sound
// track's is). The measures on the scan then pick among these and refine
// them within the slack given here.

#include "stages.hpp"

#include <algorithm>
#include <cmath>

namespace registration {

namespace {

// The thinnest frame line: full-aperture 35 mm and 16 mm leave about a tenth of a millimetre.
constexpr double kLeastLineMm = 0.08;
// What a scan may measure across against along before its across measure is disbelieved.
constexpr double kStretch = 0.06;
// A pitch from a lone hole (the gauge fit's scale) is known to this share; the lines measure it.
constexpr double kRoughPitch = 0.08;
// How far inside the film a picture's edge lies at least.
constexpr double kClearanceMm = 0.1;
// How far off the holes' inner side, in millimetres and at least in pixels.
// A small gauge's gate leaves under 0.2 mm there, and a picture a little off
// its middle or larger than the aperture comes to within a tenth; a pixel or
// two more keeps the hole's own sharp step out of the search.
constexpr double kHoleClearanceMm = 0.05, kHoleClearancePx = 2;

// The holes' common place along the strip, modulo the pitch: a circular
// mean over every hole, moved onto the hole nearest the scan's middle.
double holePhase(const StripMeasure& m, double pitch, double scanMiddle) {
  double c = 0, s = 0;
  const Perforation* nearest = &m.holes.front();
  for (const Perforation& h : m.holes) {
    const double a = 2 * CV_PI * m.axes.s(h.centre) / pitch;
    c += std::cos(a), s += std::sin(a);
    if (std::abs(h.centre.x - scanMiddle) < std::abs(nearest->centre.x - scanMiddle)) nearest = &h;
  }
  const double phase = std::atan2(s, c) / (2 * CV_PI) * pitch;
  return phase + std::round((m.axes.s(nearest->centre) - phase) / pitch) * pitch;
}

// The reference edge and from it the strip's middle; `inward` points from
// the perforated edge into the film on one-row film. One edge found is the
// perforated one when the row lies within half the film's width of it, and
// else the far one, with the perforated edge beyond the row; either way the
// film lies on the row's side of it.
double stripMiddle(const StripMeasure& m, const Priors& p, double mmT, double scanRows, double& inward) {
  inward = 1;
  if (m.rowT.size() == 2) return (m.rowT[0] + m.rowT[1]) / 2;
  const double row = m.rowT[0];
  if (m.top && m.bottom) {
    inward = (*m.top + *m.bottom) / 2 > row ? 1 : -1;
    return (inward > 0 ? *m.top : *m.bottom) + inward * p.width / 2 * mmT;
  }
  if (m.top || m.bottom) {
    const double edge = m.top ? *m.top : *m.bottom, film = row > edge ? 1 : -1;
    inward = std::abs(row - edge) < p.width / 2 * mmT ? film : -film;
    return edge + film * p.width / 2 * mmT;
  }
  inward = row < scanRows / 2 ? 1 : -1;
  return row - inward * p.holeCentre() * mmT + inward * p.width / 2 * mmT;
}

std::vector<AcrossPrior> waysOf(const Priors& p, double middle, double inward, double mmT) {
  std::vector<AcrossPrior> ways;
  for (size_t a = 0; a < p.apertures.size(); ++a) {
    const int aperture = static_cast<int>(a);
    const double off = (p.apertures[a].middle - p.width / 2) * mmT;
    if (p.maxRows == 1) ways.push_back({aperture, middle + inward * off});
    else if (std::abs(off) < 1e-9) ways.push_back({aperture, middle});
    else ways.push_back({aperture, middle + off}), ways.push_back({aperture, middle - off});
  }
  return ways;
}

std::vector<LinePrior> linesOf(const Priors& p, double phase, double pitch, double mmS, bool rough) {
  std::vector<LinePrior> lines;
  for (size_t a = 0; a < p.apertures.size(); ++a)
    for (int gap = 0; gap < p.perforationsPerFrame; ++gap) {
      LinePrior l;
      l.middle = phase + (p.lineFromHole + gap) * pitch;
      l.period = pitch * p.perforationsPerFrame;
      l.width = (p.pitch * p.perforationsPerFrame - p.apertures[a].along) * mmS;
      l.slack = kLineTolerance * pitch + kSizeTolerance / 2 * p.apertures[a].along * mmS + 1;
      l.middleSlack = kLineTolerance * pitch + 1;
      l.leastWidth = kLeastLineMm * mmS;
      l.aperture = static_cast<int>(a);
      if (rough) l.periodSlack = kRoughPitch, l.anchor = phase;
      lines.push_back(l);
    }
  return lines;
}

}  // namespace

FramePriors framePriors(const StripMeasure& m, const Priors& p, cv::Size scan) {
  FramePriors out;
  const double cosine = m.axes.cosine();
  const double along = m.pitch / p.pitch;
  double across = along;
  if (m.rowT.size() == 2) across = std::abs(m.rowT[1] - m.rowT[0]) * cosine / (p.width - 2 * p.holeCentre());
  else if (m.top && m.bottom) across = (*m.bottom - *m.top) * cosine / p.width;
  if (!(std::abs(across / along - 1) <= kStretch)) across = along;
  out.mmS = along / cosine, out.mmT = across / cosine;
  const double pitch = p.pitch * out.mmS;

  double inward = 1;
  out.middle = stripMiddle(m, p, out.mmT, scan.height, inward);
  out.ways = waysOf(p, out.middle, inward, out.mmT);
  const double phase = holePhase(m, pitch, (scan.width - 1) / 2.0);
  out.lines = linesOf(p, phase, pitch, out.mmS, !m.pitchMeasured);

  const double clearance = kClearanceMm * out.mmT;
  if (m.top) out.lo = *m.top + clearance;
  if (m.bottom) out.hi = *m.bottom - clearance;
  for (double t : m.rowT) {
    const double reach = p.holeAcross / 2 * out.mmT + std::max(kHoleClearanceMm * out.mmT, kHoleClearancePx);
    if (t < out.middle) out.lo = std::max(out.lo, t + reach);
    else out.hi = std::min(out.hi, t - reach);
  }
  // A scan shorter than two frames holds one picture, which whoever scanned it put in its middle.
  const bool oneFrame = scan.width / cosine < 2 * pitch * p.perforationsPerFrame;
  out.framing.centre = oneFrame ? m.axes.s({(scan.width - 1) / 2.0, out.middle}) : NAN;
  // Where the scan's ends cross the strip's middle line, drawn in by what the tilt swings a picture's corners.
  double halfAcross = 0;
  for (const Aperture& a : p.apertures) halfAcross = std::max(halfAcross, a.across / 2 * out.mmT);
  const double swing = std::abs(m.axes.slope) * halfAcross;
  auto sAt = [&](double x) { return m.axes.s({x, out.middle + m.axes.slope * (x - m.axes.xMid)}); };
  out.framing.from = sAt(-0.5) + swing;
  out.framing.to = sAt(scan.width - 0.5) - swing;
  return out;
}

}  // namespace registration
