// loadScan: a scan as stored, 8 bits per sample with 1 or 3 channels.
// The library scales 16-bit samples to 8 bits; an alpha channel is dropped
// here, and a first page stands for a multi-page file. Whatever cannot be
// decoded gives an empty image, which the driver reports.

#include "shared.hpp"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace shared {

cv::Mat loadScan(const std::string& fileName) {
  cv::Mat scan;
  try {
    scan = cv::imread(fileName, cv::IMREAD_ANYCOLOR | cv::IMREAD_IGNORE_ORIENTATION);
  } catch (const cv::Exception&) {
    return {};
  }
  if (scan.empty() || scan.dims != 2) return {};
  if (scan.depth() != CV_8U) {
    // Only reached if a decoder keeps a deeper sample; scale to 8 bits as imread does.
    cv::Mat eight;
    const double scale = scan.depth() == CV_16U ? 1.0 / 256.0 : 1.0;
    scan.convertTo(eight, CV_8U, scale);
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
