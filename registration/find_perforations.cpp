// findHoleRows: the rows of perforations along the strip, on the reduced copy.
//
// A hole shows the scanner's light or its lid, so it is an extreme of the
// scan, but the base around it may be nearly as bright (a clear print) or
// nearly as dark (reversal film on the lid). No one threshold separates
// every hole from its base, so the copy is cut at five levels on each side
// of its range and each cut's islands are judged by shape: a perforation is
// a filled, compact island that touches no edge of the scan. Edge lettering
// and dust pass that test too, so islands only count in a row: of like size,
// on a line at most a degree off the x axis, at a common pitch of at least
// 1.6 hole widths (letters stand closer). Each hole of a row is then
// measured against its own surroundings (local hole and base levels), which
// also finds the holes the cut missed under uneven light and drops torn or
// covered ones. Rows come back best first; the gauge decides which is real.

#include "stages.hpp"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace registration {

namespace {

struct Blob {
  double x, y, w, h, fill;
};

// The levels below which the given shares of the pixels lie.
std::array<int, 2> percentiles(const cv::Mat& gray, double low, double high) {
  std::array<int, 256> hist{};
  for (int r = 0; r < gray.rows; ++r) {
    const uchar* p = gray.ptr<uchar>(r);
    for (int c = 0; c < gray.cols; ++c) ++hist[p[c]];
  }
  const double total = static_cast<double>(gray.total());
  std::array<int, 2> out{0, 255};
  double sum = 0;
  bool lowSet = false;
  for (int v = 0; v < 256; ++v) {
    sum += hist[v];
    if (!lowSet && sum >= low * total) out[0] = v, lowSet = true;
    if (sum >= high * total) {
      out[1] = v;
      break;
    }
  }
  return out;
}

std::vector<Blob> blobsAt(const cv::Mat& gray, double level, bool bright) {
  cv::Mat bin, labels, stats, centroids;
  cv::threshold(gray, bin, level, 255, bright ? cv::THRESH_BINARY : cv::THRESH_BINARY_INV);
  const int n = cv::connectedComponentsWithStats(bin, labels, stats, centroids, 4, CV_32S);
  std::vector<Blob> out;
  for (int i = 1; i < n; ++i) {
    const int* s = stats.ptr<int>(i);
    const int x = s[cv::CC_STAT_LEFT], y = s[cv::CC_STAT_TOP], w = s[cv::CC_STAT_WIDTH], h = s[cv::CC_STAT_HEIGHT];
    const int area = s[cv::CC_STAT_AREA];
    if (w < 3 || h < 3 || area < 8) continue;
    if (x == 0 || y == 0 || x + w == gray.cols || y + h == gray.rows) continue;
    if (h > gray.rows * 0.4 || w > gray.cols * 0.4) continue;
    const double fill = static_cast<double>(area) / (static_cast<double>(w) * h);
    const double aspect = static_cast<double>(w) / h;
    if (fill < 0.65 || aspect < 0.35 || aspect > 2.8) continue;
    out.push_back({x + (w - 1) / 2.0, y + (h - 1) / 2.0, static_cast<double>(w), static_cast<double>(h), fill});
  }
  return out;
}

bool likeSized(const Blob& a, const Blob& b) {
  return std::abs(a.w / b.w - 1) <= 0.3 && std::abs(a.h / b.h - 1) <= 0.3;
}

double distanceToWhole(double v) { return std::abs(v - std::round(v)); }

// The longest row through each blob as its leftmost member.
std::vector<std::vector<int>> rowsOf(const std::vector<Blob>& blobs) {
  std::vector<std::vector<int>> rows;
  constexpr double kSlope = 0.025;  // a little over a degree and a third
  for (size_t i = 0; i < blobs.size(); ++i) {
    const Blob& a = blobs[i];
    std::vector<int> partners;
    bool leftmost = true;
    for (size_t j = 0; j < blobs.size(); ++j) {
      const Blob& b = blobs[j];
      if (j == i || !likeSized(a, b)) continue;
      const double dx = b.x - a.x;
      if (std::abs(dx) < 1.6 * a.w || std::abs(b.y - a.y) > kSlope * std::abs(dx) + 0.25 * a.h) continue;
      if (dx < 0) {
        leftmost = false;
        break;
      }
      partners.push_back(static_cast<int>(j));
    }
    if (!leftmost) continue;
    // The pitch that puts the most partners on whole steps; the longest such.
    std::vector<int> best;
    double bestPitch = 0;
    for (int j : partners)
      for (int k = 1; k <= 4; ++k) {
        const double pitch = (blobs[j].x - a.x) / k;
        if (pitch < 1.6 * a.w) break;
        std::vector<int> members;
        for (int m : partners)
          if (distanceToWhole((blobs[m].x - a.x) / pitch) <= 0.1) members.push_back(m);
        if (members.size() > best.size() || (members.size() == best.size() && pitch > bestPitch))
          best = members, bestPitch = pitch;
      }
    best.insert(best.begin(), static_cast<int>(i));
    rows.push_back(best);
  }
  return rows;
}

double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
  return v[v.size() / 2];
}

// One hole measured against its own surroundings: the level inside its
// middle, the base on the border of a box a fifth larger than the hole, and
// each pixel of the box weighted by where it lies between the two. The box
// is kept tight because the base need not surround the hole: on reversal
// film the unexposed band beside the holes is nearly as dark as the lid.
// Nothing when the box leaves the copy, the hole barely differs from its
// base, or it spills over most of the box's border (torn open, or a patch of
// background rather than a hole).
std::optional<Hole> measureHole(const cv::Mat& gray, cv::Point2d centre, cv::Size2d size, bool bright,
                                double minContrast, double* holeLevel = nullptr, double* baseLevel = nullptr) {
  const double halfW = 0.5 * size.width + std::max(2.0, 0.2 * size.width);
  const double halfH = 0.5 * size.height + std::max(2.0, 0.2 * size.height);
  const cv::Rect box(static_cast<int>(std::floor(centre.x - halfW)), static_cast<int>(std::floor(centre.y - halfH)),
                     static_cast<int>(std::ceil(2 * halfW)) + 1, static_cast<int>(std::ceil(2 * halfH)) + 1);
  if (box.x < 0 || box.y < 0 || box.x + box.width > gray.cols || box.y + box.height > gray.rows) return std::nullopt;
  const cv::Mat roi = gray(box);
  std::vector<double> inner, border;
  const double innerW = std::max(1.0, 0.25 * size.width), innerH = std::max(1.0, 0.25 * size.height);
  for (int r = 0; r < roi.rows; ++r) {
    const uchar* p = roi.ptr<uchar>(r);
    const double dy = box.y + r - centre.y;
    for (int c = 0; c < roi.cols; ++c) {
      const double dx = box.x + c - centre.x;
      if (r == 0 || c == 0 || r == roi.rows - 1 || c == roi.cols - 1) border.push_back(p[c]);
      else if (std::abs(dx) <= innerW && std::abs(dy) <= innerH) inner.push_back(p[c]);
    }
  }
  const double hole = median(inner), base = median(border);
  const double contrast = bright ? hole - base : base - hole;
  if (getenv("DBG")) fprintf(stderr, "  hole at (%.1f,%.1f): hole %.0f base %.0f contrast %.1f\n", centre.x, centre.y, hole, base, contrast);
  if (contrast < minContrast) return std::nullopt;
  // Weights with a dead band at each end, so grain on the base adds nothing.
  const double scale = 1.0 / (hole - base);
  cv::Mat weights(roi.size(), CV_64F);
  int spill = 0;
  double sum = 0, sx = 0, sy = 0;
  for (int r = 0; r < roi.rows; ++r) {
    const uchar* p = roi.ptr<uchar>(r);
    double* w = weights.ptr<double>(r);
    for (int c = 0; c < roi.cols; ++c) {
      const double v = std::clamp(((p[c] - base) * scale - 0.15) / 0.7, 0.0, 1.0);
      w[c] = v;
      sum += v, sx += v * c, sy += v * r;
      if (v > 0.5 && (r == 0 || c == 0 || r == roi.rows - 1 || c == roi.cols - 1)) ++spill;
    }
  }
  if (getenv("DBG")) fprintf(stderr, "  hole at (%.1f,%.1f): hole %.0f base %.0f sum %.1f spill %d\n", centre.x, centre.y, hole, base, sum, spill);
  if (sum <= 0 || spill > 0.6 * (roi.rows + roi.cols)) return std::nullopt;
  const cv::Point2d local(sx / sum, sy / sum);
  // Size: the weight summed along the middle rows and down the middle columns.
  double along = 0, across = 0;
  int rows = 0, cols = 0;
  for (int r = 0; r < roi.rows; ++r) {
    if (std::abs(r - local.y) > 0.25 * size.height + 0.5) continue;
    along += cv::sum(weights.row(r))[0], ++rows;
  }
  for (int c = 0; c < roi.cols; ++c) {
    if (std::abs(c - local.x) > 0.25 * size.width + 0.5) continue;
    across += cv::sum(weights.col(c))[0], ++cols;
  }
  if (rows == 0 || cols == 0) return std::nullopt;
  if (holeLevel) *holeLevel = hole;
  if (baseLevel) *baseLevel = base;
  return Hole{local + cv::Point2d(box.x, box.y), cv::Size2d(along / rows, across / cols)};
}

// A row's holes measured one by one, the missed ones looked for at every
// pitch step, and the ones of another size (torn, half covered) dropped.
std::optional<HoleRow> measureRow(const cv::Mat& gray, const std::vector<Blob>& blobs, const std::vector<int>& members,
                                  bool bright, double rangeContrast) {
  HoleRow row;
  row.bright = bright;
  const double minContrast = std::max(8.0, 0.04 * rangeContrast);
  std::vector<double> holeLevels, baseLevels;
  for (int m : members) {
    double hl = 0, bl = 0;
    const auto hole = measureHole(gray, {blobs[m].x, blobs[m].y}, {blobs[m].w, blobs[m].h}, bright, minContrast, &hl, &bl);
    if (!hole) continue;
    row.holes.push_back(*hole);
    holeLevels.push_back(hl), baseLevels.push_back(bl);
  }
  if (row.holes.empty()) return std::nullopt;
  std::vector<double> ws, hs;
  for (const Hole& h : row.holes) ws.push_back(h.size.width), hs.push_back(h.size.height);
  row.size = {median(ws), median(hs)};
  row.holeLevel = median(holeLevels);
  row.baseLevel = median(baseLevels);

  if (row.holes.size() >= 2) {
    std::sort(row.holes.begin(), row.holes.end(), [](const Hole& a, const Hole& b) { return a.centre.x < b.centre.x; });
    // Pitch and line from the first measurement, then every step looked at.
    const Hole& first = row.holes.front();
    double pitch = 0;
    {
      std::vector<double> steps;
      const double coarse = (row.holes.back().centre.x - first.centre.x);
      double minGap = coarse;
      for (size_t i = 1; i < row.holes.size(); ++i) minGap = std::min(minGap, row.holes[i].centre.x - row.holes[i - 1].centre.x);
      const double n = std::round(coarse / minGap);
      pitch = n > 0 ? coarse / n : 0;
    }
    if (pitch <= 0) return std::nullopt;
    const double slope = (row.holes.back().centre.y - first.centre.y) / (row.holes.back().centre.x - first.centre.x);
    std::vector<Hole> all;
    const int kFirst = static_cast<int>(std::ceil(-first.centre.x / pitch));
    const int kLast = static_cast<int>(std::floor((gray.cols - 1 - first.centre.x) / pitch));
    for (int k = kFirst; k <= kLast; ++k) {
      const cv::Point2d expected(first.centre.x + k * pitch, first.centre.y + slope * k * pitch);
      const auto known = std::find_if(row.holes.begin(), row.holes.end(), [&](const Hole& h) {
        return std::abs(h.centre.x - expected.x) < 0.25 * pitch;
      });
      if (known != row.holes.end()) {
        all.push_back(*known);
        continue;
      }
      const auto found = measureHole(gray, expected, row.size, bright, minContrast);
      if (found && cv::norm(found->centre - expected) < 0.2 * pitch) all.push_back(*found);
    }
    row.holes.clear();
    for (const Hole& h : all)
      if (std::abs(h.size.width / row.size.width - 1) <= 0.2 && std::abs(h.size.height / row.size.height - 1) <= 0.2)
        row.holes.push_back(h);
    if (row.holes.empty()) return std::nullopt;
    row.pitchX = pitch;
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

constexpr size_t kRowsPerLevel = 12;
// Cuts at these shares of the range in from its bright or dark end: close to
// the end, where the holes part from a base nearly as bright or as dark.
constexpr double kLevels[] = {0.04, 0.09, 0.18, 0.32, 0.5};

}  // namespace

std::vector<HoleRow> findHoleRows(const cv::Mat& gray) {
  const auto range = percentiles(gray, 0.005, 0.995);
  const double span = range[1] - range[0];
  if (span < 16) return {};
  std::vector<HoleRow> found;
  for (bool bright : {true, false})
    for (double share : kLevels) {
      const double level = bright ? range[1] - share * span : range[0] + share * span;
      const std::vector<Blob> blobs = blobsAt(gray, level, bright);
      if (blobs.size() > 400) continue;  // texture, not a row of holes
      std::vector<std::vector<int>> rows = rowsOf(blobs);
      std::stable_sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) { return a.size() > b.size(); });
      if (rows.size() > kRowsPerLevel) rows.resize(kRowsPerLevel);
      for (const std::vector<int>& members : rows) {
        auto row = measureRow(gray, blobs, members, bright, span);
        if (getenv("DBG")) { fprintf(stderr, "level %.1f bright %d members %zu:", level, bright, members.size()); for (int m : members) fprintf(stderr, " (%.0f,%.0f %.0fx%.0f)", blobs[m].x, blobs[m].y, blobs[m].w, blobs[m].h); fprintf(stderr, " -> %zu\n", row ? row->holes.size() : 0); }
        if (!row) continue;
        double fill = 0;
        for (int m : members) fill += blobs[m].fill;
        row->score = static_cast<double>(row->holes.size()) + fill / members.size();
        // The same row found at another level: keep the fuller finding.
        const auto same = std::find_if(found.begin(), found.end(), [&](const HoleRow& o) { return shareAHole(o, *row); });
        if (same == found.end()) found.push_back(std::move(*row));
        else if (same->score < row->score) *same = std::move(*row);
      }
    }
  std::sort(found.begin(), found.end(), [](const HoleRow& a, const HoleRow& b) { return a.score > b.score; });
  if (found.size() > 16) found.resize(16);
  return found;
}

}  // namespace registration
