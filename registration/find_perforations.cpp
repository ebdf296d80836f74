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
  return std::max(a.w, b.w) <= 1.3 * std::min(a.w, b.w) && std::max(a.h, b.h) <= 1.3 * std::min(a.h, b.h);
}

double distanceToWhole(double v) { return std::abs(v - std::round(v)); }

// Rows of like blobs: the longest row through each blob, longest first, a
// blob already in a longer row starting none of its own.
std::vector<std::vector<int>> rowsOf(const std::vector<Blob>& blobs) {
  std::vector<std::vector<int>> rows;
  constexpr double kSlope = 0.025;  // a little over a degree and a third
  for (size_t i = 0; i < blobs.size(); ++i) {
    const Blob& a = blobs[i];
    std::vector<int> partners;
    for (size_t j = 0; j < blobs.size(); ++j) {
      const Blob& b = blobs[j];
      if (j == i || !likeSized(a, b)) continue;
      const double dx = b.x - a.x;
      if (std::abs(dx) < 1.6 * a.w || std::abs(b.y - a.y) > kSlope * std::abs(dx) + 0.25 * a.h) continue;
      partners.push_back(static_cast<int>(j));
    }
    // The pitch that puts the most partners on whole steps from this blob; the longest such.
    std::vector<int> best;
    double bestPitch = 0;
    for (int j : partners)
      for (int k = 1; k <= 4; ++k) {
        const double pitch = std::abs(blobs[j].x - a.x) / k;
        if (pitch < 1.6 * a.w) break;
        std::vector<int> members;
        for (int m : partners)
          if (distanceToWhole((blobs[m].x - a.x) / pitch) <= 0.1) members.push_back(m);
        if (members.size() > best.size() || (members.size() == best.size() && pitch > bestPitch))
          best = members, bestPitch = pitch;
      }
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

// One hole measured against its own surroundings: the level inside its
// middle, the base on the border of a box over twice the hole's size, and
// each pixel weighted by where it lies between the two. Only the island of
// the hole itself is weighed (the pixels past half-way that join its middle,
// with a pixel's fringe for the soft edge): letters, picture or dust in the
// box would pull the centre. The base need not surround the hole (on
// reversal film the unexposed band beside the holes is nearly as dark as the
// lid), so an island that runs out of the box is cut to the size expected.
// Nothing when the box leaves the copy or the hole barely differs from its
// base.
std::optional<Hole> measureHole(const cv::Mat& gray, cv::Point2d centre, cv::Size2d size, bool bright,
                                double minContrast, double* holeLevel = nullptr, double* baseLevel = nullptr) {
  // The base is read on a ring a quarter of the hole's size out; the island is looked for in a box twice as far.
  const double ringW = 0.5 * size.width + std::max(2.0, 0.25 * size.width);
  const double ringH = 0.5 * size.height + std::max(2.0, 0.25 * size.height);
  const cv::Rect ring(static_cast<int>(std::floor(centre.x - ringW)), static_cast<int>(std::floor(centre.y - ringH)),
                      static_cast<int>(std::ceil(2 * ringW)) + 1, static_cast<int>(std::ceil(2 * ringH)) + 1);
  const cv::Rect all(0, 0, gray.cols, gray.rows);
  if ((ring & all) != ring) return std::nullopt;
  const double boxW = 1.1 * size.width + 2, boxH = 1.1 * size.height + 2;
  const cv::Rect box = cv::Rect(static_cast<int>(std::floor(centre.x - boxW)), static_cast<int>(std::floor(centre.y - boxH)),
                                static_cast<int>(std::ceil(2 * boxW)) + 1, static_cast<int>(std::ceil(2 * boxH)) + 1) & all;
  std::vector<double> inner, border;
  const double innerW = std::max(1.0, 0.25 * size.width), innerH = std::max(1.0, 0.25 * size.height);
  for (int r = ring.y; r < ring.y + ring.height; ++r) {
    const uchar* p = gray.ptr<uchar>(r);
    const double dy = r - centre.y;
    const bool edgeRow = r == ring.y || r == ring.y + ring.height - 1;
    for (int c = ring.x; c < ring.x + ring.width; ++c) {
      if (edgeRow || c == ring.x || c == ring.x + ring.width - 1) border.push_back(p[c]);
      else if (std::abs(c - centre.x) <= innerW && std::abs(dy) <= innerH) inner.push_back(p[c]);
    }
  }
  const double hole = median(inner), base = median(border);
  const double contrast = bright ? hole - base : base - hole;
  if (contrast < minContrast) return std::nullopt;
  const cv::Mat roi = gray(box);

  // The island: past half-way and joined to the middle.
  const double scale = 1.0 / (hole - base);
  cv::Mat weights(roi.size(), CV_32F), past(roi.size(), CV_8U);
  for (int r = 0; r < roi.rows; ++r) {
    const uchar* p = roi.ptr<uchar>(r);
    float* w = weights.ptr<float>(r);
    uchar* b = past.ptr<uchar>(r);
    for (int c = 0; c < roi.cols; ++c) {
      w[c] = static_cast<float>(std::clamp((p[c] - base) * scale, 0.0, 1.0));
      b[c] = w[c] > 0.5f ? 255 : 0;
    }
  }
  cv::Mat labels;
  cv::connectedComponents(past, labels, 4, CV_32S);
  const cv::Point middle(cvRound(centre.x) - box.x, cvRound(centre.y) - box.y);
  const int island = labels.at<int>(middle);
  if (island == 0) return std::nullopt;
  cv::Mat mask = labels == island;
  const cv::Rect expected(cvRound(centre.x - size.width / 2 - 1.5) - box.x, cvRound(centre.y - size.height / 2 - 1.5) - box.y,
                          cvRound(size.width + 3), cvRound(size.height + 3));
  cv::Mat edge = mask.clone();
  edge(cv::Rect(1, 1, roi.cols - 2, roi.rows - 2)).setTo(0);
  if (cv::countNonZero(edge) > 0) {
    cv::Mat cut(mask.size(), CV_8U, cv::Scalar(0));
    const cv::Rect keep = expected & cv::Rect(0, 0, roi.cols, roi.rows);
    mask(keep).copyTo(cut(keep));
    mask = cut;
  }
  cv::dilate(mask, mask, cv::Mat());
  weights.setTo(0, mask == 0);

  double sum = 0, sx = 0, sy = 0;
  for (int r = 0; r < roi.rows; ++r) {
    const float* w = weights.ptr<float>(r);
    for (int c = 0; c < roi.cols; ++c) sum += w[c], sx += w[c] * c, sy += w[c] * r;
  }
  if (sum <= 0) return std::nullopt;
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
    for (double gap : gaps) whole += distanceToWhole(gap / g) <= 0.12 && gap >= 0.88 * g;
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

  keepLikeSized(row.holes, row.size);
  if (row.holes.size() >= 2) {
    std::sort(row.holes.begin(), row.holes.end(), [](const Hole& a, const Hole& b) { return a.centre.x < b.centre.x; });
    const double coarse = commonStep(row.holes, 1.6 * row.size.width);
    if (coarse <= 0) return std::nullopt;
    LineFit fit = fitLine(row.holes, coarse);
    // Every step of the row looked at, the holes the cut missed measured there.
    std::vector<Hole> all;
    const Hole& first = row.holes.front();
    const int kFirst = static_cast<int>(std::ceil((0 - first.centre.x) / fit.pitch));
    const int kLast = static_cast<int>(std::floor((gray.cols - 1 - first.centre.x) / fit.pitch));
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
      const auto found = measureHole(gray, expected, row.size, bright, minContrast);
      if (found && cv::norm(found->centre - expected) < 0.15 * fit.pitch) all.push_back(*found);
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
      if (getenv("DBG")) { fprintf(stderr, "LEVEL %.2f bright %d blobs %zu rows %zu\n", level, bright, blobs.size(), rows.size()); for (auto& b : blobs) if (b.w > 20) fprintf(stderr, "   blob %.1f %.1f %.0fx%.0f\n", b.x, b.y, b.w, b.h); }
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
