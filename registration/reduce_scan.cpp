// reduceScan: a gray copy reduced by a whole factor by area averaging.
//
// The perforations, the strip's edges and the frame lines are all large
// against a pixel at any resolution worth scanning film at, so they are found
// on a copy of at most forty thousand pixels: the finder's cost then hardly
// grows with the resolution, and the reduction's averaging takes out grain
// and dust. The factor is whole so that every reduced pixel covers the same
// square of scan pixels and a position maps back exactly (toScan); the copy
// keeps at least ~150 rows across the strip so that a perforation stays a
// few pixels wide even in a long four-frame scan.

#include "stages.hpp"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <type_traits>

namespace registration {

namespace {

constexpr double kReducedArea = 40000;
constexpr int kMinReducedRows = 150;

int reductionFactor(cv::Size size) {
  const double byArea = std::sqrt(static_cast<double>(size.area()) / kReducedArea);
  const int byRows = std::max(1, size.height / kMinReducedRows);
  // At most 257, so that a block's column of pixels sums within 16 bits.
  return std::clamp(std::min(static_cast<int>(std::ceil(byArea)), byRows), 1, 257);
}

// A gray row of blocks from the line of column sums, `F` columns a block;
// the usual factors are fixed at compile time so that a block's sum unrolls.
template <int F>
void grayBlocksOf(const uint16_t* s, uchar* o, int cols, int f, double area) {
  const int width = F > 0 ? F : f;
  for (int c = 0; c < cols; ++c, s += width) {
    int level = 0;
    for (int x = 0; x < width; ++x) level += s[x];
    o[c] = cv::saturate_cast<uchar>(level / area);
  }
}

// `blocks` called with the factor fixed at compile time where it is one of
// the usual ones (2 to 8), else with 0 and the factor read at run time.
template <class Blocks>
void byFactor(int f, Blocks blocks) {
  switch (f) {
    case 2: return blocks(std::integral_constant<int, 2>{});
    case 3: return blocks(std::integral_constant<int, 3>{});
    case 4: return blocks(std::integral_constant<int, 4>{});
    case 5: return blocks(std::integral_constant<int, 5>{});
    case 6: return blocks(std::integral_constant<int, 6>{});
    case 7: return blocks(std::integral_constant<int, 7>{});
    case 8: return blocks(std::integral_constant<int, 8>{});
    default: return blocks(std::integral_constant<int, 0>{});
  }
}

// A colour row of blocks: the block's channel sums, weighted once. The
// weights are thousandths, so the block's gray level is N / (1000 area)
// for the whole number N = 114 B + 587 G + 299 R, and rounding it to the
// nearest level (half-way to even) needs no more than N: summed pixel by
// pixel in doubles, term by term, it came to the same level wherever N /
// (1000 area) does not lie exactly half-way between two levels, since
// those sums stray from N / 1000 by far less than a thousandth of a block
// can move it. Exactly half-way, the sum in doubles decides, as it
// always has, so every block keeps the level it had.
template <int F>
void colourBlocksOf(const uint16_t* s, uchar* o, int cols, int f, double area) {
  const int width = F > 0 ? F : f;
  const double weights[3] = {0.114, 0.587, 0.299};
  const int64_t whole = static_cast<int64_t>(std::llround(area)) * 1000;
  for (int c = 0; c < cols; ++c, s += 3 * width) {
    int64_t b = 0, g = 0, r = 0;
    for (int x = 0; x < 3 * width; x += 3) b += s[x], g += s[x + 1], r += s[x + 2];
    const int64_t n = 114 * b + 587 * g + 299 * r;
    const int64_t q = static_cast<int64_t>(static_cast<double>(n) / static_cast<double>(whole));
    const int64_t twiceRest = 2 * (n - q * whole);
    if (twiceRest != whole) {
      o[c] = static_cast<uchar>(std::min<int64_t>(255, q + (twiceRest > whole)));
      continue;
    }
    double level = 0;
    // Term by term, in the order of the pixels and their channels.
    for (int x = 0; x < 3 * width; x += 3) {
      level += weights[0] * s[x];
      level += weights[1] * s[x + 1];
      level += weights[2] * s[x + 2];
    }
    o[c] = cv::saturate_cast<uchar>(level / area);
  }
}

}  // namespace

cv::Mat toGray(const cv::Mat& scan) {
  if (scan.channels() == 1) return scan;
  cv::Mat gray;
  cv::cvtColor(scan, gray, cv::COLOR_BGR2GRAY);
  return gray;
}

// Whole blocks only: the last partial block of a row or column is left out.
// One pass over the scan: each block's channels summed row by row into a
// line of column sums, then turned to gray by the BT.601 weights on B, G, R
// (the weights OpenCV's own conversion uses) once a block.
Reduced reduceScan(const cv::Mat& scan) {
  Reduced out;
  out.factor = reductionFactor(scan.size());
  const int f = out.factor;
  if (f == 1) {
    out.gray = toGray(scan);
    return out;
  }
  const int ch = scan.channels(), cols = scan.cols / f, rows = scan.rows / f;
  out.gray.create(rows, cols, CV_8U);
  std::vector<uint16_t> sums(static_cast<size_t>(cols) * f * ch);
  const double area = static_cast<double>(f) * f;
  for (int r = 0; r < rows; ++r) {
    // Two rows at a time, the first two setting the sums: a line of sums is
    // read and written half as often.
    const size_t n = sums.size();
    uint16_t* s0 = sums.data();
    {
      const uchar *a = scan.ptr<uchar>(r * f), *b = scan.ptr<uchar>(r * f + 1);
      for (size_t i = 0; i < n; ++i) s0[i] = static_cast<uint16_t>(a[i] + b[i]);
    }
    int k = 2;
    for (; k + 1 < f; k += 2) {
      const uchar *a = scan.ptr<uchar>(r * f + k), *b = scan.ptr<uchar>(r * f + k + 1);
      for (size_t i = 0; i < n; ++i) s0[i] = static_cast<uint16_t>(s0[i] + a[i] + b[i]);
    }
    if (k < f) {
      const uchar* a = scan.ptr<uchar>(r * f + k);
      for (size_t i = 0; i < n; ++i) s0[i] = static_cast<uint16_t>(s0[i] + a[i]);
    }
    uchar* o = out.gray.ptr<uchar>(r);
    const uint16_t* s = sums.data();
    if (ch == 1) {
      byFactor(f, [&](auto F) { grayBlocksOf<decltype(F)::value>(s, o, cols, f, area); });
      continue;
    }
    byFactor(f, [&](auto F) { colourBlocksOf<decltype(F)::value>(s, o, cols, f, area); });
  }
  return out;
}

}  // namespace registration
