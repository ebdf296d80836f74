// measurePictureEdges: the pictures' long edges, measured about their priors.
//
// Beyond a picture's long edge lies film that runs unchanged along the
// strip: the unexposed margin, the clear or dark base. Within the picture
// the scene changes from place to place along the strip, and at the edge
// (nearly) every column of the picture steps from scene to margin. So each
// edge is looked for in a window about its prior as the line across the
// strip where the columns of the pictures (their inner part along, clear of
// the rounded corners and the frame lines) step the most, with the pictures
// varying along the strip on its inner side and the film flat on its outer
// side. The sound track, striped or wavy along the strip, is no edge by that
// test; nor is the margin's own edge against the base, nor a scratch along
// the margin, flat on both sides.
// The steps of all the pictures the scan holds are folded into one; the
// edge is taken when the fold's step is clear and the pictures agree on it,
// else where the pictures' median level, against the lines', steps to the
// margin's, else it stays at its prior.

#include "imaging/select_kth.hpp"
#include "stages.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace registration {

namespace {

constexpr double kLeastStep = 5;        // gray levels: a step below this is no evidence
// What a band must vary through the frame lines, against what it varies
// through the pictures, to run on through the lines.
constexpr double kThroughLines = 0.4;
// A faint step (gray levels) moves an edge at most this share of the
// picture's height from its prior: grain, a scene's soft gradient or the
// exposed film beyond a negative's gate step as faintly, and a prior is
// rarely further out than that.
constexpr double kFaintStep = 8, kFaintReach = 0.025;
// How far short of its aperture's a picture's measured height may fall. The
// published aperture is the largest a camera exposes; a smaller gate, a
// mask printed in and the across scale's own doubt only ever take from it,
// so a picture falls short of it further than it exceeds it.
constexpr double kShortfall = 0.06;
// The least a dark scene's median level must differ from the lines' (gray
// levels, and units of its own noise) to show its edge, and how many lines
// of margin beyond the edge must match the lines (the first line past it,
// blurred or on the dark rim a picture may have, aside).
constexpr double kLeastLevel = 2, kLevelNoise = 6, kMarginNoise = 3;
constexpr int kLevelMargin = 3;
// The fewest columns of frame line, and lines, whose median tells the margin's level.
constexpr size_t kLevelLineColumns = 8, kLevelLines = 2;
// How far apart the lines' own levels may lie, beyond half the picture's step: noise units.
constexpr double kLinesApart = 6;

double median(std::vector<double> v) {
  if (v.empty()) return NAN;
  return imaging::kthSmallest(v, v.size() / 2);
}

// The value `v` holds at index k once sorted; reorders `v`.
double nthOf(std::vector<double>& v, size_t k) {
  return imaging::kthSmallest(v, k);
}

struct EdgeEvidence {
  double at = 0;
  bool clear = false;
  double strength = 0;
};

// The bins of each picture's inner part along, and of the frame lines' inner part.
struct Columns {
  std::vector<std::vector<int>> pictures;
  std::vector<int> lines;
};

Columns columnsOf(const FrameLines& lines, double s0, double bin, int bins) {
  Columns out;
  const double length = lines.period - (lines.end.at - lines.start.at);
  auto binsIn = [&](double from, double to) {
    std::vector<int> js;
    for (int j = std::max(0, static_cast<int>(std::ceil((from - s0) / bin))); j < bins && s0 + (j + 1) * bin <= to; ++j)
      js.push_back(j);
    return js;
  };
  const double first = lines.middle - std::ceil((lines.middle - s0) / lines.period) * lines.period;
  for (double m = first - lines.period; m < s0 + bins * bin + lines.period; m += lines.period) {
    auto js = binsIn(m + lines.end.at + 0.12 * length, m + lines.period + lines.start.at - 0.12 * length);
    if (js.size() >= 3) out.pictures.push_back(std::move(js));
    for (int j : binsIn(m + lines.start.at + 1.5, m + lines.end.at - 1.5)) out.lines.push_back(j);
  }
  return out;
}

// An edge the columns' steps leave at its prior, where the pictures' median
// level shows it against the frame lines': beyond the edge both are the
// same unexposed margin, within it a dark scene lies a few levels off the
// line, lost in each column's grain but plain in the median over all of
// them. Outwards from a little inside the window, the edge is where that
// difference first falls below half the picture's, and it is taken when the
// margin beyond matches the lines and the edge lies in the window.
EdgeEvidence levelEdge(const cv::Mat& scan, const StripAxes& axes, const AcrossWindow& w, const cv::Mat& m,
                       const std::vector<double>& ts, const Columns& columns, double s0, double bin, int inward) {
  EdgeEvidence out;
  out.at = w.prior;
  const int n = static_cast<int>(ts.size());
  if (columns.lines.size() < kLevelLineColumns || n < 4) return out;
  std::vector<int> pictures;
  for (const auto& js : columns.pictures) pictures.insert(pictures.end(), js.begin(), js.end());
  // The lines one by one, as runs of neighbouring bins: the margin is told
  // by them only where several lie at one level (not across a splice).
  std::vector<std::vector<int>> each;
  for (size_t k = 0; k < columns.lines.size(); ++k) {
    if (k == 0 || columns.lines[k] != columns.lines[k - 1] + 1) each.emplace_back();
    each.back().push_back(columns.lines[k]);
  }
  if (each.size() < kLevelLines) return out;
  std::vector<double> v;
  auto medianAt = [&](const cv::Mat& rows, int i, const std::vector<int>& js) {
    v.clear();
    for (int j : js) {
      const float a = rows.at<float>(i, j);
      if (!std::isnan(a)) v.push_back(a);
    }
    return v.empty() || v.size() * 2 < js.size() ? static_cast<double>(NAN) : nthOf(v, v.size() / 2);
  };
  auto differenceAt = [&](const cv::Mat& rows, int i) { return medianAt(rows, i, pictures) - medianAt(rows, i, columns.lines); };
  const double tStep = ts[1] - ts[0];
  std::vector<double> insideTs;
  for (int k = 2; k <= 6; ++k) insideTs.push_back((inward > 0 ? w.to : w.from) + inward * k * tStep);
  const cv::Mat inside = sampleAlong(scan, axes, insideTs, s0, bin, m.cols);
  double sum = 0, apart = 0;
  int count = 0;
  for (int i = 0; i < inside.rows; ++i) {
    const double d = differenceAt(inside, i);
    if (std::isnan(d)) continue;
    sum += d, ++count;
    double lo = 1e300, hi = -1e300;
    for (const auto& js : each) {
      const double level = medianAt(inside, i, js);
      if (!std::isnan(level)) lo = std::min(lo, level), hi = std::max(hi, level);
    }
    apart += hi - lo;
  }
  if (count < 3) return out;
  const double picture = sum / count;
  // The difference's own noise, from neighbouring lines (a step is one pair of many).
  std::vector<double> d(static_cast<size_t>(n)), moves;
  for (int i = 0; i < n; ++i) d[static_cast<size_t>(i)] = differenceAt(m, i);
  for (size_t i = 0; i + 1 < d.size(); ++i)
    if (!std::isnan(d[i]) && !std::isnan(d[i + 1])) moves.push_back(std::abs(d[i + 1] - d[i]));
  if (moves.size() < 4) return out;
  const double noise = std::max(0.2, nthOf(moves, moves.size() / 2) / 0.954);
  if (std::abs(picture) < std::max(kLeastLevel, kLevelNoise * noise)) return out;
  if (apart / count > std::abs(picture) / 2 + kLinesApart * noise) return out;
  const int outward = -inward;
  int i = inward > 0 ? n - 1 : 0;
  double previous = NAN;
  for (; i >= 0 && i < n; i += outward) {
    const double share = d[static_cast<size_t>(i)] / picture;
    if (std::isnan(share)) return out;
    if (share < 0.5) break;
    previous = share;
  }
  if (i < 0 || i >= n || std::isnan(previous)) return out;
  for (int k = 2; k <= kLevelMargin + 1; ++k) {
    const int j = i + outward * k;
    if (j < 0 || j >= n) break;
    const double share = d[static_cast<size_t>(j)] / picture;
    if (std::isnan(share) || std::abs(share) > 0.25 || std::abs(share * picture) > kMarginNoise * noise) return out;
  }
  const double share = d[static_cast<size_t>(i)] / picture;
  const double at = ts[static_cast<size_t>(i - outward)] + outward * (previous - 0.5) / (previous - share) * tStep;
  if (at < w.from || at > w.to) return out;
  out.at = at;
  out.clear = true;
  return out;
}

EdgeEvidence measureEdge(const cv::Mat& scan, const StripAxes& axes, const FrameLines& lines, const AcrossWindow& w,
                         double height, int inward) {
  EdgeEvidence out;
  out.at = w.prior;
  if (!(w.to > w.from)) return out;
  const double length = lines.period - (lines.end.at - lines.start.at);
  const double tStep = std::max(1.0, height / 400);
  const int h = std::max(1, static_cast<int>(std::lround(1 / tStep)));
  const int from = static_cast<int>(std::floor((w.from - w.prior) / tStep)), to = static_cast<int>(std::ceil((w.to - w.prior) / tStep));
  std::vector<double> ts;
  for (int i = from - h; i <= to + h; ++i) ts.push_back(w.prior + i * tStep);
  const double bin = std::max(1.0, length / 200);
  const double margin = std::abs(axes.slope) * scan.rows + 2;
  const double s0 = -margin;
  const int bins = static_cast<int>(std::ceil((scan.cols + 2 * margin) / bin));
  const cv::Mat m = sampleAlong(scan, axes, ts, s0, bin, bins);
  const Columns columns = columnsOf(lines, s0, bin, bins);
  if (columns.pictures.empty()) return out;
  const int n = static_cast<int>(ts.size());
  // The step across the strip at line i that a third of the given columns
  // reach: a wild column, dust or a figure, does not move it, and a dark
  // scene whose bright part touches the edge over only some of its columns
  // still shows it. NaN where fewer than half the columns lie on the scan.
  std::vector<double> steps;
  auto stepOf = [&](const std::vector<int>& js, int i) {
    steps.clear();
    for (int j : js) {
      const float lo = m.at<float>(i - h, j), hi = m.at<float>(i + h, j);
      if (!std::isnan(lo) && !std::isnan(hi)) steps.push_back(std::abs(static_cast<double>(hi) - lo));
    }
    if (steps.empty() || steps.size() * 2 < js.size()) return static_cast<double>(NAN);
    return nthOf(steps, steps.size() * 2 / 3);
  };
  // Per picture, per line: its columns' step less the frame lines' step there (a margin's edge or the
  // sound track runs on past the pictures, through the lines).
  std::vector<std::vector<double>> step(columns.pictures.size(), std::vector<double>(n, NAN));
  std::vector<double> fold(n, NAN);
  for (int i = h; i + h < n; ++i) {
    const double line = columns.lines.size() >= 2 ? stepOf(columns.lines, i) : NAN;
    std::vector<double> v;
    for (size_t k = 0; k < columns.pictures.size(); ++k) {
      const double s = stepOf(columns.pictures[k], i);
      if (std::isnan(s)) continue;
      step[k][i] = std::isnan(line) ? s : s - line;
      v.push_back(step[k][i]);
    }
    fold[i] = median(v);
  }
  // A margin's edge, or a scratch or lettering along the strip beyond the
  // margin, is told from the picture's by what lies inside: the pictures
  // vary along the strip, the margin does not.
  const bool thin = columns.lines.size() < 2;
  std::vector<double> vary(n, NAN);
  for (int i = 0; i < n; ++i) {
    std::vector<double> v;
    for (const auto& js : columns.pictures) {
      steps.clear();
      for (int j : js) {
        const float a = m.at<float>(i, j);
        if (!std::isnan(a)) steps.push_back(a);
      }
      if (steps.size() * 2 < js.size() || steps.empty()) continue;
      const double mid = median(steps);
      double dev = 0;
      for (double a : steps) dev += std::abs(a - mid);
      v.push_back(dev / static_cast<double>(steps.size()));
    }
    vary[i] = median(v);
  }
  auto side = [&](int i, int direction) {
    double sum = 0;
    int count = 0;
    for (int d = h + 1; d <= h + 4; ++d) {
      const int j = i + direction * d;
      if (j >= 0 && j < n && !std::isnan(vary[j])) sum += vary[j], ++count;
    }
    return count ? sum / count : NAN;
  };
  // Right inside the edge the scene must vary at least as much as the film
  // beyond it: a scratch along the strip steps as sharply as a picture's
  // edge, but flat film lies on both its sides. Where the frame lines are
  // too thin to take the margin's own edge out of the step, it must vary
  // clearly more: a margin a few pixels wide between the picture and the
  // base must not pass for it.
  auto pictureInside = [&](int i) {
    const double out = side(i, -inward);
    if (std::isnan(out)) return false;
    for (int d = h + 1; d <= h + 2; ++d) {
      const int j = i + inward * d;
      if (j < 0 || j >= n || std::isnan(vary[j]) || vary[j] < (thin ? 1.5 * out + 1 : out)) return false;
    }
    return true;
  };
  int best = -1;
  for (int i = h; i + h < n; ++i)
    if (!std::isnan(fold[i]) && (best < 0 || fold[i] > fold[best]) && pictureInside(i)) best = i;
  auto byLevel = [&]() { return levelEdge(scan, axes, w, m, ts, columns, s0, bin, inward); };
  if (best < 0 || fold[best] < kLeastStep) return byLevel();
  // The pictures agree on it one by one.
  int agree = 0, voters = 0;
  for (const auto& p : step) {
    int own = -1;
    for (int i = h; i + h < n; ++i)
      if (!std::isnan(p[i]) && (own < 0 || p[i] > p[own])) own = i;
    if (own < 0) continue;
    ++voters;
    agree += std::abs(own - best) <= h;
  }
  if (agree * 3 < voters * 2) return byLevel();
  // A parabola through the peak and its neighbours places the edge between the lines.
  double offset = 0;
  if (best > h && best + h + 1 < n && !std::isnan(fold[best - 1]) && !std::isnan(fold[best + 1])) {
    const double a = fold[best - 1], c = fold[best + 1];
    const double den = a - 2 * fold[best] + c;
    if (den < 0) offset = std::clamp(0.5 * (a - c) / den, -0.5, 0.5);
  }
  out.at = ts[best] + offset * tStep;
  if (fold[best] < kFaintStep && std::abs(out.at - w.prior) > kFaintReach * height) {
    return byLevel();
  }
  out.clear = true;
  out.strength = fold[best];
  return out;
}

// The scan sampled along the strip over `rows` lines spread through [from,
// to] of t, in bins of a two-hundredth of a picture, and which bins lie in
// pictures and which in frame lines.
struct Band {
  cv::Mat samples;
  Columns columns;
  double length = 0, bin = 1;  // a picture's length along, the bins' width
};
Band sampleBand(const cv::Mat& scan, const StripAxes& axes, const FrameLines& lines, double from, double to, int rows) {
  Band out;
  out.length = lines.period - (lines.end.at - lines.start.at);
  out.bin = std::max(1.0, out.length / 200);
  const double margin = std::abs(axes.slope) * scan.rows + 2;
  const int bins = static_cast<int>(std::ceil((scan.cols + 2 * margin) / out.bin));
  out.columns = columnsOf(lines, -margin, out.bin, bins);
  std::vector<double> ts;
  for (int i = 0; i < rows; ++i) ts.push_back(from + (to - from) * (i + 0.5) / rows);
  out.samples = sampleAlong(scan, axes, ts, -margin, out.bin, bins);
  return out;
}

// Over a run of consecutive bins, the mean of the band's lines in each, and
// how far it moves over `apart` bins: one value per pair of bins.
void movesAlong(const cv::Mat& samples, const std::vector<int>& js, int apart, std::vector<double>& moves) {
  std::vector<double> mean(js.size(), NAN);
  for (size_t q = 0; q < js.size(); ++q) {
    double sum = 0;
    int count = 0;
    for (int i = 0; i < samples.rows; ++i) {
      const float a = samples.at<float>(i, js[q]);
      if (!std::isnan(a)) sum += a, ++count;
    }
    if (count > 0) mean[q] = sum / count;
  }
  for (size_t q = 0; q + static_cast<size_t>(apart) < js.size(); ++q)
    if (!std::isnan(mean[q]) && !std::isnan(mean[q + apart])) moves.push_back(std::abs(mean[q] - mean[q + apart]));
}

}  // namespace

double pictureContrast(const cv::Mat& scan, const StripAxes& axes, const FrameLines& lines, double from, double to,
                       bool eachPicture) {
  if (!(to > from) || !(lines.period > 8)) return NAN;
  const int n = std::clamp(static_cast<int>(to - from), 1, 24);
  const Band band = sampleBand(scan, axes, lines, from, to, n);
  const Columns& columns = band.columns;
  if (columns.pictures.empty() || columns.lines.size() < 2) return NAN;
  const cv::Mat& m = band.samples;
  std::vector<double> pic, line;
  // The mean over the rows of how far the median of the pictures' bins
  // `js` stands from the lines', over the rows where at least `least` of
  // them lie on the scan; NaN where fewer than half of the rows do.
  auto contrastOver = [&](const std::vector<const std::vector<int>*>& js, size_t least) {
    double sum = 0;
    int count = 0;
    for (int i = 0; i < n; ++i) {
      pic.clear(), line.clear();
      for (const std::vector<int>* p : js)
        for (int j : *p)
          if (!std::isnan(m.at<float>(i, j))) pic.push_back(m.at<float>(i, j));
      for (int j : columns.lines)
        if (!std::isnan(m.at<float>(i, j))) line.push_back(m.at<float>(i, j));
      if (pic.empty() || pic.size() < least || line.empty()) continue;
      // Less what the light's drift along the strip gives: beyond the picture,
      // film as bright as a print's base differs that much between the
      // pictures' columns and the lines' without any picture there.
      const double a = median(pic), b = median(line);
      sum += std::max(0.0, std::abs(a - b) - kLightDrift * std::max(a, b)), ++count;
    }
    return count > 0 && (least == 0 || 2 * count >= n) ? sum / count : NAN;
  };
  std::vector<const std::vector<int>*> all;
  for (const auto& js : columns.pictures) all.push_back(&js);
  if (!eachPicture) return contrastOver(all, 0);
  // A picture the scan cuts counts where a quarter of it is on the scan.
  double most = NAN;
  for (const std::vector<int>* js : all) {
    const double c = contrastOver({js}, (js->size() + 3) / 4);
    if (!std::isnan(c) && !(c <= most)) most = c;
  }
  return most;
}

double pictureTexture(const cv::Mat& scan, const StripAxes& axes, const FrameLines& lines, double from, double to) {
  if (!(to > from) || !(lines.period > 8)) return NAN;
  const int n = std::clamp(static_cast<int>(to - from), 1, 24);
  const Band band = sampleBand(scan, axes, lines, from, to, n);
  if (band.columns.pictures.empty()) return NAN;
  // Bins a twelfth of a picture apart: the scanner's light barely moves over that, a scene's texture does.
  const int apart = std::max(1, static_cast<int>(std::lround(band.length / 12 / band.bin)));
  std::vector<double> inPictures, inLines;
  for (const auto& js : band.columns.pictures) movesAlong(band.samples, js, apart, inPictures);
  if (inPictures.empty()) return NAN;
  // The lines' bins, one run a line, compared over at most half a line.
  std::vector<int> run;
  auto lineRun = [&] {
    const int within = std::min(apart, static_cast<int>(run.size()) / 2);
    if (within >= 1) movesAlong(band.samples, run, within, inLines);
    run.clear();
  };
  for (int j : band.columns.lines) {
    if (!run.empty() && j != run.back() + 1) lineRun();
    run.push_back(j);
  }
  if (!run.empty()) lineRun();
  const double texture = median(inPictures);
  return inLines.empty() ? texture : std::max(0.0, texture - median(inLines));
}

double variationThroughLines(const cv::Mat& scan, const StripAxes& axes, const FrameLines& lines, double from,
                             double to) {
  if (!(lines.period > 8) || !(to > from)) return 0;
  const Band band = sampleBand(scan, axes, lines, from, to, 8);
  const Columns& columns = band.columns;
  if (columns.pictures.empty() || columns.lines.size() < 4) return 0;
  const cv::Mat& m = band.samples;
  std::vector<double> pic, line, throughLines, throughPictures;
  for (int r = 0; r < m.rows; ++r) {
    pic.clear(), line.clear();
    for (const auto& js : columns.pictures)
      for (int j : js)
        if (!std::isnan(m.at<float>(r, j))) pic.push_back(m.at<float>(r, j));
    for (int j : columns.lines)
      if (!std::isnan(m.at<float>(r, j))) line.push_back(m.at<float>(r, j));
    if (pic.size() < 4 || line.size() < 4) return 0;
    // The mean departure from the row's median: a wave's row lies at one
    // level for most of its length and at the other for the rest, which a
    // median departure reads as no spread at all.
    auto spread = [](const std::vector<double>& v) {
      const double mid = median(v);
      double sum = 0;
      for (double a : v) sum += std::abs(a - mid);
      return sum / static_cast<double>(v.size());
    };
    throughLines.push_back(spread(line)), throughPictures.push_back(spread(pic));
  }
  // What a quarter of the rows reach: a track's stripes or wave fill most
  // rows of its band, while a scratch along the strip, which also runs on
  // through the lines, lies in one.
  const double inLines = nthOf(throughLines, throughLines.size() * 3 / 4);
  const double inPictures = nthOf(throughPictures, throughPictures.size() * 3 / 4);
  // A track varies along its whole length, but the lines show less of it
  // than the pictures do, a variable-density track's slow swell a little
  // under half; a figure in the band barely reaches the lines at all.
  return inLines >= kThroughLines * inPictures ? inLines : 0;
}

PictureAcross measurePictureEdges(const cv::Mat& scan, const StripAxes& axes, const FrameLines& lines,
                                  const AcrossWindow& top, const AcrossWindow& bottom) {
  PictureAcross out;
  out.top = {top.prior, false};
  out.bottom = {bottom.prior, false};
  if (!(lines.period > 8) || !(bottom.prior > top.prior)) return out;
  const EdgeEvidence t = measureEdge(scan, axes, lines, top, bottom.prior - top.prior, 1);
  const EdgeEvidence b = measureEdge(scan, axes, lines, bottom, bottom.prior - top.prior, -1);
  out.top = {t.at, t.clear};
  out.bottom = {b.at, b.clear};
  out.score = t.strength + b.strength;
  // The height as measured must be one the aperture allows (within the
  // size tolerance above it, kShortfall below): a figure or a band as dark
  // as the margin beside the picture moves an edge, and the aperture's size
  // tells on it. Of two edges measured, the one further from its prior is
  // given up; of one, that one, the other staying at its prior.
  const double prior = bottom.prior - top.prior;
  auto allowed = [&](double height) { return height / prior - 1 <= kSizeTolerance && 1 - height / prior <= kShortfall; };
  if (out.top.measured && out.bottom.measured && !allowed(out.bottom.at - out.top.at)) {
    if (std::abs(out.top.at - top.prior) > std::abs(out.bottom.at - bottom.prior)) out.top = {top.prior, false};
    else out.bottom = {bottom.prior, false};
  }
  if (out.top.measured && !out.bottom.measured && !allowed(bottom.prior - out.top.at)) out.top = {top.prior, false};
  if (out.bottom.measured && !out.top.measured && !allowed(out.bottom.at - top.prior)) out.bottom = {bottom.prior, false};
  return out;
}

}  // namespace registration
