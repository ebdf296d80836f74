// Pictures of what was found on a scan (--overlay DIR): the scan as loaded,
// reduced, with the strip's crop edges, the band of rows whose profile found
// them and the frame windows mapped back through the turn; beside it the
// profiles that decided, each with its search stretch shaded and the
// position chosen marked; below it the measurements and the warnings, in
// words. Drawn from the scan's record (shared/scan_records.hpp); the stages
// know nothing of it, and the program layer writes the files.
//
//   placeScan       where the reduced scan lies in the picture, and at what scale
//   drawPicture     the picture of one scan
#pragma once

#include "shared/run_state.hpp"
#include "shared/scan_records.hpp"

#include <opencv2/core/mat.hpp>

#include <string>

namespace overlay {

constexpr int kPictureWidth = 1600;
constexpr int kPictureHeight = 1000;

// Loaded-scan pixel (x, y) is drawn at origin + scale x (x, y).
struct ScanPlacement {
  cv::Point2d origin;
  double scale = 1;
  cv::Point at(double x, double y) const;
};
ScanPlacement placeScan(cv::Size scan);

struct ScanFacts {
  const char* program;
  std::string scanName;
  shared::StripGeometry geometry;  // the run's, fixed on the first scan
};

// 8-bit, 3 channels, kPictureWidth x kPictureHeight.
cv::Mat drawPicture(const cv::Mat& scan, const shared::ScanRecord& record, const ScanFacts& facts);

}  // namespace overlay
