// loadScan: a scan as stored, 8 bits per sample with 1 or 3 channels.
// The library scales 16-bit samples to 8 bits; an alpha channel is dropped
// here, and the first page stands for a multi-page file. Whatever cannot be
// decoded gives an empty image, which the driver reports.
//
// The raster is taken as the scanner stored it. The library's TIFF decoder
// turns a raster by its orientation tag even when asked not to, and a turned
// scan would be cropped and cut across the strip, so a TIFF whose first
// directory carries an orientation other than "top left" is decoded from a
// copy in which that tag reads "top left".

#include "shared.hpp"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <vector>

namespace shared {
namespace {

constexpr int kLoadFlags = cv::IMREAD_ANYCOLOR | cv::IMREAD_IGNORE_ORIENTATION;
constexpr std::uint16_t kOrientationTag = 274;
constexpr std::uint16_t kShortType = 3;
constexpr std::uint16_t kTopLeft = 1;

struct TiffReader {
  std::ifstream& in;
  bool bigEndian;

  bool read(std::uint64_t at, unsigned char* out, size_t n) {
    in.clear();
    in.seekg(static_cast<std::streamoff>(at));
    return static_cast<bool>(in.read(reinterpret_cast<char*>(out), static_cast<std::streamsize>(n)));
  }
  std::uint32_t value(const unsigned char* b, size_t n) const {
    std::uint32_t v = 0;
    for (size_t i = 0; i < n; ++i) v |= static_cast<std::uint32_t>(b[bigEndian ? i : n - 1 - i]) << (8 * (n - 1 - i));
    return v;
  }
};

// Byte offset of the orientation value in the first directory of a classic
// TIFF, when it is present and not "top left"; 0 otherwise.
std::uint64_t turnedOrientationAt(const std::string& fileName) {
  std::ifstream in(fileName, std::ios::binary);
  unsigned char header[8];
  if (!in.read(reinterpret_cast<char*>(header), 8)) return 0;
  const bool little = header[0] == 'I' && header[1] == 'I', big = header[0] == 'M' && header[1] == 'M';
  if (!little && !big) return 0;
  TiffReader tiff{in, big};
  if (tiff.value(header + 2, 2) != 42) return 0;  // not a classic TIFF
  const std::uint64_t directory = tiff.value(header + 4, 4);
  unsigned char count[2];
  if (!tiff.read(directory, count, 2)) return 0;
  const std::uint32_t entries = tiff.value(count, 2);
  for (std::uint32_t i = 0; i < entries; ++i) {
    unsigned char entry[12];
    const std::uint64_t at = directory + 2 + 12ull * i;
    if (!tiff.read(at, entry, 12)) return 0;
    if (tiff.value(entry, 2) != kOrientationTag) continue;
    if (tiff.value(entry + 2, 2) != kShortType || tiff.value(entry + 8, 2) == kTopLeft) return 0;
    return at + 8;
  }
  return 0;
}

cv::Mat decodeAsStored(const std::string& fileName, std::uint64_t orientationAt) {
  std::ifstream in(fileName, std::ios::binary);
  std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (orientationAt + 2 > bytes.size()) return {};
  const bool big = bytes[0] == 'M';
  bytes[orientationAt + (big ? 1 : 0)] = kTopLeft;
  bytes[orientationAt + (big ? 0 : 1)] = 0;
  return cv::imdecode(bytes, kLoadFlags);
}

cv::Mat decode(const std::string& fileName) {
  try {
    if (const std::uint64_t orientationAt = turnedOrientationAt(fileName))
      return decodeAsStored(fileName, orientationAt);
    return cv::imread(fileName, kLoadFlags);
  } catch (const cv::Exception&) {
    return {};
  }
}

}  // namespace

cv::Mat loadScan(const std::string& fileName) {
  cv::Mat scan = decode(fileName);
  if (scan.empty() || scan.dims != 2) return {};
  if (scan.depth() != CV_8U) {
    // Only reached if a decoder keeps a deeper sample; scale to 8 bits as imread does.
    cv::Mat eight;
    scan.convertTo(eight, CV_8U, scan.depth() == CV_16U ? 1.0 / 256.0 : 1.0);
    scan = eight;
  }
  switch (scan.channels()) {
    case 1:
    case 3: return scan;
    case 2: {
      cv::Mat gray;
      cv::extractChannel(scan, gray, 0);
      return gray;
    }
    case 4: {
      cv::Mat colour;
      cv::cvtColor(scan, colour, cv::COLOR_BGRA2BGR);
      return colour;
    }
    default: return {};
  }
}

}  // namespace shared
