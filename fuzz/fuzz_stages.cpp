// libFuzzer target: the input bytes become an image and go through both
// programs' stage chains, with and without --register, twice, the second time with the first pass's
// geometry as a run would use it.
//
// Bytes that start like an image file (TIFF, PNG, BMP, PNM) are decoded by
// the library with the loader's flags, from memory (not through the loader,
// which reads files and turns no raster by its orientation tag; images with
// more than 4 million pixels, other depths and other channel counts are
// skipped); other bytes are read as a raw image: one byte each for width and
// height (1 to 256), one for the channel count (odd: 3, even: 1), then the
// samples, repeated to fill the image.

#include "stress/chains.hpp"

#include <opencv2/imgcodecs.hpp>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

bool looksLikeImageFile(const uint8_t* data, size_t size) {
  static const char* kMagic[] = {"II*", "MM\0*", "\x89PNG", "BM", "P5", "P6"};
  static const size_t kLength[] = {3, 4, 4, 2, 2, 2};
  for (size_t i = 0; i < 6; ++i)
    if (size >= kLength[i] && std::memcmp(data, kMagic[i], kLength[i]) == 0) return true;
  return false;
}

cv::Mat decodeFile(const uint8_t* data, size_t size) {
  std::vector<uint8_t> bytes(data, data + size);
  cv::Mat img;
  try {
    img = cv::imdecode(bytes, cv::IMREAD_ANYCOLOR | cv::IMREAD_IGNORE_ORIENTATION);
  } catch (const cv::Exception&) {
    return {};
  }
  // Keep each input quick; the stages are linear in the scan's size.
  if (img.empty() || img.total() > 4000000 || img.depth() != CV_8U) return {};
  if (img.channels() != 1 && img.channels() != 3) return {};
  return img;
}

cv::Mat rawImage(const uint8_t* data, size_t size) {
  if (size < 4) return {};
  const int cols = data[0] + 1, rows = data[1] + 1, channels = (data[2] & 1) ? 3 : 1;
  cv::Mat img(rows, cols, CV_8UC(channels));
  const size_t samples = size - 3;
  uint8_t* out = img.ptr<uint8_t>();
  for (size_t i = 0; i < img.total() * channels; ++i) out[i] = data[3 + i % samples];
  return img;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const cv::Mat img = looksLikeImageFile(data, size) ? decodeFile(data, size) : rawImage(data, size);
  if (img.empty()) return 0;
  shared::RunState single, quad, registeredSingle, registeredQuad;
  for (int pass = 0; pass < 2; ++pass) {
    const std::vector<stress::Cut> frame = stress::singleChain(img, single);
    if (frame.size() != 1 || frame[0].window.cols != single.geometry.image_width + 1 ||
        frame[0].window.rows != single.geometry.image_length)
      __builtin_trap();
    const std::vector<stress::Cut> frames = stress::quadChain(img, quad);
    if (frames.size() != 0 && frames.size() != 4) __builtin_trap();
    // With --register: windows of some size, whether the perforations register or not.
    for (const auto& cuts : {stress::registeredSingleChain(img, registeredSingle),
                             stress::registeredQuadChain(img, registeredQuad)})
      for (const stress::Cut& cut : cuts)
        if (cut.window.rows <= 0 || cut.window.cols <= 0) __builtin_trap();
  }
  return 0;
}
