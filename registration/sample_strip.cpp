// sampleAlong: gray means of the full-resolution scan along lines parallel
// to the strip, binned by their place along it.
//
// The frame lines and the pictures' edges are measured to a fraction of a
// millimetre, finer than the reduced copy's pixels, but only a hundred or so
// lines of the scan are needed for it: each is read here straight from the
// scan, one run of pixels per scan row it crosses (a tilt of a degree keeps
// a line on one row for sixty pixels), colour turned to gray on the way.

#include "stages.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace registration {

namespace {

// One run of pixels c in [from, to) of row p into the bins, u the first
// pixel's bin in 16.16 fixed point; the pixels past the last bin's start
// all go to it, so they are split off first and no pixel is clamped. A bin
// spans a few pixels, and adding each pixel to its bin in memory chained
// every add on the one before through a store (a colour scan's sampling
// took half again as long): a bin's sums are kept in registers while its
// pixels last and added once. The channel count is fixed at compile time
// so that the loop over a pixel's channels unrolls.
template <int Channels>
void addRun(const uchar* p, int from, int to, int64_t u, int64_t step, int bins, int* sum, int* count) {
  const int64_t last = static_cast<int64_t>(bins - 1) << 16;
  const int before = u >= last ? from : static_cast<int>(std::min<int64_t>(to, from + (last - u + step - 1) / step));
  int c = from;
  if (c < before) {
    int j = static_cast<int>(u >> 16), n = 0, acc[Channels] = {};
    for (; c < before; ++c, u += step) {
      const int k = static_cast<int>(u >> 16);
      if (k != j) {
        for (int ch = 0; ch < Channels; ++ch) sum[static_cast<size_t>(j) * Channels + ch] += acc[ch], acc[ch] = 0;
        count[j] += n;
        n = 0;
        j = k;
      }
      const uchar* q = p + static_cast<size_t>(c) * Channels;
      for (int ch = 0; ch < Channels; ++ch) acc[ch] += q[ch];
      ++n;
    }
    for (int ch = 0; ch < Channels; ++ch) sum[static_cast<size_t>(j) * Channels + ch] += acc[ch];
    count[j] += n;
  }
  int* lastSum = sum + static_cast<size_t>(bins - 1) * Channels;
  for (; c < to; ++c) {
    const uchar* q = p + static_cast<size_t>(c) * Channels;
    for (int ch = 0; ch < Channels; ++ch) lastSum[ch] += q[ch];
    ++count[bins - 1];
  }
}

}  // namespace

cv::Mat sampleAlong(const cv::Mat& scan, const StripAxes& axes, const std::vector<double>& ts, double s0, double bin,
                    int bins, int thickness) {
  // Every bin is written below, NaN where no pixel fell in it; the
  // library's fill of a float image with a scalar took a fiftieth of the
  // finder's time.
  cv::Mat out(static_cast<int>(ts.size()), std::max(bins, 0), CV_32F);
  if (scan.empty() || (scan.channels() != 1 && scan.channels() != 3) || bins <= 0 || !(bin > 0) || ts.empty()) {
    std::fill(out.begin<float>(), out.end<float>(), NAN);
    return out;
  }
  const int channels = scan.channels();
  // Sums per bin and channel, turned to gray once per bin.
  std::vector<int> sum(static_cast<size_t>(bins) * channels), count(bins);
  const int layers = std::max(1, thickness);
  for (size_t i = 0; i < ts.size(); ++i) {
    std::fill(sum.begin(), sum.end(), 0);
    std::fill(count.begin(), count.end(), 0);
    for (int layer = 0; layer < layers; ++layer) {
      // The line y(x) = t + slope (x - xMid), taken row by row: x runs over
      // [x, xEnd) while y rounds to `row`.
      const double t = ts[i] + layer - (layers - 1) / 2.0;
      int x = 0;
      while (x < scan.cols) {
        const long row = std::lround(t + axes.slope * (x - axes.xMid));
        int xEnd = scan.cols;
        if (axes.slope != 0) {
          const double edge = axes.slope > 0 ? row + 0.5 : row - 0.5;
          const double xCross = axes.xMid + (edge - t) / axes.slope;
          if (xCross < scan.cols) xEnd = std::max(x + 1, static_cast<int>(std::ceil(xCross)));
        }
        if (row >= 0 && row < scan.rows) {
          const uchar* p = scan.ptr<uchar>(static_cast<int>(row));
          // Pixel c lies at s = c + shift, in bin floor((s - s0) / bin),
          // stepped in fixed point: one multiply for the run, none a pixel.
          const double shift = axes.slope * (static_cast<double>(row) - axes.yMid) - s0;
          const int from = std::max(x, static_cast<int>(std::ceil(-shift)));
          const int to = std::min(xEnd, static_cast<int>(std::ceil(bins * bin - shift)));
          if (from < to) {
            const double scale = 65536.0 / bin;
            int64_t u = static_cast<int64_t>(std::floor((from + shift) * scale));
            const int64_t step = static_cast<int64_t>(std::llround(scale));
            if (channels == 3) addRun<3>(p, from, to, u, step, bins, sum.data(), count.data());
            else addRun<1>(p, from, to, u, step, bins, sum.data(), count.data());
          }
        }
        x = xEnd;
      }
    }
    float* o = out.ptr<float>(static_cast<int>(i));
    for (int j = 0; j < bins; ++j) {
      if (count[j] == 0) {
        o[j] = NAN;
        continue;
      }
      const int* a = &sum[static_cast<size_t>(j) * channels];
      // Gray by the BT.601 weights on B, G, R, the weights OpenCV's own conversion uses.
      const float level = channels == 3 ? 0.114f * a[0] + 0.587f * a[1] + 0.299f * a[2] : static_cast<float>(a[0]);
      o[j] = level / static_cast<float>(count[j]);
    }
  }
  return out;
}

}  // namespace registration
