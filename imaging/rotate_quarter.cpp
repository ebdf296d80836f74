// rotateQuarter: a quarter turn, all channel bytes of a pixel moving together.
// Sense 1 turns counter-clockwise (the last column, read top to bottom,
// becomes the first row); sense 3 turns clockwise (the first column, read
// bottom to top, becomes the first row). Nothing is interpolated.

#include "raster.hpp"

#include <cstdint>
#include <cstring>

namespace imaging {
namespace {

// Result row i is one source column, walked downwards (sense 1) or upwards
// (sense 3); `start` is its first byte and `rowStep` the signed stride.
template <int Channels>
void copyColumnToRow(const std::uint8_t* start, std::ptrdiff_t rowStep, int count, int channels,
                     std::uint8_t* out) {
  const int c = Channels > 0 ? Channels : channels;
  for (int k = 0; k < count; ++k, start += rowStep, out += c) {
    if (Channels == 1) {
      out[0] = start[0];
    } else if (Channels == 3) {
      out[0] = start[0];
      out[1] = start[1];
      out[2] = start[2];
    } else {
      std::memcpy(out, start, c);
    }
  }
}

template <int Channels>
void turn(const cv::Mat& image, int sense, cv::Mat& result) {
  const int width = image.cols, height = image.rows, channels = image.channels();
  const std::ptrdiff_t step = static_cast<std::ptrdiff_t>(image.step[0]);
  for (int i = 0; i < width; ++i) {
    const std::uint8_t* start;
    std::ptrdiff_t rowStep;
    if (sense == 1) {  // result(i, k) = image(k, W - 1 - i)
      start = image.data + static_cast<std::ptrdiff_t>(width - 1 - i) * channels;
      rowStep = step;
    } else {  // result(i, j) = image(H - 1 - j, i)
      start = image.data + (height - 1) * step + static_cast<std::ptrdiff_t>(i) * channels;
      rowStep = -step;
    }
    copyColumnToRow<Channels>(start, rowStep, height, channels, result.ptr<std::uint8_t>(i));
  }
}

}  // namespace

cv::Mat rotateQuarter(const cv::Mat& image, int sense) {
  if ((sense != 1 && sense != 3) || image.depth() != CV_8U || image.dims != 2) return {};
  cv::Mat result(image.cols, image.rows, image.type());
  if (image.empty()) return result;
  switch (image.channels()) {
    case 1: turn<1>(image, sense, result); break;
    case 3: turn<3>(image, sense, result); break;
    default: turn<0>(image, sense, result); break;
  }
  return result;
}

}  // namespace imaging
