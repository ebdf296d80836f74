// registerFrames: frames placed by the perforations, from one scan alone.
//
// The stages run in the order each needs the last: the rows of holes (best
// first), the pitch and tilt they give, the strip's edges, the gauge that
// fits it all; then the frames where the gauge's published geometry puts
// them against the holes (frame_priors.cpp), each edge refined where the
// scan shows it clearly: the frame lines along the strip, then the
// pictures' long edges across; last the windows. A candidate row the gauge
// rejects (edge lettering, a row of dust) gives way to the next. Once the
// holes and a gauge are found the frames are placed, whatever the scan
// shows of its frame lines; without them the record comes back
// unregistered and says what was missing. Nothing is printed or thrown.

#include "stages.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>

namespace registration {

namespace {

// Candidate rows tried, best first. A lone hole whose island fills its box
// poorly at every cut ranks behind a scene's specks, ten of them on a busy
// Super 8 frame.
constexpr size_t kRowsTried = 12;
// The least measures a strip rests on: the holes' two sizes and the pitch,
// and the strip's edges or a second row where the gauge puts them. Two
// blobs of like size at a pitch some gauge allows turn up in many a picture
// that is no film, and at the fine cuts in nearly any.
constexpr int kLeastMeasures = 4;
// Two gauge fits closer than this (in units of a measure's tolerance) are alike.
constexpr double kLikeMisfit = 0.5;
// Two fits further apart than this differ by more than one measure outweighs.
constexpr double kFarWorseMisfit = 1;
// A fit with a measure well beyond its tolerance is in doubt: a scene's
// figure that repeats at the frame pitch fits some gauge that loosely, while
// the holes themselves may not show at the usual cuts at all (a hole at a
// frame line as clear as itself is one with the line, across the whole
// strip, and taken away with it as a splice would be). The fine cuts then
// have their say too. A scene seldom repeats as two rows a strip's width
// apart, so two rows are in doubt only further out: the benchmark's scans,
// whose two rows of holes are true to no gauge's figures, fit within 1.9,
// and the fine cuts cost about twice the rest of the finder.
constexpr double kDoubtfulMisfit = 1.5, kDoubtfulMisfitTwoRows = 2;
// Gray levels: a picture that stands less than this from its frame lines
// tells nothing of where it lies; one picture alone, less than the second.
constexpr double kLeastContrast = 3, kLeastOnePictureContrast = 2;
// The Academy sound track's middle from the reference edge, and the half of
// its width looked at (the track runs 5.05 to 7.35 mm from the edge).
constexpr double kSoundMiddleMm = 6.2, kSoundHalfMm = 0.8;
// Gray levels: a dark scene's texture that tells it from unexposed film.
constexpr double kLeastTexture = 0.3;
// Gray levels: a track's stripes or wave differ from place to place by at least this.
constexpr double kLeastSound = 8;
// Gray levels: both bands that the smaller aperture's two ways tell apart
// stand at least this far from the frame lines, and within this share of
// each other, when a picture of the larger aperture fills both.
constexpr double kFilledContrast = 20, kAlikeContrast = 1.3;

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

// The two rows of a strip face each other: straight across from a hole of
// one lies a hole of the other, or where a pitch is known its place a whole
// number of pitches on, give or take what a tilt of a degree moves it over
// the distance across. Two specks of dust at like heights do not.
bool facing(const HoleRow& a, const HoleRow& b) {
  const double pitch = std::max(a.pitchX, b.pitchX);
  const double slack = 0.25 * a.size.width + 0.02 * std::abs(meanY(a) - meanY(b));
  const double x = a.holes.front().centre.x;
  for (const Hole& h : b.holes) {
    double off = std::abs(h.centre.x - x);
    if (pitch > 0) off = std::abs(off - pitch * std::round(off / pitch));
    if (off <= slack) return true;
  }
  return false;
}

// Another row of the same holes far across: the second edge of 35 mm or double-perforated 16 mm.
const HoleRow* partnerOf(const HoleRow& row, const std::vector<HoleRow>& rows) {
  const HoleRow* best = nullptr;
  for (const HoleRow& o : rows) {
    if (&o == &row || o.bright != row.bright) continue;
    if (std::abs(o.size.width / row.size.width - 1) > 0.25 || std::abs(o.size.height / row.size.height - 1) > 0.25) continue;
    if (std::abs(meanY(o) - meanY(row)) < 3 * row.size.height || !facing(row, o)) continue;
    // Pitches alike, or one a whole multiple of the other where holes went unseen.
    if (o.pitchX > 0 && row.pitchX > 0) {
      const double ratio = std::max(o.pitchX, row.pitchX) / std::min(o.pitchX, row.pitchX);
      if (std::abs(ratio - std::round(ratio)) > 0.05 * std::round(ratio)) continue;
    }
    if (!best || o.score > best->score) best = &o;
  }
  return best;
}

Strip measureStrip(const cv::Mat& gray, const SliceProfiles& slices, std::vector<const HoleRow*> rows) {
  Strip s;
  s.rows = std::move(rows);
  s.pitch = measurePitch(s.rows);
  s.edges = findStripEdges(slices, s.pitch.slope, s.pitch.slopeMeasured, *s.rows.front());
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
  m.edgeMayBeFar = !(s.edges.top && s.edges.bottom);
  s.gauge = identifyGauge(m);
  return s;
}

std::string describe(const HoleRow& row, int factor) {
  char text[160];
  std::snprintf(text, sizeof text, "no known gauge fits the perforations found (%.0f x %.0f px at a pitch of %.0f px)",
                row.size.width * factor, row.size.height * factor, row.pitchX * factor);
  return text;
}

// Lines across the pictures' inner part, whichever way the aperture sits:
// at most 48, each of them sampled a few rows thick.
std::vector<double> bandAcross(const std::vector<AcrossPrior>& ways, const Priors& p, double mmT) {
  double from = -1e300, to = 1e300;
  for (const AcrossPrior& w : ways) {
    const double half = 0.35 * p.apertures[w.aperture].across * mmT;
    from = std::max(from, w.middle - half), to = std::min(to, w.middle + half);
  }
  std::vector<double> ts;
  if (!(to > from)) return ts;
  const int n = std::clamp(static_cast<int>(to - from), 2, 48);
  for (int i = 0; i < n; ++i) ts.push_back(from + (to - from) * (i + 0.5) / n);
  return ts;
}

// Between two rows a gauge fits: of rows of three holes or more, and of
// rows of one or two, the one whose fit rests on more measures (the strip's
// edges where the gauge puts them, a second row); then, of like counts, the
// one the gauge fits better. A still scene's dark patch repeats at the
// frame pitch as often as the holes do, and a hole cut off by the scan's
// end costs the true row one; a sound track's wave repeats far more often
// than the holes, and two specks of grain fit a pitch of their own; but
// none lies where the strip's edges agree with. Fits within kLikeMisfit of
// each other the measures cannot tell apart: there the row of more holes
// (a scene's patch goes missing where a figure crosses it or the shot
// changes; the holes go on). Otherwise
// the row of more holes (a lone hole against a lone letter: the better fit).
// Of rows of a hole or two, one measure more does not outweigh a fit far
// worse: a scene's bright patch twice at the frame pitch, which a gauge
// fits only at the edge of what it accepts, against a lone hole that fits
// its gauge well.
bool betterStrip(size_t holes, const GaugeFit& fit, size_t bestHoles, const GaugeFit& bestFit) {
  const bool rows = std::min(holes, bestHoles) >= 3, few = std::max(holes, bestHoles) < 3;
  const bool alike = rows && 2 * std::min(holes, bestHoles) >= std::max(holes, bestHoles);
  if ((rows || few) && fit.measures != bestFit.measures) {
    const bool oneMore = std::abs(fit.measures - bestFit.measures) == 1;
    if (few && oneMore && std::abs(fit.misfit - bestFit.misfit) > kFarWorseMisfit) return fit.misfit < bestFit.misfit;
    return fit.measures > bestFit.measures;
  }
  if (alike && holes != bestHoles && std::abs(fit.misfit - bestFit.misfit) < kLikeMisfit) return holes > bestHoles;
  if (alike || holes == bestHoles) return fit.misfit < bestFit.misfit;
  return holes > bestHoles;
}

// Of the candidate rows a gauge fits (each with its partner row when it
// has one), the better by betterStrip.
std::optional<Strip> pickStrip(const cv::Mat& gray, const std::vector<HoleRow>& rows, int factor, std::string& missing) {
  std::optional<Strip> best;
  size_t bestHoles = 0;
  const SliceProfiles slices = sliceProfiles(gray);
  for (size_t i = 0; i < rows.size() && i < kRowsTried; ++i) {
    const HoleRow* partner = partnerOf(rows[i], rows);
    // A pair is tried once, from its better row; the lesser row is still tried alone, since
    // the better may be no hole at all (a still scene's bright patch repeating at the pitch).
    const bool pairMet = partner && meanY(*partner) < meanY(rows[i]) && partner->score >= rows[i].score;
    std::vector<std::vector<const HoleRow*>> tries;
    if (partner && !pairMet) tries.push_back({&rows[i], partner});
    tries.push_back({&rows[i]});
    bool fits = false;
    for (const auto& t : tries) {
      Strip candidate = measureStrip(gray, slices, t);
      if (candidate.gauge.gauge == Gauge::Unknown) continue;
      fits = true;
      size_t holes = 0;
      for (const HoleRow* r : t) holes += r->holes.size();
      if (!best || betterStrip(holes, candidate.gauge, bestHoles, best->gauge))
        best = std::move(candidate), bestHoles = holes;
      break;
    }
    if (!fits && rows[i].holes.size() >= 2 && missing.rfind("no row", 0) == 0) missing = describe(rows[i], factor);
  }
  return best;
}

// The strip's measures on the scan's own pixels: the reduced copy's axes
// carried over, so that its s and t map as toScan does.
StripMeasure onScan(const Strip& strip, const Reduced& reduced) {
  StripMeasure m;
  const StripAxes& a = strip.axes;
  m.axes = {a.slope, toScan(reduced, a.xMid), toScan(reduced, a.yMid)};
  m.pitch = strip.gauge.pitch * reduced.factor;
  m.pitchMeasured = strip.pitch.pitchX > 0;
  for (double t : strip.rowT) m.rowT.push_back(toScan(reduced, t));
  if (strip.edges.top) m.top = toScan(reduced, a.t({a.xMid, strip.edges.top->at(a.xMid)}));
  if (strip.edges.bottom) m.bottom = toScan(reduced, a.t({a.xMid, strip.edges.bottom->at(a.xMid)}));
  for (const HoleRow* r : strip.rows)
    for (const Hole& h : r->holes)
      m.holes.push_back({{toScan(reduced, h.centre.x), toScan(reduced, h.centre.y)}, h.size * static_cast<double>(reduced.factor)});
  std::sort(m.holes.begin(), m.holes.end(), [](const Perforation& x, const Perforation& y) { return x.centre.x < y.centre.x; });
  return m;
}

// Where the aperture may sit two ways (Academy 35 mm), the one the scan
// shows. First the sound track, on the reference edge's side where the
// picture leaves room for it, whose stripes or wave run on through the
// frame lines: nothing in a picture does that. Else the band each way puts
// picture in and the other not, whichever stands out from the frame lines
// (a figure in one band can mislead it, so it comes second). Else a track
// too faint to be sure of still tips it. Else the same for one picture
// alone, the one that stands out most. Else the band whose pictures show
// a texture the frame lines lack: a night scene barely differs from the
// film around it in level, but is never as flat. Both ways when the scan
// tells none. `filled` is set when no track tells a way and both bands
// show picture, alike: an Academy picture leaves one of them bare or to
// its track, a full-aperture picture fills both.
std::vector<AcrossPrior> sideOf(const cv::Mat& scan, const StripMeasure& m, const FramePriors& fp, const Priors& p,
                                const FrameLines& lines, std::vector<AcrossPrior> mine, bool& filled) {
  if (mine.size() != 2) return mine;
  double sound[2], contrast[2];
  for (int k = 0; k < 2; ++k) {
    const double towards = mine[k].middle < mine[1 - k].middle ? 1 : -1;  // the reference edge lies opposite the shift
    const double track = fp.middle + towards * (p.width / 2 - kSoundMiddleMm) * fp.mmT;
    sound[k] = variationThroughLines(scan, m.axes, lines, track - kSoundHalfMm * fp.mmT, track + kSoundHalfMm * fp.mmT);
  }
  const double loud = std::max(sound[0], sound[1]), quiet = std::min(sound[0], sound[1]);
  const int louder = sound[0] > sound[1] ? 0 : 1;
  if (loud >= kLeastSound && quiet < 0.5 * loud) return {mine[louder]};
  const double half = p.apertures[static_cast<size_t>(mine[0].aperture)].across / 2 * fp.mmT;
  const double shift = std::abs(mine[0].middle - mine[1].middle);
  // The band way k puts picture in and the other not starts here and runs 0.7 of the shift.
  auto bandOf = [&](int k) {
    const bool lower = mine[k].middle < mine[1 - k].middle;
    return lower ? mine[k].middle - half + 0.15 * shift : mine[1 - k].middle + half + 0.15 * shift;
  };
  for (int k = 0; k < 2; ++k) contrast[k] = pictureContrast(scan, m.axes, lines, bandOf(k), bandOf(k) + 0.7 * shift);
  const double big = std::max(contrast[0], contrast[1]), small = std::min(contrast[0], contrast[1]);
  if (small >= kFilledContrast && big <= kAlikeContrast * small) {
    filled = true;
    return mine;
  }
  if (big >= kLeastContrast && big >= 2 * small) return {mine[contrast[0] > contrast[1] ? 0 : 1]};
  if (loud > 0 && quiet < 0.5 * loud) return {mine[louder]};
  // A scene as flat as the film around it stands out in neither band over
  // all the pictures, but a picture of another shot may: each picture's
  // own contrast, the most any shows in each band.
  double one[2];
  for (int k = 0; k < 2; ++k)
    one[k] = pictureContrast(scan, m.axes, lines, bandOf(k), bandOf(k) + 0.7 * shift, true);
  const double most = std::max(one[0], one[1]), least = std::min(one[0], one[1]);
  if (most >= kLeastOnePictureContrast && most >= 2 * least) return {mine[one[0] > one[1] ? 0 : 1]};
  double texture[2];
  for (int k = 0; k < 2; ++k) texture[k] = pictureTexture(scan, m.axes, lines, bandOf(k), bandOf(k) + 0.7 * shift);
  const double rough = std::max(texture[0], texture[1]), smooth = std::min(texture[0], texture[1]);
  if (rough >= kLeastTexture && rough >= 1.5 * smooth) return {mine[texture[0] > texture[1] ? 0 : 1]};
  return mine;
}

// The pictures' long edges about each way left; the way the scan shows best.
PictureAcross acrossOf(const cv::Mat& scan, const StripMeasure& m, const FramePriors& fp, const Priors& p,
                       const FrameLines& lines, const std::vector<AcrossPrior>& ways) {
  PictureAcross best;
  bool any = false;
  for (const AcrossPrior& w : ways) {
    const double half = p.apertures[static_cast<size_t>(w.aperture)].across / 2 * fp.mmT;
    const double slack = kMiddleToleranceMm * fp.mmT + kSizeTolerance * half + 1;
    const double top = w.middle - half, bottom = w.middle + half;
    const PictureAcross e = measurePictureEdges(scan, m.axes, lines, {top, std::max(fp.lo, top - slack), top + slack},
                                                {bottom, bottom - slack, std::min(fp.hi, bottom + slack)});
    if (!any || e.score > best.score) best = e, any = true;
  }
  return best;
}

Registration registerStrip(const cv::Mat& scan) {
  Registration out;
  if (scan.empty() || scan.dims != 2 || scan.depth() != CV_8U || (scan.channels() != 1 && scan.channels() != 3)) {
    out.missing = "an 8-bit gray or colour scan";
    return out;
  }
  const Reduced reduced = reduceScan(scan);
  out.missing = "no row of perforations along the strip";
  if (reduced.gray.rows < 16 || reduced.gray.cols < 16) return out;
  const std::vector<HoleRow> rows = findHoleRows(reduced.gray);  // the strip points into these
  std::optional<Strip> strip = pickStrip(reduced.gray, rows, reduced.factor, out.missing);
  if (strip && strip->gauge.measures < kLeastMeasures) {
    strip.reset();
    out.missing = "no edge of the strip or second row confirms the perforations found";
  }
  // No film at the usual cuts, or film that fits its gauge in doubt: once
  // more at the fine ones, the closer fit kept. What was missing is told as
  // the usual cuts found it, the same for every scan that is no film.
  std::vector<HoleRow> fineRows;
  auto inDoubt = [](const Strip& s) {
    return s.gauge.misfit >= (s.rows.size() > 1 ? kDoubtfulMisfitTwoRows : kDoubtfulMisfit);
  };
  if (!strip || inDoubt(*strip)) {
    std::string unused;
    fineRows = findHoleRows(reduced.gray, true);
    std::optional<Strip> fine = pickStrip(reduced.gray, fineRows, reduced.factor, unused);
    if (fine && fine->gauge.measures < kLeastMeasures) fine.reset();
    if (fine && (!strip || fine->gauge.misfit < strip->gauge.misfit)) strip = std::move(fine);
  }
  if (!strip) return out;

  const Priors& p = *priorsOf(strip->gauge.gauge);
  const StripMeasure m = onScan(*strip, reduced);
  out.gauge = p.gauge;
  out.perforationsPerFrame = p.perforationsPerFrame;
  out.perforationRows = static_cast<int>(strip->rows.size());
  out.tiltDegrees = std::atan(m.axes.slope) * 180 / CV_PI;
  out.perforations = m.holes;

  // The priors, then along: the frame lines; across: the way the aperture sits and the long edges.
  const FramePriors fp = framePriors(m, p, scan.size());
  const std::vector<double> band = bandAcross(fp.ways, p, fp.mmT);
  const Rebate rebate = rebateOf(scan, m);
  FrameLines lines = measureFrameLines(scan, m.axes, band, fp.lines, fp.framing, rebate);
  if (lines.candidate < 0) {
    const LinePrior& l = fp.lines.front();
    lines = {0, l.middle, l.period, {-l.width / 2, false}, {l.width / 2, false}, 0};
  }
  auto waysOf = [&](int aperture) {
    std::vector<AcrossPrior> mine;
    for (const AcrossPrior& w : fp.ways)
      if (w.aperture == aperture) mine.push_back(w);
    return mine;
  };
  bool filled = false;
  std::vector<AcrossPrior> ways =
      sideOf(scan, m, fp, p, lines, waysOf(fp.lines[static_cast<size_t>(lines.candidate)].aperture), filled);
  if (filled) {
    // Picture where either way of the smaller aperture would leave none: the
    // lines once more, about the largest aperture's priors alone.
    int largest = 0;
    for (size_t a = 1; a < p.apertures.size(); ++a)
      if (p.apertures[a].across > p.apertures[static_cast<size_t>(largest)].across) largest = static_cast<int>(a);
    std::vector<LinePrior> its;
    for (const LinePrior& l : fp.lines)
      if (l.aperture == largest) its.push_back(l);
    const FrameLines again = measureFrameLines(scan, m.axes, band, its, fp.framing, rebate);
    if (again.candidate >= 0) lines = again, ways = waysOf(largest);
  }
  const PictureAcross across = acrossOf(scan, m, fp, p, lines, ways);

  const double cosine = m.axes.cosine();
  out.framePitch = lines.period * cosine;
  out.perforationPitch = out.framePitch / p.perforationsPerFrame;
  out.frameLineWidth = (lines.end.at - lines.start.at) * cosine;
  out.frames = placeFrames(m.axes, lines, across, p.perforationsPerFrame, scan.size());
  const double tMiddle = (across.top.at + across.bottom.at) / 2;
  const double first = lines.middle - std::floor((lines.middle + 1) / lines.period) * lines.period;
  for (double s = first; s < scan.cols + 1; s += lines.period) {
    const double x = m.axes.point(s, tMiddle).x;
    if (x >= -0.5 && x <= scan.cols - 0.5) out.frameLines.push_back(x);
  }
  out.registered = !out.frames.empty();
  out.missing = out.registered ? "" : "room on the scan for a picture";
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
