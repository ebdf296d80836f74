// rotateQuarter: a quarter turn, all channel bytes of a pixel moving together.
// Sense 1 turns counter-clockwise (the last column, read top to bottom,
// becomes the first row); sense 3 turns clockwise (the first column, read
// bottom to top, becomes the first row). Nothing is interpolated.
//
// A result row is a source column. Read down the column pixel by pixel,
// every pixel comes from another cache line, and a picture's column is
// taller than the first-level cache holds lines; so the turn goes in tiles
// of 16 x 16 pixels, each read as 16 runs along the source's rows, turned in
// vector registers and written as 16 runs along the result's rows. Gray and
// colour pixels go through the registers (colour as its three channels
// apart); the strips the tiles leave at the edges, and other channel
// counts, are copied pixel by pixel, still a tile's rows at a time.

#include "raster.hpp"

#include <opencv2/core/hal/intrin.hpp>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace imaging {
namespace {

constexpr int kTile = 16;

// The 16 x 16 bytes transposed: four rounds of interleaving rows q and
// q + 8, each round turning a byte's (row, column) bits one place round.
void transposeTile(cv::v_uint8x16 (&x)[kTile]) {
  for (int round = 0; round < 4; ++round) {
    cv::v_uint8x16 y[kTile];
    for (int q = 0; q < 8; ++q) cv::v_zip(x[q], x[q + 8], y[2 * q], y[2 * q + 1]);
    std::copy(std::begin(y), std::end(y), std::begin(x));
  }
}

// Where result(i, k) comes from: sense 1 reads image(k, W - 1 - i), sense 3
// reads image(H - 1 - k, i).
const std::uint8_t* sourceOf(const cv::Mat& image, int sense, int i, int k) {
  const size_t size = image.elemSize();
  return sense == 1 ? image.ptr<std::uint8_t>(k) + static_cast<size_t>(image.cols - 1 - i) * size
                    : image.ptr<std::uint8_t>(image.rows - 1 - k) + static_cast<size_t>(i) * size;
}

// Result rows [i0, i1), columns [k0, k1), pixel by pixel.
template <int Channels>
void copyPixels(const cv::Mat& image, int sense, cv::Mat& result, int i0, int i1, int k0, int k1) {
  const int c = Channels > 0 ? Channels : static_cast<int>(image.elemSize());
  for (int i = i0; i < i1; ++i) {
    std::uint8_t* out = result.ptr<std::uint8_t>(i) + static_cast<size_t>(k0) * c;
    for (int k = k0; k < k1; ++k, out += c) {
      const std::uint8_t* p = sourceOf(image, sense, i, k);
      if (Channels > 0)
        for (int ch = 0; ch < Channels; ++ch) out[ch] = p[ch];
      else
        std::memcpy(out, p, c);
    }
  }
}

// The whole tiles of result rows [i0, i0 + 16) from column 0; the first
// column they leave.
template <int Channels>
int turnTiles(const cv::Mat& image, int sense, cv::Mat& result, int i0) {
  int k0 = 0;
  for (; k0 + kTile <= image.rows; k0 += kTile) {
    // Source run q holds result column k0 + q; its pixels run along the
    // result's rows i0 + 15 down to i0 (sense 1) or i0 up to i0 + 15 (sense 3).
    cv::v_uint8x16 x[Channels][kTile];
    for (int q = 0; q < kTile; ++q) {
      const std::uint8_t* p = sourceOf(image, sense, sense == 1 ? i0 + kTile - 1 : i0, k0 + q);
      if (Channels == 1) x[0][q] = cv::v_load(p);
      else cv::v_load_deinterleave(p, x[0][q], x[1][q], x[2][q]);
    }
    for (auto& channel : x) transposeTile(channel);
    for (int b = 0; b < kTile; ++b) {
      std::uint8_t* out = result.ptr<std::uint8_t>(sense == 1 ? i0 + kTile - 1 - b : i0 + b) + static_cast<size_t>(k0) * Channels;
      if (Channels == 1) cv::v_store(out, x[0][b]);
      else cv::v_store_interleave(out, x[0][b], x[1][b], x[2][b]);
    }
  }
  return k0;
}

template <int Channels>
void turn(const cv::Mat& image, int sense, cv::Mat& result) {
  const int width = image.cols, height = image.rows;
  for (int i0 = 0; i0 < width; i0 += kTile) {
    const int i1 = std::min(width, i0 + kTile);
    int k0 = 0;
    if constexpr (Channels == 1 || Channels == 3)
      if (i1 - i0 == kTile) k0 = turnTiles<Channels>(image, sense, result, i0);
    copyPixels<Channels>(image, sense, result, i0, i1, k0, height);
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
