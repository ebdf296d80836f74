// registerFrames: frames placed by the perforations, from one scan alone.
//
// The stages run in the order each needs the last: the rows of holes (best
// first), the pitch and tilt they give, the strip's edges, the gauge that
// fits it all; then, with the gauge's priors scaled by the measured pitch,
// the frame lines along the strip and the picture's edges across; last the
// windows. A candidate row the gauge rejects (edge lettering, a row of dust)
// gives way to the next. Whatever is missing is said in words and the
// record comes back unregistered; nothing is printed and nothing thrown.

#include "stages.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>

namespace registration {

namespace {

constexpr size_t kRowsTried = 8;
// How far a picture's height may stray from its length times the aperture's
// shape: apertures differ a little between cameras, scanners stretch one axis.
constexpr double kShapeLow = 0.93, kShapeHigh = 1.07;
// The part of the picture's expected height, about its expected middle, that the frame lines are looked for in.
constexpr double kBand = 0.3;

struct Strip {
  std::vector<const HoleRow*> rows;
  PitchFit pitch;
  StripAxes axes;
  StripEdges edges;
  GaugeFit gauge;
  std::vector<double> rowT;  // each row's t
};

double meanY(const HoleRow& r) {
  double y = 0;
  for (const Hole& h : r.holes) y += h.centre.y;
  return y / static_cast<double>(r.holes.size());
}

// Another row of the same holes far across: the second edge of 35 mm or double-perforated 16 mm.
const HoleRow* partnerOf(const HoleRow& row, const std::vector<HoleRow>& rows) {
  const HoleRow* best = nullptr;
  for (const HoleRow& o : rows) {
    if (&o == &row || o.bright != row.bright) continue;
    if (std::abs(o.size.width / row.size.width - 1) > 0.25 || std::abs(o.size.height / row.size.height - 1) > 0.25) continue;
    if (std::abs(meanY(o) - meanY(row)) < 3 * row.size.height) continue;
    // Pitches alike, or one a whole multiple of the other where holes went unseen.
    if (o.pitchX > 0 && row.pitchX > 0) {
      const double ratio = std::max(o.pitchX, row.pitchX) / std::min(o.pitchX, row.pitchX);
      if (std::abs(ratio - std::round(ratio)) > 0.05 * std::round(ratio)) continue;
    }
    if (!best || o.score > best->score) best = &o;
  }
  return best;
}

Strip measureStrip(const cv::Mat& gray, std::vector<const HoleRow*> rows) {
  Strip s;
  s.rows = std::move(rows);
  s.pitch = measurePitch(s.rows);
  s.edges = findStripEdges(gray, s.pitch.slope, s.pitch.slopeMeasured, *s.rows.front());
  double slope = s.pitch.slope;
  if (!s.pitch.slopeMeasured) {
    if (s.edges.top && s.edges.bottom) slope = (s.edges.top->slope + s.edges.bottom->slope) / 2;
    else if (s.edges.top) slope = s.edges.top->slope;
    else if (s.edges.bottom) slope = s.edges.bottom->slope;
  }
  s.axes = {slope, (gray.cols - 1) / 2.0, (gray.rows - 1) / 2.0};
  const double cosine = s.axes.cosine();
  for (const cv::Point2d& p : s.pitch.rowPoints) s.rowT.push_back(s.axes.t(p));

  GaugeMeasure m;
  m.holeSize = s.rows.front()->size;
  m.pitch = s.pitch.pitchX / cosine;
  m.rows = static_cast<int>(s.rows.size());
  if (m.rows == 2) m.rowSpacing = std::abs(s.rowT[1] - s.rowT[0]) * cosine;
  const double tTop = s.edges.top ? s.axes.t({s.axes.xMid, s.edges.top->at(s.axes.xMid)}) : NAN;
  const double tBottom = s.edges.bottom ? s.axes.t({s.axes.xMid, s.edges.bottom->at(s.axes.xMid)}) : NAN;
  if (s.edges.top && s.edges.bottom) m.stripWidth = (tBottom - tTop) * cosine;
  const double fromTop = s.rowT[0] - tTop, fromBottom = tBottom - s.rowT[0];
  if (s.edges.top && (!s.edges.bottom || fromTop < fromBottom) && fromTop > 0) m.holeFromEdge = fromTop * cosine;
  else if (s.edges.bottom && fromBottom > 0) m.holeFromEdge = fromBottom * cosine;
  s.gauge = identifyGauge(m);
  return s;
}

std::string describe(const HoleRow& row, int factor) {
  char text[160];
  std::snprintf(text, sizeof text, "no known gauge fits the perforations found (%.0f x %.0f px at a pitch of %.0f px)",
                row.size.width * factor, row.size.height * factor, row.pitchX * factor);
  return text;
}

Registration registerStrip(const cv::Mat& scan) {
  Registration out;
  if (scan.empty() || scan.dims != 2 || scan.depth() != CV_8U || (scan.channels() != 1 && scan.channels() != 3)) {
    out.missing = "an 8-bit gray or colour scan";
    return out;
  }
  const Reduced reduced = reduceScan(scan);
  const cv::Mat& gray = reduced.gray;
  out.missing = "no row of perforations along the strip";
  if (gray.rows < 16 || gray.cols < 16) return out;
  const std::vector<HoleRow> rows = findHoleRows(gray);

  // The first candidate row a gauge fits, with its partner row when there is one.
  Strip strip;
  bool fitted = false;
  for (size_t i = 0; i < rows.size() && i < kRowsTried && !fitted; ++i) {
    const HoleRow* partner = partnerOf(rows[i], rows);
    if (partner && meanY(*partner) < meanY(rows[i]) && partner->score >= rows[i].score) continue;  // met as the better row
    std::vector<std::vector<const HoleRow*>> tries;
    if (partner) tries.push_back({&rows[i], partner});
    tries.push_back({&rows[i]});
    for (const auto& t : tries) {
      strip = measureStrip(gray, t);
      if (strip.gauge.gauge != Gauge::Unknown) {
        fitted = true;
        break;
      }
    }
    if (!fitted && rows[i].holes.size() >= 2 && out.missing.rfind("no row", 0) == 0) out.missing = describe(rows[i], reduced.factor);
  }
  if (!fitted) return out;

  const Priors& p = *priorsOf(strip.gauge.gauge);
  const StripAxes& axes = strip.axes;
  const double cosine = axes.cosine();
  const double mm = strip.gauge.pixelsPerMm / cosine;  // reduced pixels a millimetre in s and t
  const double pitch = strip.gauge.pitch;              // along the strip
  const double period = pitch * p.perforationsPerFrame / cosine;

  // What the perforations tell is kept even when no frame can be placed.
  const double f = reduced.factor;
  out.gauge = strip.gauge.gauge;
  out.perforationsPerFrame = p.perforationsPerFrame;
  out.perforationRows = static_cast<int>(strip.rows.size());
  out.perforationPitch = pitch * f;
  out.framePitch = out.perforationPitch * p.perforationsPerFrame;
  out.tiltDegrees = std::atan(axes.slope) * 180 / CV_PI;
  for (const HoleRow* r : strip.rows)
    for (const Hole& h : r->holes)
      out.perforations.push_back({{toScan(reduced, h.centre.x), toScan(reduced, h.centre.y)}, h.size * f});
  std::sort(out.perforations.begin(), out.perforations.end(),
            [](const Perforation& a, const Perforation& b) { return a.centre.x < b.centre.x; });

  // Across: which way the strip's inside lies from the (first) row, and the picture's expected middle.
  double inward = 1, centre = 0;
  const double tTop = strip.edges.top ? axes.t({axes.xMid, strip.edges.top->at(axes.xMid)}) : NAN;
  const double tBottom = strip.edges.bottom ? axes.t({axes.xMid, strip.edges.bottom->at(axes.xMid)}) : NAN;
  const double rowT = strip.rowT[0];
  if (strip.rows.size() == 2) {
    centre = (strip.rowT[0] + strip.rowT[1]) / 2;
  } else {
    if (strip.edges.top && strip.edges.bottom) inward = (tTop + tBottom) / 2 > rowT ? 1 : -1;
    else if (strip.edges.top) inward = rowT > tTop ? 1 : -1;
    else if (strip.edges.bottom) inward = rowT > tBottom ? 1 : -1;
    else inward = rowT < gray.rows / 2.0 ? 1 : -1;
    centre = rowT + inward * (p.pictureCentre - p.holeCentre) * mm;
  }

  // Search windows for the picture's two edges across, kept off the holes and the strip's edges.
  const double spread = 0.1 * p.pictureAcross * mm + (p.pictureAcrossMax - p.pictureAcrossMin) / 2 * mm;
  double lo = centre - p.pictureAcross / 2 * mm, hi = centre + p.pictureAcross / 2 * mm;
  double loFrom = lo - spread, loTo = lo + spread, hiFrom = hi - spread, hiTo = hi + spread;
  const double holeReach = (p.holeAcross / 2 + 0.1) * mm;
  for (double t : strip.rowT) {
    if (t < centre) loFrom = std::max(loFrom, t + holeReach);
    else hiTo = std::min(hiTo, t - holeReach);
  }
  if (strip.edges.top) loFrom = std::max(loFrom, tTop + 0.1 * mm);
  if (strip.edges.bottom) hiTo = std::min(hiTo, tBottom - 0.1 * mm);
  const PictureAcross rough = roughPictureEdges(gray, axes, loFrom, loTo, hiFrom, hiTo, p.pictureAcrossMin * mm,
                                                p.pictureAcrossMax * mm);

  PictureBand band{centre - kBand * p.pictureAcross * mm, centre + kBand * p.pictureAcross * mm};
  const double framePitchMm = p.pitch * p.perforationsPerFrame;
  // A pitch from two holes or more is exact; one from the strip's width or a lone hole is known to a few percent.
  const double slack = strip.pitch.pitchX > 0 ? 0 : 0.05;
  const FrameLines lines = findFrameLines(scan, reduced.factor, axes, band, rough, period * (1 - slack), period * (1 + slack),
                                          (framePitchMm - p.pictureAlongMax) * mm, (framePitchMm - p.pictureAlongMin) * mm);
  if (!lines.found) {
    out.missing = "no frame line between the pictures";
    return out;
  }

  // The picture's length, now measured, tells its height through the aperture's shape.
  const double alongMm = (lines.period - lines.width) / mm;
  const double expected = alongMm * (alongMm > p.wideFrom ? p.wideAspect : p.aspect) * mm;
  const double sizeMin = std::max(p.pictureAcrossMin * mm, kShapeLow * expected);
  const double sizeMax = std::min(p.pictureAcrossMax * mm, kShapeHigh * expected);
  PictureAcross across = findPictureEdges(gray, axes, lines, loFrom, loTo, hiFrom, hiTo, std::min(sizeMin, sizeMax),
                                          expected, sizeMax);
  if (!across.found) {
    // The expected height about the rough or the expected middle, a little short of it.
    const double middle = rough.found ? (rough.top + rough.bottom) / 2 : centre;
    across.top = middle - 0.47 * expected;
    across.bottom = middle + 0.47 * expected;
  }

  out.registered = true;
  out.missing.clear();
  out.framePitch = lines.period * cosine * f;
  out.perforationPitch = out.framePitch / p.perforationsPerFrame;
  out.frameLineWidth = lines.width * cosine * f;
  out.frames = placeFrames(axes, lines, across, reduced, scan.size());
  const double tMiddle = (across.top + across.bottom) / 2;
  const double first = lines.phase - std::floor((lines.phase + 1) / lines.period) * lines.period;
  for (double s = first; s < gray.cols + 1; s += lines.period) {
    const double x = toScan(reduced, axes.point(s, tMiddle).x);
    if (x >= -0.5 && x <= scan.cols - 0.5) out.frameLines.push_back(x);
  }
  return out;
}

}  // namespace

Registration registerFrames(const cv::Mat& scan) {
  try {
    return registerStrip(scan);
  } catch (const std::bad_alloc&) {
    Registration out;
    out.missing = "memory to look at the scan";
    return out;
  } catch (...) {
    Registration out;
    out.missing = "a scan the finder can read";
    return out;
  }
}

}  // namespace registration
