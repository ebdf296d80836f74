// loadScan: one scan as stored, 8 bits, 1 or 3 channels; or why it did not load.
#pragma once

#include <opencv2/core/mat.hpp>

#include <string>

namespace shared {

struct LoadedScan {
  cv::Mat image;        // empty when the scan did not load
  std::string failure;  // then why, e.g. "it is not a regular file but a FIFO"
};
LoadedScan loadScan(const std::string& fileName);

}  // namespace shared
