// findHoleRows: the rows of perforations along the strip, on the reduced copy.
//
// A hole shows the scanner's light or its lid, but the base around it may be
// nearly as bright (a clear print) or as dark (reversal film on the lid),
// the light may fall off across the scan, and on many films an unexposed
// band as dark as the lid runs right beside the holes. So the holes are not
// cut from the copy at a level of its own but from what stands out of each
// row: the copy less its opening along x (bright holes) or its closing less
// the copy (dark holes), with a run longer than any hole. That takes away
// the light's slope, the band and the background beyond the strip (all long
// along x) and leaves each hole at its contrast with the base between holes;
// what still stands out all across the strip (a splice) is taken away too.
// The result is cut at a few contrasts and each cut's islands are judged by
// shape: a perforation is a filled, compact island that touches no edge of
// the scan. Edge lettering and dust pass that test too, so islands only
// count in a row: of like size, on a line at most a degree off the x axis,
// at a common pitch of at least 1.6 hole lengths (letters stand closer).
// The longest rows are then measured hole by hole, which also finds the
// holes the cut missed and drops torn or covered ones, and keeps only holes
// the film borders on all four sides (the base between two bright holes
// stands out of its row like a dark hole, but not of the film above and
// below it). Rows come back best first; the gauge decides which is real.

#include "stages.hpp"

#include <opencv2/core/hal/intrin.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace registration {

namespace {

struct Blob {
  double x, y, w, h, fill;
};

// How far each pixel stands out of its row: above the row's opening
// (bright) or below its closing (dark), over a run of `length` pixels.
// The least (or greatest) value of every run of `length` pixels down each
// column, centred on each pixel, the first and last rows repeated beyond:
// van Herk's and Gil and Werman's running extreme, a few comparisons a
// pixel whatever the run's length, each row's taken at once.
//
// Blocks of `length` rows (the first starting `half` rows above the copy):
// a pixel's run spans the rest of its block, whose extremes a pass upwards
// gives (suffix), and the start of the next, whose extremes a pass
// downwards gives (prefix). So only one block of each is held at a time,
// small enough to come from the allocator's free memory, not new pages.
template <bool Least>
cv::Mat runDown(const cv::Mat& src, int length) {
  const int n = src.rows, w = src.cols, half = length / 2;
  cv::Mat dst(n, w, CV_8U);
  std::vector<uchar> suffix(static_cast<size_t>(length) * w), prefix(static_cast<size_t>(length) * w);
  auto row = [&](int i) { return src.ptr<uchar>(std::clamp(i - half, 0, n - 1)); };
  auto pick = [](uchar x, uchar y) { return Least ? std::min(x, y) : std::max(x, y); };
  for (int from = 0; from < n; from += length) {
    uchar* h = suffix.data();
    std::copy(row(from + length - 1), row(from + length - 1) + w, h + static_cast<size_t>(length - 1) * w);
    for (int k = length - 2; k >= 0; --k) {
      const uchar *next = h + static_cast<size_t>(k + 1) * w, *a = row(from + k);
      uchar* out = h + static_cast<size_t>(k) * w;
      for (int x = 0; x < w; ++x) out[x] = pick(next[x], a[x]);
    }
    std::copy(h, h + w, dst.ptr<uchar>(from));
    const int rows = std::min(length, n - from);
    if (rows < 2) continue;
    uchar* g = prefix.data();
    std::copy(row(from + length), row(from + length) + w, g);
    for (int k = 1; k + 1 < rows; ++k) {
      const uchar *prev = g + static_cast<size_t>(k - 1) * w, *a = row(from + length + k);
      uchar* out = g + static_cast<size_t>(k) * w;
      for (int x = 0; x < w; ++x) out[x] = pick(prev[x], a[x]);
    }
    for (int k = 1; k < rows; ++k) {
      const uchar *left = h + static_cast<size_t>(k) * w, *right = g + static_cast<size_t>(k - 1) * w;
      uchar* out = dst.ptr<uchar>(from + k);
      for (int x = 0; x < w; ++x) out[x] = pick(left[x], right[x]);
    }
  }
  return dst;
}

// An opening (bright) or closing down each column, over runs of `length`.
cv::Mat openDown(const cv::Mat& src, int length, bool bright) {
  return bright ? runDown<false>(runDown<true>(src, length), length)
                : runDown<true>(runDown<false>(src, length), length);
}

// A splice or a bright band across the strip stands out of its row just as
// a hole does, and may touch one; it runs across the whole strip, while a
// hole runs across a fifth of it at most, so what stays standing out over
// `length` rows across is taken away as well. `ofRow`, if given, receives
// what stands out of each row before that. `along` is the copy turned, its
// rows down the columns, turned once for both senses.
cv::Mat standOut(const cv::Mat& gray, const cv::Mat& along, int length, bool bright, cv::Mat* ofRow = nullptr) {
  cv::Mat smooth, ofItsRow, out;
  cv::transpose(openDown(along, length, bright), smooth);
  if (bright) cv::subtract(gray, smooth, ofItsRow);
  else cv::subtract(smooth, gray, ofItsRow);
  cv::subtract(ofItsRow, openDown(ofItsRow, length, true), out);
  if (ofRow) *ofRow = ofItsRow;
  return out;
}

// Filled, compact islands above `level` that touch no edge of the copy.
std::vector<Blob> blobsAt(const cv::Mat& contrast, double level) {
  std::vector<Blob> out;
  for (const IslandBox& b : islandBoxes(contrast, static_cast<int>(std::floor(level)))) {
    const int w = b.x1 - b.x0 + 1, h = b.y1 - b.y0 + 1;
    if (w < 3 || h < 3 || b.area < 8) continue;
    if (b.x0 == 0 || b.y0 == 0 || b.x1 == contrast.cols - 1 || b.y1 == contrast.rows - 1) continue;
    if (h > contrast.rows * 0.4 || w > contrast.cols * 0.4) continue;
    const double fill = static_cast<double>(b.area) / (static_cast<double>(w) * h);
    const double aspect = static_cast<double>(w) / h;
    if (fill < 0.65 || aspect < 0.35 || aspect > 2.8) continue;
    out.push_back({b.x0 + (w - 1) / 2.0, b.y0 + (h - 1) / 2.0, static_cast<double>(w), static_cast<double>(h), fill});
  }
  return out;
}

bool likeSized(const Blob& a, const Blob& b) {
  return std::max(a.w, b.w) <= 1.3 * std::min(a.w, b.w) && std::max(a.h, b.h) <= 1.3 * std::min(a.h, b.h);
}

// Whether v >= 0 lies further than `tolerance` from a whole number. Rounded
// by a cast: std::round is a library call on the baseline x86-64.
bool offWhole(double v, double tolerance) {
  return std::abs(v - static_cast<double>(static_cast<long long>(v + 0.5))) > tolerance;
}

}  // namespace

// Counted for every pair of islands at every pitch tried, so in whole
// numbers, which a vector of floats holds exactly: with O = 2 o and
// D = 2 d, o lies O k / D steps out. The nearest step m comes from a
// reciprocal, which can miss it only where o lies half-way between steps,
// off either; o then lies off its step by more than a tenth where
// 10 |O k - m D| > D. Exactly a tenth off, where the division's rounding
// may fall either side, the division decides.
size_t offStepCount(const std::vector<float>& twiceOffsets, double d, int k) {
  const float twiceD = static_cast<float>(2 * d), perTwiceD = 1 / twiceD, steps = static_cast<float>(k);
  int misses = 0, tenthOff = 0;
  for (const float twiceO : twiceOffsets) {
    const float scaled = twiceO * steps;
    const float m = static_cast<float>(static_cast<int>(scaled * perTwiceD + 0.5f));
    const float tenths = 10 * std::abs(scaled - m * twiceD);
    misses += tenths > twiceD;
    tenthOff += tenths == twiceD;
  }
  if (tenthOff == 0) return static_cast<size_t>(misses);
  size_t counted = 0;
  for (const float twiceO : twiceOffsets) counted += offWhole(twiceO / 2.0 / (d / k), 0.1);
  return counted;
}

namespace {

// Rows of like blobs: the longest row through each blob, longest first, a
// blob already in a longer row starting none of its own.
std::vector<std::vector<int>> rowsOf(const std::vector<Blob>& blobs) {
  std::vector<std::vector<int>> rows;
  constexpr double kSlope = 0.025;  // a little over a degree and a third
  std::vector<double> offsets, distances;
  std::vector<float> twiceOffsets;
  std::vector<int> partners;
  for (size_t i = 0; i < blobs.size(); ++i) {
    const Blob& a = blobs[i];
    partners.clear();
    for (size_t j = 0; j < blobs.size(); ++j) {
      const Blob& b = blobs[j];
      if (j == i || !likeSized(a, b)) continue;
      const double dx = b.x - a.x;
      if (std::abs(dx) < 1.6 * a.w || std::abs(b.y - a.y) > kSlope * std::abs(dx) + 0.25 * a.h) continue;
      partners.push_back(static_cast<int>(j));
    }
    // The pitch that puts the most partners on whole steps from this blob;
    // the longest such. Counted first, the members gathered once at the end.
    // Whole steps either way are alike, so only the distance counts.
    offsets.clear();
    twiceOffsets.clear();
    for (int m : partners) {
      offsets.push_back(std::abs(blobs[m].x - a.x));
      twiceOffsets.push_back(static_cast<float>(2 * offsets.back()));  // whole: centres lie on half pixels
    }
    // Which pitch is best does not hang on the order they are tried in, so
    // a distance two partners share (blobs lie on half pixels) is tried once.
    distances = offsets;
    std::sort(distances.begin(), distances.end());
    distances.erase(std::unique(distances.begin(), distances.end()), distances.end());
    size_t bestCount = 0;
    double bestPitch = 0;
    for (double dx : distances)
      for (int k = 1; k <= 4; ++k) {
        const double pitch = dx / k;
        if (pitch < 1.6 * a.w) break;
        // This pitch is the best so far with `reach` partners on it.
        const size_t reach = bestCount + (pitch > bestPitch ? 0 : 1);
        if (reach > offsets.size()) continue;
        const size_t misses = offStepCount(twiceOffsets, dx, k);
        if (misses <= offsets.size() - reach) bestCount = offsets.size() - misses, bestPitch = pitch;
      }
    std::vector<int> best;
    best.reserve(bestCount + 1);
    if (bestPitch > 0)
      for (size_t m = 0; m < partners.size(); ++m)
        if (!offWhole(offsets[m] / bestPitch, 0.1)) best.push_back(partners[m]);
    best.push_back(static_cast<int>(i));
    std::sort(best.begin(), best.end(), [&](int p, int q) { return blobs[p].x < blobs[q].x; });
    rows.push_back(best);
  }
  std::stable_sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) { return a.size() > b.size(); });
  std::vector<char> taken(blobs.size(), 0);
  std::vector<std::vector<int>> kept;
  for (auto& row : rows) {
    if (std::any_of(row.begin(), row.end(), [&](int m) { return taken[m]; })) continue;
    for (int m : row) taken[m] = 1;
    kept.push_back(std::move(row));
  }
  return kept;
}

double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
  return v[v.size() / 2];
}

// One hole measured on the contrast image: the level inside its middle,
// the base on a ring a quarter of its size out, and each pixel weighted by
// where it lies between the two. Only the island of the hole itself is
// weighed (the pixels past half-way that join its middle, with a pixel's
// fringe for the soft edge), so letters, picture or dust near it pull
// nothing; an island that runs out of its box (a hole torn open, or joined
// to something) is cut to the size expected. The ring may run off the
// copy's end (a hole near the scan's edge), the hole itself may not.
// Nothing when the hole barely stands out.
std::optional<Hole> measureHole(const cv::Mat& image, cv::Point2d centre, cv::Size2d size, double minContrast,
                                double* contrastOut = nullptr) {
  const double ringW = 0.5 * size.width + std::max(2.0, 0.25 * size.width);
  const double ringH = 0.5 * size.height + std::max(2.0, 0.25 * size.height);
  const cv::Rect ring(static_cast<int>(std::floor(centre.x - ringW)), static_cast<int>(std::floor(centre.y - ringH)),
                      static_cast<int>(std::ceil(2 * ringW)) + 1, static_cast<int>(std::ceil(2 * ringH)) + 1);
  const cv::Rect all(0, 0, image.cols, image.rows);
  // The hole itself must lie on the copy; its ring may be cut by the copy's end.
  const cv::Rect own(static_cast<int>(std::floor(centre.x - size.width / 2)), static_cast<int>(std::floor(centre.y - size.height / 2)),
                     static_cast<int>(std::ceil(size.width)) + 1, static_cast<int>(std::ceil(size.height)) + 1);
  if ((own & all) != own) return std::nullopt;
  const cv::Rect ringIn = ring & all;
  const double boxW = 1.1 * size.width + 2, boxH = 1.1 * size.height + 2;
  const cv::Rect box = cv::Rect(static_cast<int>(std::floor(centre.x - boxW)), static_cast<int>(std::floor(centre.y - boxH)),
                                static_cast<int>(std::ceil(2 * boxW)) + 1, static_cast<int>(std::ceil(2 * boxH)) + 1) & all;
  // Medians of the middle and of the ring, from histograms.
  std::array<int, 256> inner{}, border{};
  int innerCount = 0, borderCount = 0;
  const double innerW = std::max(1.0, 0.25 * size.width), innerH = std::max(1.0, 0.25 * size.height);
  // The ring is the rectangle's edge; the middle, the columns within innerW
  // of the centre (tried a column either side of where they should start
  // and end, so that rounding cannot lose one).
  const int left = ringIn.x, right = ringIn.x + ringIn.width - 1;
  const int innerFrom = std::max(left + 1, static_cast<int>(std::floor(centre.x - innerW)) - 1);
  const int innerTo = std::min(right - 1, static_cast<int>(std::ceil(centre.x + innerW)) + 1);
  for (int r = ringIn.y; r < ringIn.y + ringIn.height; ++r) {
    const uchar* p = image.ptr<uchar>(r);
    if (r == ringIn.y || r == ringIn.y + ringIn.height - 1) {
      for (int c = left; c <= right; ++c) ++border[p[c]];
      borderCount += right - left + 1;
      continue;
    }
    ++border[p[left]], ++borderCount;
    if (right != left) ++border[p[right]], ++borderCount;
    if (std::abs(r - centre.y) <= innerH)
      for (int c = innerFrom; c <= innerTo; ++c)
        if (std::abs(c - centre.x) <= innerW) ++inner[p[c]], ++innerCount;
  }
  auto median = [](const std::array<int, 256>& h, int count) {
    int seen = 0;
    for (int v = 0; v < 256; ++v)
      if ((seen += h[v]) * 2 > count) return static_cast<double>(v);
    return 255.0;
  };
  if (innerCount == 0) return std::nullopt;
  const double hole = median(inner, innerCount), base = median(border, borderCount);
  if (hole - base < minContrast) return std::nullopt;

  // The island: past half-way and joined to the middle (4-connected),
  // filled on a copy of the box framed by a pixel that is never past, so
  // the fill needs no bounds; then grown by a pixel each way (3 x 3).
  const cv::Mat roi = image(box);
  // A whole level is past half-way when it is past half-way's whole part.
  const int past = static_cast<int>(std::floor((hole + base) / 2));
  const int stride = roi.cols + 2;
  enum : uchar { kNot = 0, kPast = 1, kIsland = 2 };
  // Only the frame is set apart from the box's own pixels: a hole is
  // measured thousands of times a run, and clearing the whole copy first cost
  // as much as filling it.
  const std::unique_ptr<uchar[]> cell(new uchar[static_cast<size_t>(roi.rows + 2) * stride]);
  std::fill_n(&cell[0], stride, kNot);
  std::fill_n(&cell[static_cast<size_t>(roi.rows + 1) * stride], stride, kNot);
  for (int r = 0; r < roi.rows; ++r) {
    const uchar* p = roi.ptr<uchar>(r);
    uchar* q = &cell[static_cast<size_t>(r + 1) * stride + 1];
    q[-1] = q[roi.cols] = kNot;
    for (int c = 0; c < roi.cols; ++c) q[c] = p[c] > past ? kPast : kNot;
  }
  const cv::Point middle(cvRound(centre.x) - box.x, cvRound(centre.y) - box.y);
  const int seed = (middle.y + 1) * stride + middle.x + 1;
  if (cell[seed] != kPast) return std::nullopt;
  int x0 = middle.x, x1 = middle.x, y0 = middle.y, y1 = middle.y;
  std::vector<int> pending{seed};
  cell[seed] = kIsland;
  while (!pending.empty()) {
    const int i = pending.back();
    pending.pop_back();
    const int x = i % stride - 1, y = i / stride - 1;
    x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
    for (const int j : {i - 1, i + 1, i - stride, i + stride})
      if (cell[j] == kPast) cell[j] = kIsland, pending.push_back(j);
  }
  if (x0 == 0 || y0 == 0 || x1 == roi.cols - 1 || y1 == roi.rows - 1) {
    // Joined to something beyond the box: keep the expected size about the middle.
    const cv::Rect expected(cvRound(centre.x - size.width / 2 - 1.5) - box.x, cvRound(centre.y - size.height / 2 - 1.5) - box.y,
                            cvRound(size.width + 3), cvRound(size.height + 3));
    const cv::Rect keep = expected & cv::Rect(0, 0, roi.cols, roi.rows);
    for (int r = 0; r < roi.rows; ++r)
      for (int c = 0; c < roi.cols; ++c)
        if (!keep.contains({c, r})) {
          uchar& v = cell[static_cast<size_t>(r + 1) * stride + c + 1];
          if (v == kIsland) v = kPast;
        }
  }
  // Grown along each framed row first, then across three of those rows;
  // only over the island's box and a pixel round it, where all it grows lies.
  const int gx0 = std::max(0, x0 - 1), gx1 = std::min(roi.cols - 1, x1 + 1);
  const int gy0 = std::max(0, y0 - 1), gy1 = std::min(roi.rows - 1, y1 + 1);
  const int gw = gx1 - gx0 + 1;
  std::vector<uchar> grown(static_cast<size_t>(gy1 - gy0 + 3) * gw);
  for (int r = gy0; r <= gy1 + 2; ++r) {
    const uchar* at = &cell[static_cast<size_t>(r) * stride + 1 + gx0];
    uchar* g = &grown[static_cast<size_t>(r - gy0) * gw];
    for (int c = 0; c < gw; ++c) g[c] = (at[c - 1] == kIsland) | (at[c] == kIsland) | (at[c + 1] == kIsland);
  }

  // Weighted centre, and the weight summed along each row and down each column.
  const double scale = 1.0 / (hole - base);
  std::vector<double> perRow(roi.rows, 0), perColumn(roi.cols, 0);
  double sum = 0, sx = 0, sy = 0;
  for (int r = gy0; r <= gy1; ++r) {
    const uchar* p = roi.ptr<uchar>(r);
    const uchar* up = &grown[static_cast<size_t>(r - gy0) * gw];
    const uchar *at = up + gw, *down = at + gw;
    for (int c = gx0; c <= gx1; ++c) {
      if (!(up[c - gx0] | at[c - gx0] | down[c - gx0])) continue;
      const double w = std::clamp((p[c] - base) * scale, 0.0, 1.0);
      sum += w, sx += w * c, sy += w * r, perRow[r] += w, perColumn[c] += w;
    }
  }
  if (sum <= 0) return std::nullopt;
  const cv::Point2d local(sx / sum, sy / sum);
  // Size: the mean weight of the middle rows (along) and of the middle columns (across).
  double along = 0, across = 0;
  int rows = 0, cols = 0;
  for (int r = 0; r < roi.rows; ++r)
    if (std::abs(r - local.y) <= 0.25 * size.height + 0.5) along += perRow[r], ++rows;
  for (int c = 0; c < roi.cols; ++c)
    if (std::abs(c - local.x) <= 0.25 * size.width + 0.5) across += perColumn[c], ++cols;
  if (rows == 0 || cols == 0) return std::nullopt;
  if (contrastOut) *contrastOut = hole - base;
  return Hole{local + cv::Point2d(box.x, box.y), cv::Size2d(along / rows, across / cols)};
}

// A hole shows the light or the lid through the film, so the film borders
// it on all four sides: above and below as well as between the holes. The
// base between two bright holes stands out of its row just like a dark hole
// would, but above and below it runs on at its own level; it is no hole.
bool enclosed(const cv::Mat& gray, cv::Point2d centre, cv::Size2d size, bool bright, double minContrast) {
  const cv::Rect all(0, 0, gray.cols, gray.rows);
  std::vector<uchar> v;
  auto medianOf = [&](double x0, double x1, double y0, double y1, double& out) {
    const cv::Rect r(cvFloor(x0), cvFloor(y0), std::max(1, cvCeil(x1) - cvFloor(x0)), std::max(1, cvCeil(y1) - cvFloor(y0)));
    if ((r & all) != r) return false;
    v.clear();
    for (int y = r.y; y < r.y + r.height; ++y) {
      const uchar* p = gray.ptr<uchar>(y);
      v.insert(v.end(), p + r.x, p + r.x + r.width);
    }
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    out = v[v.size() / 2];
    return true;
  };
  const double w = size.width, h = size.height;
  const double gapX = std::max(1.0, 0.15 * w), gapY = std::max(1.0, 0.15 * h);
  const double bandX = std::max(1.0, 0.15 * w), bandY = std::max(1.0, 0.15 * h);
  double inner = 0, side[4];
  const double x = centre.x, y = centre.y;
  if (!medianOf(x - 0.25 * w, x + 0.25 * w, y - 0.25 * h, y + 0.25 * h, inner)) return false;
  // Above and below must show; a side along the strip may fall off the scan's end.
  const bool shown[4] = {medianOf(x - 0.35 * w, x + 0.35 * w, y - h / 2 - gapY - bandY, y - h / 2 - gapY, side[0]),
                         medianOf(x - 0.35 * w, x + 0.35 * w, y + h / 2 + gapY, y + h / 2 + gapY + bandY, side[1]),
                         medianOf(x - w / 2 - gapX - bandX, x - w / 2 - gapX, y - 0.35 * h, y + 0.35 * h, side[2]),
                         medianOf(x + w / 2 + gapX, x + w / 2 + gapX + bandX, y - 0.35 * h, y + 0.35 * h, side[3])};
  if (!shown[0] || !shown[1] || (!shown[2] && !shown[3])) return false;
  auto stands = [&](double level) { return (bright ? inner - level : level - inner) >= minContrast; };
  if ((shown[2] && !stands(side[2])) || (shown[3] && !stands(side[3]))) return false;
  if (stands(side[0]) && stands(side[1])) return true;
  // A picture can come within a tenth of a millimetre of a hole, under a
  // pixel of the reduced copy: on that one side the base is then only the
  // row of pixels right along the hole's edge.
  if (!stands(side[0]) && !stands(side[1])) return false;
  const double from = stands(side[0]) ? y + h / 2 : y - h / 2 - 1;
  double near = 0;
  return medianOf(x - 0.35 * w, x + 0.35 * w, from, from + 1, near) && stands(near);
}

// Holes of another size than the row's (torn, half covered, a blob of dust) left out.
void keepLikeSized(std::vector<Hole>& holes, cv::Size2d size) {
  holes.erase(std::remove_if(holes.begin(), holes.end(), [&](const Hole& h) {
                return std::abs(h.size.width / size.width - 1) > 0.2 || std::abs(h.size.height / size.height - 1) > 0.2;
              }),
              holes.end());
}

// The smallest gap between neighbours that most gaps are whole multiples of,
// so that a missing or a misplaced hole does not set the pitch.
double commonStep(const std::vector<Hole>& holes, double least) {
  std::vector<double> gaps;
  for (size_t i = 1; i < holes.size(); ++i) gaps.push_back(holes[i].centre.x - holes[i - 1].centre.x);
  std::vector<double> tried = gaps;
  std::sort(tried.begin(), tried.end());
  for (double g : tried) {
    if (g < least) continue;
    size_t whole = 0;
    for (double gap : gaps) whole += !offWhole(gap / g, 0.12) && gap >= 0.88 * g;  // gaps of holes in order, never negative
    if (whole * 4 >= gaps.size() * 3) return g;
  }
  return 0;
}

struct LineFit {
  double x0 = 0, pitch = 0, y0 = 0, slope = 0;  // x = x0 + pitch k, y = y0 + slope x
};

// Least squares of x on the step number and of y on x; a hole a tenth of a
// pitch off is dropped and the fit made again.
LineFit fitLine(std::vector<Hole>& holes, double pitch) {
  LineFit f;
  const double origin = holes.front().centre.x;
  for (int pass = 0; pass < 2; ++pass) {
    double n = 0, sk = 0, sx = 0, skk = 0, skx = 0, sy = 0, sxx = 0, sxy = 0;
    for (const Hole& h : holes) {
      const double k = std::round((h.centre.x - origin) / pitch), x = h.centre.x, y = h.centre.y;
      n += 1, sk += k, sx += x, skk += k * k, skx += k * x, sy += y, sxx += x * x, sxy += x * y;
    }
    const double dk = n * skk - sk * sk, dx = n * sxx - sx * sx;
    if (dk > 0) {
      f.pitch = (n * skx - sk * sx) / dk;
      f.x0 = (sx - f.pitch * sk) / n;
    } else {
      f.pitch = pitch, f.x0 = origin;
    }
    f.slope = dx > 0 ? (n * sxy - sx * sy) / dx : 0;
    f.y0 = (sy - f.slope * sx) / n;
    if (pass == 1 || holes.size() < 3) break;
    std::vector<Hole> kept;
    for (const Hole& h : holes) {
      const double k = std::round((h.centre.x - f.x0) / f.pitch);
      if (std::abs(h.centre.x - f.x0 - f.pitch * k) <= 0.1 * f.pitch) kept.push_back(h);
    }
    if (kept.size() < 2 || kept.size() == holes.size()) break;
    holes = std::move(kept);
    pitch = f.pitch;
  }
  if (f.pitch <= 0) f.pitch = pitch;
  return f;
}

// A hole's island measured narrower along the strip than this share of the blob it was cut as was eaten into.
constexpr double kEaten = 0.85;

// A hole measured on the image the splices were taken from, unless taking
// them away ate into it: a picture whose rows stand out over as many rows
// across as a splice (a ramp towards the strip's end) takes the part of the
// hole beside it with it, and the part measured, narrower than the island
// it was cut as, leaves hole beyond its edge where the film should border
// it. Where the film borders the island's own box, the hole is measured
// again on what stands out of its row alone (`uneaten`), and kept if no
// larger than the island: a hole joined to a band there would be.
std::optional<Hole> measureBlob(const cv::Mat& image, const cv::Mat* uneaten, const cv::Mat& gray, const Blob& b,
                                bool bright, double minContrast, double& contrast) {
  auto hole = measureHole(image, {b.x, b.y}, {b.w, b.h}, minContrast, &contrast);
  if (!hole || enclosed(gray, hole->centre, hole->size, bright, minContrast)) return hole;
  if (!uneaten || hole->size.width >= kEaten * b.w || !enclosed(gray, {b.x, b.y}, {b.w, b.h}, bright, minContrast))
    return std::nullopt;
  double again = 0;
  hole = measureHole(*uneaten, {b.x, b.y}, {b.w, b.h}, minContrast, &again);
  if (!hole || hole->size.width > b.w + 1 || hole->size.height > b.h + 1 ||
      !likeSized({0, 0, hole->size.width, hole->size.height, 0}, b) || !enclosed(gray, hole->centre, hole->size, bright, minContrast))
    return std::nullopt;
  contrast = again;
  return hole;
}

// A row's holes measured one by one, the missed ones looked for at every
// pitch step, and the ones of another size (torn, half covered) dropped.
std::optional<HoleRow> measureRow(const cv::Mat& image, const cv::Mat* uneaten, const cv::Mat& gray,
                                  const std::vector<Blob>& blobs, bool bright) {
  HoleRow row;
  row.bright = bright;
  constexpr double minContrast = 8;
  std::vector<double> contrasts;
  for (const Blob& b : blobs) {
    double contrast = 0;
    const auto hole = measureBlob(image, uneaten, gray, b, bright, minContrast, contrast);
    if (!hole) continue;
    row.holes.push_back(*hole);
    contrasts.push_back(contrast);
  }
  if (row.holes.empty()) return std::nullopt;
  std::vector<double> ws, hs;
  for (const Hole& h : row.holes) ws.push_back(h.size.width), hs.push_back(h.size.height);
  row.size = {median(ws), median(hs)};
  row.contrast = median(contrasts);
  keepLikeSized(row.holes, row.size);
  // The medians of width and height may come from different holes, and fit none.
  if (row.holes.empty()) return std::nullopt;
  if (row.holes.size() >= 2) {
    std::sort(row.holes.begin(), row.holes.end(), [](const Hole& a, const Hole& b) { return a.centre.x < b.centre.x; });
    const double coarse = commonStep(row.holes, 1.6 * row.size.width);
    if (coarse <= 0) return std::nullopt;
    LineFit fit = fitLine(row.holes, coarse);
    // Every step of the row looked at, the holes the cut missed measured there.
    std::vector<Hole> all;
    const Hole& first = row.holes.front();
    const int kFirst = static_cast<int>(std::ceil((0 - first.centre.x) / fit.pitch));
    const int kLast = static_cast<int>(std::floor((image.cols - 1 - first.centre.x) / fit.pitch));
    for (int k = kFirst; k <= kLast; ++k) {
      const double x = fit.x0 + fit.pitch * std::round((first.centre.x - fit.x0) / fit.pitch + k);
      const cv::Point2d expected(x, fit.y0 + fit.slope * x);
      const auto known = std::find_if(row.holes.begin(), row.holes.end(), [&](const Hole& h) {
        return std::abs(h.centre.x - expected.x) < 0.25 * fit.pitch;
      });
      if (known != row.holes.end()) {
        all.push_back(*known);
        continue;
      }
      const auto found = measureHole(image, expected, row.size, minContrast);
      if (found && cv::norm(found->centre - expected) < 0.15 * fit.pitch && enclosed(gray, found->centre, found->size, bright, minContrast))
        all.push_back(*found);
    }
    keepLikeSized(all, row.size);
    if (all.size() < 2) return std::nullopt;
    fit = fitLine(all, fit.pitch);
    row.holes = std::move(all);
    row.pitchX = fit.pitch;
  }
  return row;
}

bool shareAHole(const HoleRow& a, const HoleRow& b) {
  if (a.bright != b.bright) return false;
  for (const Hole& h : a.holes)
    for (const Hole& k : b.holes)
      if (std::abs(h.centre.x - k.centre.x) < 0.3 * h.size.width && std::abs(h.centre.y - k.centre.y) < 0.3 * h.size.height)
        return true;
  return false;
}

// Contrasts the stand-out image is cut at: from twice the grain of a
// reduced copy up to holes against a clear base. The fine ones step between
// them, for a scan the usual ones find no film on: a lone hole inside a
// splice's band stands out of the band by little more than the band stands
// out of the film, and only a cut between the two parts it from the band.
// Only then, since a hole's island moves a little from cut to cut. On that
// pass the holes are also cut from, and measured on, what stands out of
// their rows alone: a hole that touches a bright picture at the copy's
// scale stands out over as many rows across as a splice, and taking the
// splice away eats into it, leaving half a hole that no measure accepts.
// Three times as many candidates are measured then, since both images
// give one for most islands, and the pass is the last chance for a faint row.
constexpr double kCuts[] = {12, 28, 64};
constexpr double kFineCuts[] = {12, 20, 28, 36, 44, 52, 64, 80, 96, 128};
constexpr size_t kRowsMeasured = 16, kFineRowsMeasured = 48;

struct Candidate {
  std::vector<Blob> blobs;
  bool bright;
  double fill;
};

bool sameBlobs(const Candidate& a, const Candidate& b) {
  if (a.bright != b.bright) return false;
  for (const Blob& p : a.blobs)
    for (const Blob& q : b.blobs)
      if (std::abs(p.x - q.x) < 0.3 * p.w && std::abs(p.y - q.y) < 0.3 * p.h) return true;
  return false;
}

}  // namespace

// The islands (4-connected) are labelled and boxed in one raster pass over
// each row's runs above the level, union-find over the labels given on the
// way, each island's root the label of its first run: a reduced copy's pass
// costs less than starting the threads OpenCV's own labelling runs on, and
// a run is boxed at once where a pixel at a time cost most of the pass. The
// gaps between runs are skipped sixteen pixels at a time.
namespace {

struct Run {
  int from, to, label;
};

// The first column from `c` whose pixel is above `level` (or `end`), when
// `above`; else the first at or below it.
template <bool Above>
int skipTo(const uchar* p, int c, int end, int level) {
  if (level >= 0 && level < 255) {
    const cv::v_uint8x16 cut = cv::v_setall_u8(static_cast<uchar>(level));
    for (; c + 16 <= end; c += 16) {
      const cv::v_uint8x16 v = cv::v_load(p + c);
      if (Above ? !cv::v_check_all(v <= cut) : !cv::v_check_all(v > cut)) break;
    }
  }
  while (c < end && (p[c] > level) != Above) ++c;
  return c;
}

}  // namespace

std::vector<IslandBox> islandBoxes(const cv::Mat& image, int level) {
  std::vector<int> parent{0};
  std::vector<IslandBox> boxes(1);
  auto rootOf = [&](int a) {
    while (parent[a] != a) a = parent[a] = parent[parent[a]];
    return a;
  };
  std::vector<Run> above, here;
  for (int r = 0; r < image.rows; ++r) {
    const uchar* p = image.ptr<uchar>(r);
    here.clear();
    size_t k = 0;  // the first run above that may still touch this row's next
    for (int c = skipTo<true>(p, 0, image.cols, level); c < image.cols; c = skipTo<true>(p, c, image.cols, level)) {
      const int from = c;
      c = skipTo<false>(p, c, image.cols, level);
      const int to = c - 1;
      while (k < above.size() && above[k].to < from) ++k;
      int label = 0;
      for (size_t j = k; j < above.size() && above[j].from <= to; ++j) {
        const int root = rootOf(above[j].label);
        if (!label) label = root;
        else if (root != label) parent[std::max(root, label)] = std::min(root, label), label = std::min(root, label);
      }
      if (!label) {
        label = static_cast<int>(parent.size());
        parent.push_back(label), boxes.emplace_back();
      }
      here.push_back({from, to, label});
      IslandBox& b = boxes[label];
      b.x0 = std::min(b.x0, from), b.x1 = std::max(b.x1, to), b.y0 = std::min(b.y0, r), b.y1 = std::max(b.y1, r);
      b.area += to - from + 1;
    }
    std::swap(above, here);
  }
  // Each label's box into its root's; the roots, in the order they were given, are the islands.
  const int n = static_cast<int>(parent.size());
  for (int i = n - 1; i > 0; --i) {
    const int root = rootOf(i);
    if (root == i) continue;
    IslandBox &into = boxes[root], &from = boxes[i];
    into.x0 = std::min(into.x0, from.x0), into.x1 = std::max(into.x1, from.x1);
    into.y0 = std::min(into.y0, from.y0), into.y1 = std::max(into.y1, from.y1), into.area += from.area;
  }
  std::vector<IslandBox> out;
  for (int i = 1; i < n; ++i)
    if (parent[i] == i) out.push_back(boxes[i]);
  return out;
}

std::vector<HoleRow> findHoleRows(const cv::Mat& copy, bool fine) {
  if (copy.rows < 8 || copy.cols < 8) return {};
  // Grain breaks a hole's island at a cut near its contrast; a 3 x 3 mean
  // closes it and moves no symmetric edge.
  cv::Mat gray;
  cv::blur(copy, gray, cv::Size(3, 3), cv::Point(-1, -1), cv::BORDER_REPLICATE);
  // Longer than any hole along the strip (at most a sixth of its width), shorter than the light's slopes.
  const int length = std::max(5, copy.rows / 4) | 1;
  cv::Mat images[2], ofRows[2], along;
  cv::transpose(gray, along);
  std::vector<Candidate> candidates;
  const double* cutsFrom = fine ? std::begin(kFineCuts) : std::begin(kCuts);
  const double* cutsTo = fine ? std::end(kFineCuts) : std::end(kCuts);
  for (int sense = 0; sense < 2; ++sense) {
    const bool bright = sense == 0;
    images[sense] = standOut(gray, along, length, bright, &ofRows[sense]);
    std::vector<const cv::Mat*> cutFrom{&images[sense]};
    if (fine) cutFrom.push_back(&ofRows[sense]);
    for (const cv::Mat* image : cutFrom) {
      for (const double* cut = cutsFrom; cut != cutsTo; ++cut) {
        const std::vector<Blob> blobs = blobsAt(*image, *cut);
        if (blobs.size() > 400) continue;  // texture, not a row of holes
        for (const std::vector<int>& members : rowsOf(blobs)) {
          Candidate c{{}, bright, 0};
          for (int m : members) c.blobs.push_back(blobs[m]), c.fill += blobs[m].fill / members.size();
          // The same row at another cut: keep the longer; of one island, the
          // fuller (at a low cut a scratch that touches a lone hole joins its
          // island; at a higher one the hole stands alone). One island of
          // another size is kept beside it, and measuring decides: a hole
          // across a splice band's edge stands out less on the band's side, so
          // a higher cut keeps only part of it, and that part is the fuller.
          const auto same = std::find_if(candidates.begin(), candidates.end(), [&](const Candidate& o) { return sameBlobs(o, c); });
          const bool lone = c.blobs.size() == 1 && same != candidates.end() && same->blobs.size() == 1;
          if (same == candidates.end() || (lone && !likeSized(c.blobs[0], same->blobs[0]))) candidates.push_back(std::move(c));
          else if (same->blobs.size() < c.blobs.size() || (lone && same->fill < c.fill))
            *same = std::move(c);
        }
      }
    }
  }
  std::stable_sort(candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
    return a.blobs.size() != b.blobs.size() ? a.blobs.size() > b.blobs.size() : a.fill > b.fill;
  });
  std::vector<HoleRow> found;
  for (size_t i = 0; i < candidates.size() && i < (fine ? kFineRowsMeasured : kRowsMeasured); ++i) {
    const int sense = candidates[i].bright ? 0 : 1;
    auto row = fine ? measureRow(ofRows[sense], nullptr, gray, candidates[i].blobs, candidates[i].bright)
                    : measureRow(images[sense], &ofRows[sense], gray, candidates[i].blobs, candidates[i].bright);
    if (!row) continue;
    row->score = static_cast<double>(row->holes.size()) + candidates[i].fill;
    const auto same = std::find_if(found.begin(), found.end(), [&](const HoleRow& o) { return shareAHole(o, *row); });
    if (same == found.end()) found.push_back(std::move(*row));
    else if (same->score < row->score) *same = std::move(*row);
  }
  std::sort(found.begin(), found.end(), [](const HoleRow& a, const HoleRow& b) { return a.score > b.score; });
  return found;
}

}  // namespace registration
