// binarize: a separate 1-channel image of 0 and 1, 1 where the gray value
// exceeds fraction x 255 (strictly). Gray of a 3-channel image is toGray's;
// the input keeps its samples.

#include "raster.hpp"
#include "weights.hpp"

#include <cstdint>

namespace imaging {

namespace {

struct Threshold {
  std::uint8_t of[256];
};

// The threshold is taken in double precision from the float fraction:
// 0.2f is 0.2000000030, so T = 51.00000076 and 51 gives 0.
Threshold thresholdTable(float fraction) {
  const double limit = static_cast<double>(fraction) * 255.0;
  Threshold t{};
  for (int s = 0; s < 256; ++s) t.of[s] = s > limit ? 1 : 0;
  return t;
}

}  // namespace

cv::Mat binarize(const cv::Mat& image, float fraction) {
  if (image.depth() != CV_8U || image.dims != 2) return {};
  const int channels = image.channels();
  if (channels != 1 && channels != 3) return {};
  const Threshold t = thresholdTable(fraction);
  cv::Mat out(image.rows, image.cols, CV_8UC1);
  if (channels == 1) {
    for (int r = 0; r < image.rows; ++r) {
      const std::uint8_t* in = image.ptr<std::uint8_t>(r);
      std::uint8_t* o = out.ptr<std::uint8_t>(r);
      for (int c = 0; c < image.cols; ++c) o[c] = t.of[in[c]];
    }
  } else {
    const GrayWeights& w = grayWeights();
    for (int r = 0; r < image.rows; ++r) {
      const std::uint8_t* px = image.ptr<std::uint8_t>(r);
      std::uint8_t* o = out.ptr<std::uint8_t>(r);
      for (int c = 0; c < image.cols; ++c, px += 3) o[c] = t.of[grayOf(w, px)];
    }
  }
  return out;
}

}  // namespace imaging
