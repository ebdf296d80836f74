// measureFrameLines: the frame lines' ends, measured about their priors.
//
// A frame line is film the camera never exposed: in every row across the
// picture it shows one and the same level, and it does so in every frame of
// the scan at the frame pitch. A picture beside it differs from it in most
// rows, however dark the scene, unless the scene is as flat and as dark as
// the line. So the line is found as a run of columns whose rows all keep
// the level they have in the line's most even column, within the noise:
// each row is its own reference (uneven light across the strip), the rows
// may move together by as little as light drifts along a line's width, and
// the median over the rows lets a hair or a scratch across a few of them
// pass. The runs of all the lines the scan holds are folded into one at the
// frame pitch; each end of the folded run is taken when it falls inside the
// prior's slack, steps sharply to picture, and the lines agree on it one by
// one, and only when the line it makes is one the gauge allows. Otherwise
// that end stays at the prior: a picture as dark as the line carries the
// run on past the line's end, and a figure just inside the picture must not
// pull the edge to itself. Unless, on the prior chosen, the rows' median
// level shows it: a flat scene a few levels off the line is lost in each
// row's grain, not in the median over all of them.
//
// With several priors (the four gaps and two apertures of 35 mm) the one
// whose lines the scan shows best wins: both ends measured, sharply, a
// middle that is line against flanks that are not, and rows that lie as
// evenly across the strip as unexposed film does, and a mean across them
// as flat as unexposed film gives, and a level no brighter than the
// rebate, and a line plain in the rows' median level, however faint in
// each row; the scan's framing on its pictures, and where its scene
// changes from one frame to the next, tell what the lines do not.

#include "imaging/select_kth.hpp"
#include "stages.hpp"

#include <algorithm>
#include <cmath>

namespace registration {

namespace {

// The rows' departure from their reference, in noise units, that still
// makes a column line, and that makes it picture; the least rise of the
// departure within the blur past an end that makes the end clear.
constexpr double kLine = 1.4, kNotLine = 1.8, kSharp = 0.6;
// How far a line's rows may move together over its width: a few noise
// units and kLightDrift's share of the level.
constexpr double kDrift = 2.5;
// What a prior's line loses per noise unit its rows spread across more than the evenest prior's.
constexpr double kUneven = 2;
// The flatness across: rows compared with those a sixth of the band either
// side (the scanner's light bends more slowly), against the noise of the
// mean and a thousandth of the level (its light's own small kinks); and what
// a prior loses per e-fold its line is less flat than the flattest gap's.
constexpr int kFlatReach = 6;
constexpr double kFlatLight = 0.001, kUnflat = 2.5;
// How much brighter than the rebate a line may show (a share of the
// rebate's level and gray levels: a thin line's blurred middle, grain, the
// scanner's uneven light), and what a prior loses whose line is brighter.
constexpr double kRebateShare = 1.1, kRebateSlack = 40, kBrighterThanRebate = 4;
// Within how far of the rebate's level (gray levels, or a share of it) a line
// lies at the rebate's, and what a prior whose line does gains.
constexpr double kAtRebateSlack = 8, kAtRebateShare = 0.06, kAtRebate = 1;
// On a colour negative's masked base: the share of the rebate's level below
// which a line's brightest bin shows exposed film, and what the prior loses.
constexpr double kDarkerThanMask = 0.75, kNotUnexposed = 20;
// What a prior loses on a scan of several frames that leaves one of its
// pictures cut where another prior fits one more whole: whoever scanned the
// strip framed its pictures, but may have cut the last one short.
constexpr double kCutPicture = 1;
// Where the scan differs from itself a frame on by at least this many gray
// levels more over one picture than over its neighbours (a change of shot),
// a prior whose pictures show less than this share of the most any prior
// shows loses this much: its pictures straddle the change.
constexpr double kLeastChange = 15, kChangeShare = 0.6, kAcrossChange = 2;
// How plainly, in noise units of the median over the rows, a line must step
// to both flanks to show in their median level, how many times plainer than
// at any other prior (a thin line is one bin, and a scene's thin stroke that
// repeats at the pitch shows nearly as well), and what the prior then gains.
constexpr double kProfileStep = 6, kProfileLead = 1.5, kProfileShown = 6;
// A line that many times plainer still, over at least that many lines, and
// what it gains besides: over the lines of a longer scan nothing else shows
// as plainly. A print's thin line beside pale pictures is blurred into them
// on both sides, so its rows lie less evenly and less flat across than a
// still scene's soft band a perforation off, which would otherwise win.
constexpr double kProfileDecisiveLead = 30, kProfileDecisive = 12;
constexpr int kProfileDecisiveLines = 3;
// How plainly, in those noise units, both pictures' median level must step
// from the line's for its ends to be taken from it, what share of that step
// the level must reach within the blur past an end, and what share of it
// (and two noise units) the line's own bins may stray from its level.
constexpr double kLevelStep = 6, kLevelReached = 0.75, kLevelEven = 0.25;

// Reorders v: every caller is done with its order.
double median(std::vector<double>& v) {
  if (v.empty()) return NAN;
  return imaging::kthSmallest(v, v.size() / 2);
}

// Rows sampled along the strip in bins that divide the frame pitch, so that
// every frame line falls on the bins alike.
struct Samples {
  cv::Mat rows;      // lines across x bins
  double s0 = 0, bin = 1;
  int apart = 1;     // bins between the two of a pair the noise is measured on
  // Per bin, computed when first asked for: the rows' spread, and their median difference to the bin `apart` on.
  mutable std::vector<double> spread, pair;
  // Per bin, its rows against a reference bin's: how far they move together and apart, and the reference's level.
  struct Departure {
    int ref = -1;
    float shift = 0, spread = 0, level = 0;
  };
  mutable std::vector<Departure> departures;
  // Per bin, the rows' median level (NaN where half of them fall off the
  // scan); filled only where several priors compete.
  std::vector<double> level;
  // Bin j holds the pixels whose centres lie in [leftOf(j), leftOf(j + 1)),
  // and so, on average over where the bins fall on the pixels, the scan
  // from leftOf(j) to leftOf(j + 1).
  double leftOf(int j) const { return s0 + j * bin; }
  int binAt(double s) const { return static_cast<int>(std::floor((s - s0) / bin)); }
};

// The rows' median level in every bin.
std::vector<double> medianLevels(const cv::Mat& m) {
  std::vector<double> out(static_cast<size_t>(m.cols), NAN), v;
  for (int j = 0; j < m.cols; ++j) {
    v.clear();
    for (int r = 0; r < m.rows; ++r) {
      const float a = m.at<float>(r, j);
      if (!std::isnan(a)) v.push_back(a);
    }
    if (!v.empty() && v.size() * 2 >= static_cast<size_t>(m.rows)) out[static_cast<size_t>(j)] = median(v);
  }
  return out;
}

// Mean absolute departure of bin j's rows from their median, each capped so
// that a scratch weighs little. The median is taken from `level` where that
// holds it (the same rows, the same median).
double binSpread(const cv::Mat& m, int j, const std::vector<double>& level) {
  double mid = level.empty() ? NAN : level[static_cast<size_t>(j)];
  if (std::isnan(mid)) {
    std::vector<double> v;
    for (int r = 0; r < m.rows; ++r) {
      const float a = m.at<float>(r, j);
      if (!std::isnan(a)) v.push_back(a);
    }
    if (v.empty()) return 1e6;
    mid = median(v);
  }
  double dev = 0;  // summed in the rows' order
  int counted = 0;
  for (int r = 0; r < m.rows; ++r) {
    const float a = m.at<float>(r, j);
    if (!std::isnan(a)) dev += std::min(24.0, std::abs(a - mid)), ++counted;
  }
  return dev / counted;
}

struct Evidence {
  double from = 0, to = 0;            // the folded run's ends, s offsets from the prior's middle
  bool fromClear = false, toClear = false;
  double fromRise = 0, toRise = 0;    // how sharply each end steps from line to picture, noise units
  double contrast = 0;                // how much more the lesser flank departs than the line's sure middle, -1..1
  bool broken = false;                // the run stops short of the line's sure middle
  int soft = 0;                       // ends that are not clear but fall right where the prior puts them
  int lines = 0;
  double evenness = 0;                // the rows' spread across in the most even bin, noise units
  double flatness = 0;                // the line's mean across, how far it bends; 0 when too few rows
  double level = 0;                   // the line's even bin, its mean over rows and lines
  double brightest = NAN;             // the rows' median level in the line's brightest bin, the median over the lines
  double profile = 0;                 // how plainly the rows' median level steps from the line to both flanks, noise units
};

// How far a line's mean across the strip bends, in units of what noise and
// light leave: film the camera never exposed is one level from edge to
// edge, while the darkest, flattest scene keeps a faint texture across that
// the mean over a whole line's width and every line brings out. The mean is
// taken over the bins within `core` of each line's middle; each row is
// compared with the mean of the rows a sixth of the band either side.
double flatnessAcross(const Samples& s, const std::vector<int>& middles, int half, double within, double core,
                      double noise) {
  const int rows = s.rows.rows, reach = std::max(2, rows / kFlatReach);
  std::vector<double> sum(static_cast<size_t>(rows), 0.0);
  std::vector<int> count(static_cast<size_t>(rows), 0);
  int bins = 0;
  for (int m : middles)
    for (int o = -half; o <= half; ++o) {
      if (std::abs(o * s.bin - within) > core) continue;
      ++bins;
      for (int r = 0; r < rows; ++r) {
        const float a = s.rows.at<float>(r, m + o);
        if (!std::isnan(a)) sum[r] += a, ++count[r];
      }
    }
  for (int r = 0; r < rows; ++r)
    if (count[r] > 0) sum[r] /= count[r];
  std::vector<double> bends, levels;
  for (int r = reach; r + reach < rows; ++r)
    if (count[r] > 0 && count[r - reach] > 0 && count[r + reach] > 0)
      bends.push_back(std::abs(sum[r] - (sum[r - reach] + sum[r + reach]) / 2)), levels.push_back(sum[r]);
  if (bends.size() < 4) return 0;
  const double floor = noise / std::sqrt(static_cast<double>(bins)) + kFlatLight * median(levels);
  return median(bends) / 0.6745 / floor + 1e-3;  // never 0, which stands for "not measured"
}

// The rows' median level about each line's middle bin, less its level
// there, the median over the lines: offsets -half..half.
std::vector<double> foldedLevels(const Samples& s, const std::vector<int>& middles, int half) {
  std::vector<double> fold(static_cast<size_t>(2 * half + 1), NAN), column;
  for (int o = -half; o <= half; ++o) {
    column.clear();
    for (int m : middles) {
      const double a = s.level[static_cast<size_t>(m + o)], b = s.level[static_cast<size_t>(m)];
      if (!std::isnan(a) && !std::isnan(b)) column.push_back(a - b);
    }
    fold[static_cast<size_t>(o + half)] = median(column);
  }
  return fold;
}

// How plainly the line shows in the rows' median level, folded over the
// lines: a core one level from end to end, both flanks beyond the blur
// stepping the same way from it, the lesser step less the core's own
// unevenness, in units of the median's noise, at the best middle within the
// prior's slack. A full aperture's hairline a few levels off a flat scene
// is lost in every row's grain, but not in the median over all of them;
// a wide line laid over a hairline and the picture beside it is no one
// level, and a hairline laid inside a wide line has no step to its flanks.
double profileStep(const Samples& s, const LinePrior& p, const std::vector<int>& middles, int half, double within,
                   double noise) {
  const std::vector<double> fold = foldedLevels(s, middles, half);
  auto at = [&](int o) { return fold[static_cast<size_t>(o + half)]; };
  auto meanOver = [&](int from, int to) {
    double sum = 0;
    int n = 0;
    for (int o = from; o <= to; ++o)
      if (!std::isnan(at(o))) sum += at(o), ++n;
    return n > 0 ? sum / n : NAN;
  };
  // A median over n rows has 1.25 times the noise of their mean; two such differ by sqrt(2) more.
  const double unit = 1.8 * noise / std::sqrt(static_cast<double>(s.rows.rows) * static_cast<double>(middles.size()));
  const int blur = std::max(1, static_cast<int>(std::ceil(1.5 / s.bin))) + 1;
  const double halfWidth = p.width / 2 / s.bin;
  const int core = std::max(0, static_cast<int>(std::floor(halfWidth - blur)));
  const int flankFrom = static_cast<int>(std::ceil(halfWidth + blur)), flankTo = flankFrom + std::max(2, blur);
  const int reach = static_cast<int>(std::ceil((p.middleSlack + std::abs(within)) / s.bin));
  double best = 0;
  for (int c = std::max(-reach, flankTo - half); c <= std::min(reach, half - flankTo); ++c) {
    const double line = meanOver(c - core, c + core), left = meanOver(c - flankTo, c - flankFrom),
                 right = meanOver(c + flankFrom, c + flankTo);
    if (!((left - line) * (right - line) > 0)) continue;  // NaN or flanks either side of the line
    double uneven = 0;
    for (int o = c - core; o <= c + core; ++o)
      if (!std::isnan(at(o))) uneven = std::max(uneven, std::abs(at(o) - line));
    best = std::max(best, (std::min(std::abs(left - line), std::abs(right - line)) - uneven) / unit);
  }
  return best;
}

// The brightest of the line's bins, their level the median over the lines:
// its inner part, three bins clear of each end's blur, wherever the line's
// middle may stray (a hairline's every bin).
double brightestBin(const Samples& s, const LinePrior& p, const std::vector<int>& middles, int half, double within) {
  const double reach = std::max(0.0, p.width / 2 - 3 * s.bin) + p.middleSlack;
  double brightest = NAN;
  std::vector<double> column;
  for (int o = -half; o <= half; ++o) {
    if (std::abs(o * s.bin - within) > reach) continue;
    column.clear();
    for (int m : middles)
      if (!std::isnan(s.level[static_cast<size_t>(m + o)])) column.push_back(s.level[static_cast<size_t>(m + o)]);
    const double level = median(column);
    if (!std::isnan(level) && !(level <= brightest)) brightest = level;
  }
  return brightest;
}

// The line as measured must be one the gauge allows: its width from the
// apertures' spread, its middle where the pin puts it.
bool plausibleLine(const LinePrior& p, double bin, double from, double to) {
  const double length = p.period - p.width, width = to - from;
  return width >= std::max(p.period - length * (1 + kSizeTolerance) - 2 * bin, p.leastWidth) &&
         width <= p.period - length * (1 - kSizeTolerance) + 2 * bin && std::abs((from + to) / 2) <= p.middleSlack + bin;
}

// A picture sits in the middle of its frame, so an aperture smaller than
// the prior's widens its line at both ends alike: an end measured alone,
// the other left at its prior, lies within half the size's doubt of its
// own prior (`off`, how far it lies from it).
bool aloneNearPrior(const LinePrior& p, double bin, double off) {
  return std::abs(off) <= kSizeTolerance / 2 * (p.period - p.width) + bin;
}

// The ends the rows do not show one by one, where the rows' median level
// shows them: a flat scene on a negative lies a few levels off its line,
// lost in each row's grain but plain in the median over every row of every
// line. The line's level is its most extreme bin within the prior's width;
// each picture's, the mean just past the prior's slack. Where both step the
// same way from the line and plainly, an end is where the level crosses
// halfway between the two, taken when that lies within the slack and the
// level reaches most of the picture's within the blur past it: a scene
// drifting off the line's level does not. Nor past `fromLimit` and
// `toLimit`, where the rows part as a scene's do, however dark.
void endsFromLevels(const Samples& s, const LinePrior& p, const std::vector<int>& middles, int half, double within,
                    double noise, double fromLimit, double toLimit, Evidence& out) {
  const std::vector<double> fold = foldedLevels(s, middles, half);
  auto at = [&](int o) { return fold[static_cast<size_t>(o + half)]; };
  auto offsetOf = [&](double o) { return o * s.bin - within; };
  const double unit = 1.8 * noise / std::sqrt(static_cast<double>(s.rows.rows) * static_cast<double>(middles.size()));
  const int blur = std::max(1, static_cast<int>(std::ceil(1.5 / s.bin))) + 1;
  int extreme = 0;
  double line = 0;
  auto flank = [&](int direction) {
    const int from = static_cast<int>(std::ceil((p.width / 2 + p.slack) / s.bin)) + blur;
    double sum = 0;
    int n = 0;
    for (int k = from; k <= std::min(half, from + blur); ++k)
      if (!std::isnan(at(direction * k))) sum += at(direction * k), ++n;
    return n > 0 ? sum / n : NAN;
  };
  const double left = flank(-1), right = flank(1);
  if (std::isnan(left) || std::isnan(right)) return;
  const double side = (left + right) / 2;
  for (int o = -half; o <= half; ++o)
    if (std::abs(offsetOf(o)) <= p.width / 2 && !std::isnan(at(o)) && std::abs(at(o) - side) > std::abs(line - side))
      line = at(o), extreme = o;
  const double step = std::min(std::abs(left - line), std::abs(right - line));
  if (!((left - line) * (right - line) > 0) || step < kLevelStep * unit) return;
  // Outwards from the extreme, the first crossing of halfway to the picture.
  auto crossing = [&](int direction, double picture, double& offset) {
    const double mid = (line + picture) / 2, sign = picture > line ? 1 : -1;
    for (int o = extreme; std::abs(o + direction) <= half; o += direction) {
      const double a = at(o), b = at(o + direction);
      if (std::isnan(a) || std::isnan(b)) return false;
      if ((b - mid) * sign < 0) continue;
      const int past = o + direction * (blur + 1);
      if (std::abs(past) > half || std::isnan(at(past)) || (at(past) - line) / (picture - line) < kLevelReached) return false;
      offset = offsetOf(o + direction * (mid - a) / (b - a));
      return std::abs(offset - direction * p.width / 2) <= p.slack;
    }
    return false;
  };
  // Taken only as a line the gauge allows, and never at the cost of an end the rows showed.
  double from = out.from, to = out.to;
  const bool newFrom = !out.fromClear && crossing(-1, left, from) && from >= fromLimit - blur * s.bin,
             newTo = !out.toClear && crossing(1, right, to) && to <= toLimit + blur * s.bin;
  auto allowed = [&](bool withFrom, bool withTo) {
    const bool fromKnown = out.fromClear || withFrom, toKnown = out.toClear || withTo;
    const double f = fromKnown ? (withFrom ? from : out.from) : -p.width / 2, t = toKnown ? (withTo ? to : out.to) : p.width / 2;
    if (!plausibleLine(p, s.bin, f, t)) return false;
    // A line is one level from end to end: a scene's dark margin at another
    // level is no part of it, though the far picture's level puts the halfway beyond it.
    for (int o = -half; o <= half; ++o) {
      const double x = offsetOf(o);
      if (x > f + blur * s.bin && x < t - blur * s.bin && !std::isnan(at(o)) &&
          std::abs(at(o) - line) > kLevelEven * step + 2 * unit)
        return false;
    }
    if (fromKnown && toKnown) return true;
    return fromKnown ? aloneNearPrior(p, s.bin, f + p.width / 2) : aloneNearPrior(p, s.bin, t - p.width / 2);
  };
  bool takeFrom = newFrom, takeTo = newTo;
  if (!allowed(takeFrom, takeTo)) {
    takeFrom = newFrom && allowed(true, false);
    takeTo = !takeFrom && newTo && allowed(false, true);
  }
  if (takeFrom) out.from = from, out.fromClear = true;
  if (takeTo) out.to = to, out.toClear = true;
}

// The fold of every visible line of a prior (or, `single`, of the one at its
// middle). In each, every row's level in the most even bin near the middle
// is its reference; how far the rows depart from it is the evidence, bin by bin.
Evidence foldLines(const Samples& s, const LinePrior& p, bool single = false, bool levelEnds = false) {
  Evidence out;
  const int half = static_cast<int>(std::ceil((p.width / 2 + p.slack) / s.bin)) + 4;
  const int centreReach = std::max(1, static_cast<int>(std::lround(kLineTolerance * p.period / s.bin)));
  const int bins = s.rows.cols;
  // Every line whose window lies wholly in the samples, by the bin holding its middle.
  const double first = p.middle - std::floor((p.middle - s.s0) / p.period) * p.period;
  std::vector<int> middles;
  for (double m = first; s.binAt(m) + half < bins; m += p.period)
    if (s.binAt(m) - half >= 0 && (!single || std::abs(m - p.middle) < p.period / 2)) middles.push_back(s.binAt(m));
  if (middles.empty()) return out;
  // Where the prior's middle lies within its bin (alike in every line, the bins dividing the pitch).
  const double within = first - (s.leftOf(s.binAt(first)) + s.bin / 2);
  // The even bin: the least spread of rows, summed over the lines, near the middle.
  int even = 0;
  double least = 1e300;
  for (int o = -centreReach; o <= centreReach; ++o) {
    double spread = 0;
    for (int m : middles) {
      double& cached = s.spread[m + o];
      if (std::isnan(cached)) cached = binSpread(s.rows, m + o, s.level);
      spread += cached;
    }
    if (spread < least) least = spread, even = o;
  }
  // Noise of one bin of one row: from the rows' differences between bins
  // three pixels or more apart (grain enlarged by a scanner clumps over
  // neighbours), taken where the window is flattest (a quarter of the
  // pairs), so that neither edges nor texture count.
  std::vector<double> pairs;
  std::vector<double> diffs;
  for (int m : middles)
    for (int o = -half; o + s.apart <= half; ++o) {
      double& cached = s.pair[m + o];
      if (std::isnan(cached)) {
        diffs.clear();
        for (int r = 0; r < s.rows.rows; ++r) {
          const float a = s.rows.at<float>(r, m + o), b = s.rows.at<float>(r, m + o + s.apart);
          if (!std::isnan(a) && !std::isnan(b)) diffs.push_back(std::abs(a - b));
        }
        cached = diffs.empty() ? -1 : median(diffs);
      }
      if (cached >= 0) pairs.push_back(cached);
    }
  if (pairs.empty()) return out;
  const double noise = std::max(0.5, imaging::kthSmallest(pairs, pairs.size() / 4) / 0.6745 / std::sqrt(2.0));
  // What two noisy values differ by, as the median over rows: a hair or a
  // speck across a few rows of the line moves it little.
  const double unit = 0.954 * noise;
  if (!s.level.empty()) {
    out.profile = profileStep(s, p, middles, half, within, noise);
    out.brightest = brightestBin(s, p, middles, half, within);
  }
  // Per line, per bin offset, how far the rows depart from their reference,
  // in units of the noise's: apart from each other (the rows of a line
  // move together, if the light drifts along the strip at all; a scene's
  // rows go their own ways) and, all together, by more than the light
  // drifts over a line's width (a scene flat across, a sky, at another level).
  std::vector<std::vector<double>> departures;
  std::vector<float> away;
  for (int m : middles) {
    std::vector<double> departure(2 * half + 1, 0);
    const int ref = m + even;
    for (int o = -half; o <= half; ++o) {
      Samples::Departure& d = s.departures[m + o];
      if (d.ref != ref) {
        away.clear();
        double level = 0;
        for (int r = 0; r < s.rows.rows; ++r) {
          const float base = s.rows.at<float>(r, ref), a = s.rows.at<float>(r, m + o);
          if (!std::isnan(base) && !std::isnan(a)) away.push_back(a - base), level += base;
        }
        d.ref = ref;
        if (away.empty()) {
          d.spread = 1e6f;
        } else {
          d.shift = imaging::kthSmallest(away, away.size() / 2);
          for (float& a : away) a = std::abs(a - d.shift);
          d.spread = imaging::kthSmallest(away, away.size() / 2);
          d.level = static_cast<float>(level / static_cast<double>(away.size()));
        }
      }
      const double together = std::abs(d.shift) / (kDrift * unit + kLightDrift * d.level) * kLine;
      departure[o + half] = std::max(d.spread / unit, together);
    }
    departures.push_back(std::move(departure));
  }
  out.lines = static_cast<int>(departures.size());
  for (int m : middles) out.level += s.departures[m + even].level / static_cast<double>(middles.size());
  out.evenness = least / static_cast<double>(middles.size()) / noise;
  // The fold: the median over the lines, the mean of two; once a bin.
  std::vector<double> fold(2 * half + 1), column;
  for (int o = -half; o <= half; ++o) {
    column.clear();
    for (const auto& d : departures) column.push_back(d[o + half]);
    fold[o + half] = column.size() == 2 ? (column[0] + column[1]) / 2 : median(column);
  }
  auto folded = [&](int o) { return fold[o + half]; };
  // The run about the even bin.
  auto runEnd = [&](auto departureAt, int direction) {
    int o = even;
    while (std::abs(o + direction) <= half && departureAt(o + direction) <= kLine) o += direction;
    return o;
  };
  const int lo = runEnd(folded, -1), hi = runEnd(folded, 1);

  // How sharply the departure rises just past an end: a frame line's end is
  // a step within the blur, a scene drifting off the line's level is not.
  const int blur = std::max(1, static_cast<int>(std::ceil(1.5 / s.bin)));
  auto rise = [&](int end, int direction) {
    const int past = end + direction * (blur + 1);
    if (std::abs(past) > half) return 0.0;
    const double a = folded(past), b = folded(end);
    return a >= kNotLine ? std::min(4.0, a - b) : 0.0;
  };
  auto agreed = [&](int end, int direction) {
    int agree = 0;
    for (const auto& d : departures) {
      auto own = [&](int o) { return d[o + half]; };
      agree += std::abs(runEnd(own, direction) - end) <= blur;
    }
    // Most lines, or one of two (dust on a line ends its own run early).
    return agree * 3 >= out.lines * 2 || (out.lines == 2 && agree == 1);
  };
  // Bin boundaries as offsets from the prior's middle.
  out.from = (lo - 0.5) * s.bin - within;
  out.to = (hi + 0.5) * s.bin - within;
  // A line is line all through its sure middle: a run that stops short of
  // it is a dark patch of picture beside a figure, not this line.
  const double sure = p.width / 2 - p.slack;
  // (Not for one line alone: only the choice between priors reads it.)
  if (!single) out.flatness = flatnessAcross(s, middles, half, within, sure > 0 ? sure : p.width / 2, noise);
  out.broken = sure > 0 && (out.from > -sure + s.bin || out.to < sure - s.bin);
  const bool fromInside = std::abs(out.from + p.width / 2) <= p.slack, toInside = std::abs(out.to - p.width / 2) <= p.slack;
  out.fromRise = fromInside ? rise(lo, -1) : 0;
  out.toRise = toInside ? rise(hi, 1) : 0;
  out.fromClear = out.fromRise >= kSharp && agreed(lo, -1);
  out.toClear = out.toRise >= kSharp && agreed(hi, 1);
  // The run stops at the last bin that is all line; the line's end lies in
  // the next, blurred one, as far in as that bin is still line: its rows'
  // departure from the reference as a share of the picture's a little
  // further on (least squares over the rows, the median over the lines).
  auto lineShare = [&](int end, int direction) {
    std::vector<double> shares;
    for (int m : middles) {
      const int ref = m + even, mixed = m + end + direction, pic = m + end + direction * (blur + 1);
      if (std::abs(end + direction * (blur + 1)) > half) continue;
      double num = 0, den = 0;
      for (int r = 0; r < s.rows.rows; ++r) {
        const float base = s.rows.at<float>(r, ref), a = s.rows.at<float>(r, mixed), b = s.rows.at<float>(r, pic);
        if (std::isnan(base) || std::isnan(a) || std::isnan(b)) continue;
        num += (a - base) * (b - base), den += (b - base) * (b - base);
      }
      if (den > 0) shares.push_back(std::clamp(1 - num / den, 0.0, 1.0));
    }
    return shares.empty() ? 0.0 : median(shares);
  };
  // A wide line beside a scene as dark as itself ends where the scene's
  // faint texture starts: no sharp step, but right at the prior's end, where
  // a dark patch's run seldom happens to stop.
  if (sure > 0) {
    const double reach = std::max(2 * s.bin, p.slack / 4);
    out.soft = (!out.fromClear && std::abs(out.from + p.width / 2) <= reach) +
               (!out.toClear && std::abs(out.to - p.width / 2) <= reach);
  }
  if (out.fromClear) out.from -= lineShare(lo, -1) * s.bin;
  if (out.toClear) out.to += lineShare(hi, 1) * s.bin;
  // Beyond any clear end: the flanks, picture whatever the slack, against
  // the middle that is line whatever it (a faint but telling texture). A
  // line has picture on both sides, so the lesser flank counts: a bright
  // band on one side of a dark patch does not make the patch a line. A line
  // thinner than its slack has no sure middle: its own few bins stand in
  // for it, and count a quarter.
  {
    const bool thin = sure <= 0;
    double core = 0, flanks[2] = {0, 0};
    int coreBins = 0, flankBins[2] = {0, 0};
    for (int o = -half; o <= half; ++o) {
      if (o == even) continue;
      const double offset = o * s.bin - within, at = std::abs(offset);
      if (at <= (thin ? p.width / 2 : sure)) core += folded(o), ++coreBins;
      else if (at >= p.width / 2 + p.slack) flanks[offset > 0] += std::min(folded(o), 4.0), ++flankBins[offset > 0];
    }
    if (coreBins >= (thin ? 1 : 3) && flankBins[0] >= 2 && flankBins[1] >= 2) {
      const double lesser = std::min(flanks[0] / flankBins[0], flanks[1] / flankBins[1]);
      out.contrast = std::clamp(lesser - core / coreBins, -1.0, 1.0) * (thin ? 0.25 : 1.0);
    }
  }
  // A figure just inside a dark picture carries a run past the line's end
  // and makes it too wide; that end, the one further from its prior, is given up.
  for (int pass = 0; pass < 2 && (out.fromClear || out.toClear); ++pass) {
    const double from = out.fromClear ? out.from : -p.width / 2, to = out.toClear ? out.to : p.width / 2;
    if (plausibleLine(p, s.bin, from, to)) break;
    if (out.fromClear && out.toClear) {
      if (std::abs(out.from + p.width / 2) > std::abs(out.to - p.width / 2)) out.fromClear = false;
      else out.toClear = false;
    } else {
      out.fromClear = out.toClear = false;
    }
  }
  // An end measured alone further out is a figure's edge inside a scene as
  // dark as the line; a line the pin put a little off its place is still
  // covered by the window's draw-in from an end left at its prior.
  if (out.fromClear != out.toClear) {
    if (out.fromClear && !aloneNearPrior(p, s.bin, out.from + p.width / 2)) out.fromClear = false;
    if (out.toClear && !aloneNearPrior(p, s.bin, out.to - p.width / 2)) out.toClear = false;
  }
  if (levelEnds && !s.level.empty() && !(out.fromClear && out.toClear)) {
    // Where the rows a blur past the run's end still depart from the line's,
    // they are a scene's, however dark: the line ends within the run. (Where
    // grain alone broke the run, they lie at the line's again.)
    auto parts = [&](int end, int direction) {
      const int past = end + direction * (blur + 1);
      return std::abs(past) <= half && folded(past) > kLine;
    };
    endsFromLevels(s, p, middles, half, within, noise, parts(lo, -1) ? out.from : -1e300, parts(hi, 1) ? out.to : 1e300, out);
  }
  return out;
}

// A prior whose pitch is known only roughly (one hole): the line beside the
// hole and its neighbours a frame either way measured one at a time, each in
// a window as wide as the pitch's doubt, and the period taken from their
// middles where both ends of two lines are clear.
LinePrior withMeasuredPeriod(const Samples& s, const LinePrior& prior) {
  auto middleOf = [&](double at, double slack, double& middle) {
    LinePrior one = prior;
    one.middle = at, one.slack = slack, one.periodSlack = 0;
    const Evidence e = foldLines(s, one, true);
    if (e.lines == 0 || !e.fromClear || !e.toClear) return false;
    middle = at + (e.from + e.to) / 2;
    return true;
  };
  double centre = prior.middle;
  middleOf(prior.middle, prior.slack, centre);
  double sum = 0;
  int count = 0;
  for (int d : {-1, 1}) {
    double other = 0;
    if (middleOf(prior.middle + d * prior.period, prior.slack + prior.periodSlack * prior.period, other)) {
      const double period = d * (other - centre);
      if (std::abs(period / prior.period - 1) <= prior.periodSlack) sum += period, ++count;
    }
  }
  LinePrior out = prior;
  out.periodSlack = 0;
  if (count == 0) return out;
  out.period = sum / count;
  out.middle = prior.anchor + (prior.middle - prior.anchor) * out.period / prior.period;
  return out;
}

// How many of the prior's pictures lie wholly on the scan.
int wholePictures(const LinePrior& p, const Framing& framing) {
  if (!(framing.to > framing.from)) return 0;
  int whole = 0;
  const double first = p.middle + std::floor((framing.from - p.middle) / p.period) * p.period;
  for (double m = first; m + p.period - p.width / 2 <= framing.to; m += p.period) whole += m + p.width / 2 >= framing.from;
  return whole;
}

// How far the scan differs from itself a frame further on, bin by bin: the
// median over the rows (NaN where half of them fall off the scan). Film
// changes from frame to frame, not within one: a change of shot, a flash,
// the light of the printer, each holds through a picture and steps at its lines.
// A change of shot moves most rows a long way, so every fourth row of the
// band tells it.
std::vector<double> frameToFrame(const Samples& s, double period) {
  const int bins = s.rows.cols, apart = static_cast<int>(std::lround(period / s.bin));
  const int step = std::max(1, s.rows.rows / 24), rows = (s.rows.rows + step - 1) / step;
  std::vector<double> change(static_cast<size_t>(bins), NAN), v;
  for (int j = apart; j < bins; ++j) {
    v.clear();
    for (int r = 0; r < s.rows.rows; r += step) {
      const float a = s.rows.at<float>(r, j), b = s.rows.at<float>(r, j - apart);
      if (!std::isnan(a) && !std::isnan(b)) v.push_back(std::abs(a - b));
    }
    if (v.size() * 2 >= static_cast<size_t>(rows)) change[static_cast<size_t>(j)] = median(v);
  }
  return change;
}

// The most by which one of the prior's pictures (its inner part along)
// differs from the one before more than either neighbour differs from its
// own: a change of shot at that picture's line, and the pictures the prior
// places whole about it.
double changeBetweenPictures(const Samples& s, const LinePrior& p, const std::vector<double>& change) {
  const int bins = s.rows.cols;
  auto meanOver = [&](double from, double to) {
    double sum = 0;
    int n = 0;
    for (int j = std::max(0, s.binAt(from) + 1); j < std::min(bins, s.binAt(to)); ++j)
      if (!std::isnan(change[static_cast<size_t>(j)])) sum += change[static_cast<size_t>(j)], ++n;
    return n > 0 && 2 * n >= 0.9 * (to - from) / s.bin ? sum / n : NAN;
  };
  const double trim = 0.08 * (p.period - p.width);
  double most = 0;
  for (double m = p.middle - std::floor((p.middle - s.s0) / p.period) * p.period - p.period; m < s.s0 + bins * s.bin;
       m += p.period) {
    const double from = m + p.width / 2 + trim, to = m + p.period - p.width / 2 - trim;
    const double here = meanOver(from, to), before = meanOver(from - p.period, to - p.period),
                 after = meanOver(from + p.period, to + p.period);
    if (std::isnan(here) || (std::isnan(before) && std::isnan(after))) continue;
    const double around = std::isnan(before) ? after : std::isnan(after) ? before : std::max(before, after);
    most = std::max(most, here - around);
  }
  return most;
}

}  // namespace

FrameLines measureFrameLines(const cv::Mat& scan, const StripAxes& axes, const std::vector<double>& ts,
                             const std::vector<LinePrior>& priors, const Framing& framing, const Rebate& rebate) {
  FrameLines out;
  if (priors.empty() || ts.empty() || !(priors[0].period > 8)) return out;
  // Bins about a hundred-and-fiftieth of the shortest picture (a frame
  // line's end to two thirds of a percent, finer than the window's inset),
  // at least a pixel, a whole number to the pitch.
  double shortest = 1e300;
  for (const LinePrior& p : priors) shortest = std::min(shortest, p.period - p.width);
  Samples s;
  const double period = priors[0].period;
  s.bin = period / std::max(1.0, std::floor(period / std::max(1.0, std::min(shortest / 150, 0.008 * period))));
  const double reach = std::abs(axes.slope) * scan.rows + 2;
  s.s0 = -reach;
  const int bins = static_cast<int>(std::ceil((scan.cols + 2 * reach) / s.bin));
  // Each sampled line the mean of up to four rows, so that grain weighs
  // less against the faint texture that tells a dark scene from the line:
  // the medians over the lines are then as steady as over twice as many
  // lines of two rows, and take half as long.
  const int thickness = ts.size() > 1 ? std::clamp(static_cast<int>(std::abs(ts[1] - ts[0])), 1, 4) : 1;
  s.rows = sampleAlong(scan, axes, ts, s.s0, s.bin, bins, thickness);
  s.apart = std::max(1, static_cast<int>(std::ceil(3 / s.bin)));
  s.spread.assign(bins, NAN);
  s.pair.assign(bins, NAN);
  s.departures.assign(bins, {});
  if (priors.size() > 1) s.level = medianLevels(s.rows);

  std::vector<LinePrior> measured(priors.size());
  std::vector<Evidence> evidence(priors.size());
  double evenest = 1e300;
  for (size_t i = 0; i < priors.size(); ++i) {
    measured[i] = priors[i].periodSlack > 0 ? withMeasuredPeriod(s, priors[i]) : priors[i];
    evidence[i] = foldLines(s, measured[i]);
    if (evidence[i].lines > 0) evenest = std::min(evenest, evidence[i].evenness);
  }
  // The flattest of each aperture's gaps: lines of one width compare alike.
  int apertures = 0;
  for (const LinePrior& p : priors) apertures = std::max(apertures, p.aperture + 1);
  std::vector<double> flattest(static_cast<size_t>(apertures), 1e300);
  for (size_t i = 0; i < priors.size(); ++i)
    if (evidence[i].lines > 0 && evidence[i].flatness > 0) {
      double& f = flattest[static_cast<size_t>(priors[i].aperture)];
      f = std::min(f, evidence[i].flatness);
    }
  std::vector<int> whole(priors.size());
  int mostWhole = 0;
  for (size_t i = 0; i < priors.size(); ++i) mostWhole = std::max(mostWhole, whole[i] = wholePictures(measured[i], framing));
  std::vector<double> change(priors.size(), 0);
  double mostChange = 0;
  if (priors.size() > 1) {
    const std::vector<double> frameChange = frameToFrame(s, period);
    for (size_t i = 0; i < priors.size(); ++i)
      mostChange = std::max(mostChange, change[i] = changeBetweenPictures(s, measured[i], frameChange));
  }
  size_t plainest = 0;
  double plainer = 0;  // the plainest profile but plainest's own
  for (size_t i = 1; i < priors.size(); ++i)
    if (evidence[i].profile > evidence[plainest].profile) plainest = i;
  for (size_t i = 0; i < priors.size(); ++i)
    if (i != plainest) plainer = std::max(plainer, evidence[i].profile);
  double best = -1e300;
  for (size_t i = 0; i < priors.size(); ++i) {
    const LinePrior& p = measured[i];
    const Evidence& e = evidence[i];
    if (e.lines == 0) continue;
    // A line shows both its ends where the scenes beside it differ from it;
    // one end alone is as often a figure's edge inside a dark scene. Then
    // how sharply the ends rise, the texture about them, ends that fall
    // softly right at the prior's, and a run that breaks off inside the line.
    // Last, how evenly the line's rows lie across the strip against the
    // evenest of the priors': film the camera never exposed is one level
    // from edge to edge but for the scanner's light, while the darkest scene
    // still varies across, and a gap that sits in one is only as even as it.
    const int clear = e.fromClear + e.toClear;
    double score = (clear == 2 ? 4 : clear) + 0.25 * ((e.fromClear ? e.fromRise : 0) + (e.toClear ? e.toRise : 0)) + e.contrast;
    score += 0.5 * e.soft - (e.broken ? 1 : 0) - kUneven * (e.evenness - evenest);
    // And how flat its mean across lies against the aperture's flattest gap:
    // a scene as dark and as even as the line still bends a little.
    if (e.flatness > 0) score -= kUnflat * std::log(e.flatness / flattest[static_cast<size_t>(p.aperture)]);
    // Film the camera never exposed is no brighter than the rebate: a
    // bright band inside a picture, between two dark parts, is no line.
    if (e.level > kRebateShare * rebate.level + kRebateSlack) score -= kBrighterThanRebate;
    // On a negative or reversal film the line is unexposed film like the
    // rebate, at its level, while a still scene's band that repeats at the
    // pitch lies at a level of its own. (A print's line is printed black,
    // far below its clear rebate: there this tells nothing.)
    if (std::abs(e.level - rebate.level) <= std::max(kAtRebateSlack, kAtRebateShare * rebate.level)) score += kAtRebate;
    // On a colour negative the line is the brightest the film gets: where
    // even its brightest part lies well below the masked base, it is a
    // still scene's dark band that repeats at the pitch, however plain.
    if (rebate.masked && e.brightest < kDarkerThanMask * rebate.level) score -= kNotUnexposed;
    // A line plain in the rows' median level, at this prior alone, is this
    // prior's, however faint in each row. Not where the scan is framed on
    // whole pictures and this prior would cut one that another keeps whole:
    // a still scene's step from dark to bright, beside a black line on
    // reversal film, shows plainer in that level than the line itself.
    const bool cutsAPicture = std::isnan(framing.centre) && mostWhole >= 2 && whole[i] < mostWhole;
    if (i == plainest && !cutsAPicture && e.profile >= kProfileStep && e.profile >= kProfileLead * plainer) {
      score += kProfileShown;
      if (e.profile >= kProfileDecisiveLead * plainer && e.lines >= kProfileDecisiveLines) score += kProfileDecisive;
    }
    // What the scan cannot tell, its framing does: a one-frame scan is
    // framed on its picture's middle, a longer one on whole pictures.
    if (!std::isnan(framing.centre)) {
      double off = std::fmod(framing.centre - (p.middle + p.period / 2), p.period);
      if (off < 0) off += p.period;
      const double away = std::min(off, p.period - off) / (p.period / 8);
      score -= 2 * away * away;
    } else if (mostWhole >= 2 && whole[i] < mostWhole) {
      score -= kCutPicture;
    }
    // A change of shot falls on a frame line: pictures that straddle it show less of it.
    if (mostChange >= kLeastChange && change[i] < kChangeShare * mostChange) score -= kAcrossChange;
    if (score <= best) continue;
    best = score;
    out.candidate = static_cast<int>(i);
    out.period = p.period;
    out.middle = p.middle;
    out.start = {e.fromClear ? e.from : -p.width / 2, e.fromClear};
    out.end = {e.toClear ? e.to : p.width / 2, e.toClear};
    out.score = score;
  }
  // The winner's ends the rows left at their priors, as the median level shows them.
  if (out.candidate >= 0 && !(out.start.measured && out.end.measured)) {
    if (s.level.empty()) s.level = medianLevels(s.rows);
    const LinePrior& p = measured[static_cast<size_t>(out.candidate)];
    const Evidence e = foldLines(s, p, false, true);
    out.start = {e.fromClear ? e.from : -p.width / 2, e.fromClear};
    out.end = {e.toClear ? e.to : p.width / 2, e.toClear};
  }
  return out;
}

}  // namespace registration
