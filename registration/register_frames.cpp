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
// Gray levels: a picture that stands less than this from its frame lines tells nothing of where it lies.
constexpr double kLeastContrast = 3;
// The Academy sound track's middle from the reference edge, and the half of
// its width looked at (the track runs 5.05 to 7.35 mm from the edge).
constexpr double kSoundMiddleMm = 6.2, kSoundHalfMm = 0.8;
// Gray levels: a track's stripes or wave differ from place to place by at least this.
constexpr double kLeastSound = 8;
// The thinnest frame line: full-aperture 35 mm and 16 mm leave about a tenth of a millimetre.
constexpr double kLeastLineMm = 0.08;

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

// The holes' common place along the strip, modulo the pitch: a circular mean over every hole.
double holePhase(const std::vector<Perforation>& holes, const StripAxes& axes, double pitch) {
  double c = 0, s = 0;
  for (const Perforation& h : holes) {
    const double a = 2 * CV_PI * axes.s(h.centre) / pitch;
    c += std::cos(a), s += std::sin(a);
  }
  return std::atan2(s, c) / (2 * CV_PI) * pitch;
}

// One way the picture may lie across: its aperture and its middle (t).
struct AcrossPrior {
  int aperture;
  double middle;
};

// Lines across the pictures' inner part, whichever way the aperture sits.
std::vector<double> bandAcross(const std::vector<AcrossPrior>& ways, const Priors& p, double mmT) {
  double from = -1e300, to = 1e300;
  for (const AcrossPrior& w : ways) {
    const double half = 0.35 * p.apertures[w.aperture].across * mmT;
    from = std::max(from, w.middle - half), to = std::min(to, w.middle + half);
  }
  std::vector<double> ts;
  if (!(to > from)) return ts;
  const int n = std::clamp(static_cast<int>(to - from), 2, 96);
  for (int i = 0; i < n; ++i) ts.push_back(from + (to - from) * (i + 0.5) / n);
  return ts;
}

}  // namespace
thread_local std::string debugInfo;
namespace {
Registration registerStrip(const cv::Mat& scan) {
  debugInfo.clear();
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

  // Of the candidate rows a gauge fits (each with its partner row when it
  // has one), the one of most holes; among rows of as many holes (a lone
  // hole against a lone letter), the one the gauge fits best.
  Strip strip;
  bool fitted = false;
  size_t bestHoles = 0;
  for (size_t i = 0; i < rows.size() && i < kRowsTried; ++i) {
    const HoleRow* partner = partnerOf(rows[i], rows);
    if (partner && meanY(*partner) < meanY(rows[i]) && partner->score >= rows[i].score) continue;  // met as the better row
    std::vector<std::vector<const HoleRow*>> tries;
    if (partner) tries.push_back({&rows[i], partner});
    tries.push_back({&rows[i]});
    bool fits = false;
    for (const auto& t : tries) {
      Strip candidate = measureStrip(gray, t);
      if (candidate.gauge.gauge == Gauge::Unknown) continue;
      fits = true;
      size_t holes = 0;
      for (const HoleRow* r : t) holes += r->holes.size();
      if (!fitted || holes > bestHoles || (holes == bestHoles && candidate.gauge.misfit < strip.gauge.misfit))
        strip = std::move(candidate), bestHoles = holes, fitted = true;
      break;
    }
    if (!fits && rows[i].holes.size() >= 2 && out.missing.rfind("no row", 0) == 0) out.missing = describe(rows[i], reduced.factor);
  }
  if (!fitted) return out;

  const Priors& p = *priorsOf(strip.gauge.gauge);
  const double f = reduced.factor;
  out.gauge = strip.gauge.gauge;
  out.perforationsPerFrame = p.perforationsPerFrame;
  out.perforationRows = static_cast<int>(strip.rows.size());
  out.tiltDegrees = std::atan(strip.axes.slope) * 180 / CV_PI;
  for (const HoleRow* r : strip.rows)
    for (const Hole& h : r->holes)
      out.perforations.push_back({{toScan(reduced, h.centre.x), toScan(reduced, h.centre.y)}, h.size * f});
  std::sort(out.perforations.begin(), out.perforations.end(),
            [](const Perforation& a, const Perforation& b) { return a.centre.x < b.centre.x; });

  // The strip's axes on the scan: the reduced copy's, so that its s and t
  // carry over as toScan does.
  const StripAxes axes{strip.axes.slope, toScan(reduced, strip.axes.xMid), toScan(reduced, strip.axes.yMid)};
  const double cosine = axes.cosine();
  const bool topEdge = strip.edges.top.has_value(), bottomEdge = strip.edges.bottom.has_value();
  const double tTop = topEdge ? toScan(reduced, strip.axes.t({strip.axes.xMid, strip.edges.top->at(strip.axes.xMid)})) : NAN;
  const double tBottom =
      bottomEdge ? toScan(reduced, strip.axes.t({strip.axes.xMid, strip.edges.bottom->at(strip.axes.xMid)})) : NAN;
  std::vector<double> rowT;
  for (double t : strip.rowT) rowT.push_back(toScan(reduced, t));

  // Scales: along from the pitch; across from the rows' spacing or the
  // strip's width, unless neither is known or it strays from along by more
  // than prints shrink and scanners stretch.
  const double along = strip.gauge.pitch * f / p.pitch;
  double across = along;
  if (rowT.size() == 2) across = std::abs(rowT[1] - rowT[0]) * cosine / (p.width - 2 * p.holeCentre());
  else if (topEdge && bottomEdge) across = (tBottom - tTop) * cosine / p.width;
  if (!(std::abs(across / along - 1) <= 0.06)) across = along;
  const double mmS = along / cosine, mmT = across / cosine;  // s and t units a millimetre
  const double pitch = p.pitch * mmS;
  out.perforationPitch = p.pitch * along;
  out.framePitch = out.perforationPitch * p.perforationsPerFrame;

  // Across: the picture's middle from the reference edge, every way the
  // aperture may sit (35 mm's two rows do not tell which edge the sound
  // track's is, so the Academy picture may lie off the middle either way).
  std::vector<AcrossPrior> ways;
  double middle = 0;  // of the strip, or where a one-row gauge's reference edge puts the picture
  double inward = 1;
  if (rowT.size() == 2) {
    middle = (rowT[0] + rowT[1]) / 2;
  } else {
    if (topEdge && bottomEdge) inward = (tTop + tBottom) / 2 > rowT[0] ? 1 : -1;
    else if (topEdge) inward = rowT[0] > tTop ? 1 : -1;
    else if (bottomEdge) inward = rowT[0] > tBottom ? 1 : -1;
    else inward = rowT[0] < scan.rows / 2.0 ? 1 : -1;
    const bool nearShows = inward > 0 ? topEdge : bottomEdge;
    const double edge = nearShows ? (inward > 0 ? tTop : tBottom) : rowT[0] - inward * p.holeCentre() * mmT;
    middle = edge + inward * p.width / 2 * mmT;
  }
  for (size_t a = 0; a < p.apertures.size(); ++a) {
    const double off = (p.apertures[a].middle - p.width / 2) * mmT;
    if (p.maxRows == 1) ways.push_back({static_cast<int>(a), middle + inward * off});
    else if (std::abs(off) < 1e-9) ways.push_back({static_cast<int>(a), middle});
    else ways.push_back({static_cast<int>(a), middle + off}), ways.push_back({static_cast<int>(a), middle - off});
  }

  // Along: the frame line's middle from the holes, at every gap of a frame and for every aperture.
  // The holes' common place, moved onto the hole nearest the scan's middle (the anchor when the pitch is rough).
  double phase = holePhase(out.perforations, axes, pitch);
  {
    double nearest = out.perforations.front().centre.x;
    for (const Perforation& h : out.perforations)
      if (std::abs(h.centre.x - scan.cols / 2.0) < std::abs(nearest - scan.cols / 2.0)) nearest = axes.s(h.centre);
    phase += std::round((nearest - phase) / pitch) * pitch;
  }
  std::vector<LinePrior> linePriors;
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
      // A pitch from one hole is the scale's, known to a few percent: the lines measure it.
      if (strip.pitch.pitchX <= 0) l.periodSlack = 0.08, l.anchor = phase;
      linePriors.push_back(l);
    }
  DEBUGF(" AXES %.6f %.3f %.3f LINEPRIOR %.2f %.2f ", axes.slope, axes.xMid, axes.yMid, linePriors[0].middle, linePriors[0].period);
  // A scan shorter than two frames holds one picture, which whoever scanned it put in its middle.
  const double length = scan.cols / cosine;
  const double framed = length < 2 * pitch * p.perforationsPerFrame ? axes.s({(scan.cols - 1) / 2.0, middle}) : NAN;
  FrameLines lines = measureFrameLines(scan, axes, bandAcross(ways, p, mmT), linePriors, framed);
  if (lines.candidate < 0) {
    const LinePrior& l = linePriors.front();
    lines = {0, l.middle, l.period, {-l.width / 2, false}, {l.width / 2, false}, 0};
  }
  const int aperture = linePriors[static_cast<size_t>(lines.candidate)].aperture;

  // Across: the long edges about each way the aperture may sit; the way the scan shows best.
  PictureAcross across_;
  bool any = false;
  const Aperture& ap = p.apertures[static_cast<size_t>(aperture)];
  const double slackT = kMiddleToleranceMm * mmT + kSizeTolerance / 2 * ap.across * mmT + 1;
  // The picture lies on the film, clear of the holes: its edges are looked for there only.
  double lo = -1e300, hi = 1e300;
  const double clearance = 0.1 * mmT;
  if (topEdge) lo = tTop + clearance;
  if (bottomEdge) hi = tBottom - clearance;
  for (double t : rowT) {
    const double reach = (p.holeAcross / 2) * mmT + clearance;
    if (t < middle) lo = std::max(lo, t + reach);
    else hi = std::min(hi, t - reach);
  }
  // Where the aperture may sit two ways, the band each puts picture in and
  // the other not: the one whose band stands out from the frame lines wins.
  std::vector<AcrossPrior> mine;
  for (const AcrossPrior& w : ways)
    if (w.aperture == aperture) mine.push_back(w);
  if (mine.size() == 2) {
    double contrast[2];
    for (int k = 0; k < 2; ++k) {
      const double lo = std::min(mine[k].middle, mine[1 - k].middle), hi = std::max(mine[k].middle, mine[1 - k].middle);
      const double shift = hi - lo, half = ap.across / 2 * mmT;
      // The band: beyond the other way's picture on this way's side.
      const bool upper = mine[k].middle < mine[1 - k].middle;
      const double from = upper ? mine[k].middle - half + 0.15 * shift : mine[1 - k].middle + half + 0.15 * shift;
      contrast[k] = pictureContrast(scan, axes, lines, from, from + 0.7 * shift);
    }
    DEBUGF(" <side %.1f %.1f>", contrast[0], contrast[1]);
    const double big = std::max(contrast[0], contrast[1]), small = std::min(contrast[0], contrast[1]);
    if (big >= kLeastContrast && big >= 2 * small) {
      mine = {mine[contrast[0] > contrast[1] ? 0 : 1]};
    } else {
      // The sound track, on the reference edge's side, where the Academy
      // picture leaves room for it: the way whose track's place shows
      // stripes or a wave running on through the frame lines.
      double sound[2];
      for (int k = 0; k < 2; ++k) {
        const double towards = mine[k].middle < middle ? 1 : -1;  // the reference edge lies opposite the shift
        const double centre = middle + towards * (p.width / 2 - kSoundMiddleMm) * mmT;
        sound[k] = variationThroughLines(scan, axes, lines, centre - kSoundHalfMm * mmT, centre + kSoundHalfMm * mmT);
      }
      DEBUGF(" <sound %.1f %.1f>", sound[0], sound[1]);
      const double loud = std::max(sound[0], sound[1]), quiet = std::min(sound[0], sound[1]);
      if (loud >= kLeastSound && quiet < 0.5 * loud) mine = {mine[sound[0] > sound[1] ? 0 : 1]};
    }
  }
  for (const AcrossPrior& w : mine) {
    const double top = w.middle - ap.across / 2 * mmT, bottom = w.middle + ap.across / 2 * mmT;
    DEBUGF(" <way %.1f..%.1f>", top, bottom);
    const PictureAcross e = measurePictureEdges(scan, axes, lines, {top, std::max(lo, top - slackT), top + slackT},
                                                {bottom, bottom - slackT, std::min(hi, bottom + slackT)});
    if (!any || e.score > across_.score) across_ = e, any = true;
  }

  DEBUGF(" {cand %d ap %d start %.1f%s(%.1f) end %.1f%s(%.1f) sc %.2f | top %.1f%s bot %.1f%s sc %.1f | ac/al %.4f}",
         lines.candidate, aperture, lines.start.at, lines.start.measured ? "m" : "p",
         -linePriors[lines.candidate].width / 2, lines.end.at, lines.end.measured ? "m" : "p",
         linePriors[lines.candidate].width / 2, lines.score, across_.top.at, across_.top.measured ? "m" : "p",
         across_.bottom.at, across_.bottom.measured ? "m" : "p", across_.score, across / along);
  out.registered = true;
  out.missing.clear();
  out.framePitch = lines.period * cosine;
  out.perforationPitch = out.framePitch / p.perforationsPerFrame;
  out.frameLineWidth = (lines.end.at - lines.start.at) * cosine;
  out.frames = placeFrames(axes, lines, across_, scan.size());
  const double tMiddle = (across_.top.at + across_.bottom.at) / 2;
  const double first = lines.middle - std::floor((lines.middle + 1) / lines.period) * lines.period;
  for (double s = first; s < scan.cols + 1; s += lines.period) {
    const double x = axes.point(s, tMiddle).x;
    if (x >= -0.5 && x <= scan.cols - 0.5) out.frameLines.push_back(x);
  }
  if (out.frames.empty()) {
    out.registered = false;
    out.missing = "room on the scan for a picture";
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
