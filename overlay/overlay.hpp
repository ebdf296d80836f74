// Pictures of what was found on a scan, one PNG per scan in a folder the
// user names (--overlay DIR): the scan as loaded, reduced, with the strip's
// crop edges, the band of rows whose profile found them and the frame
// windows mapped back through the turn; beside it the profiles that decided,
// each with its search stretch shaded and the position chosen marked; below
// it the measurements and the warnings, in words. Drawn from the scan's
// record (shared/scan_records.hpp); the stages know nothing of it.
//
//   prepareFolder   creates the folder when missing and proves it takes a file; or why not
//   pictureName     the picture's file name for a scan, unique within the run
//   placeScan       where the reduced scan lies in the picture, and at what scale
//   drawPicture     the picture of one scan
//   writePicture    the picture as a PNG file; or why not
#pragma once

#include "shared/run_state.hpp"
#include "shared/scan_records.hpp"

#include <opencv2/core/mat.hpp>

#include <set>
#include <string>

namespace overlay {

constexpr int kPictureWidth = 1600;
constexpr int kPictureHeight = 1000;

// Empty when `folder` exists (or was made) and a file can be written in it.
std::string prepareFolder(const std::string& folder);

// "scan.tif" gives "scan.png"; a name already in `taken` gets "-2", "-3", ...
// before its extension. The name given is added to `taken`.
std::string pictureName(const std::string& scanName, std::set<std::string>& taken);

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

// The window rectangles in loaded-scan pixels, mapped back through the crop and the turn.
cv::Rect windowInScan(const cv::Mat& scan, const shared::ScanRecord& record, const shared::FrameWindow& window);

// 8-bit, 3 channels, kPictureWidth x kPictureHeight.
cv::Mat drawPicture(const cv::Mat& scan, const shared::ScanRecord& record, const ScanFacts& facts);

// Empty when the PNG file was written whole.
std::string writePicture(const std::string& path, const cv::Mat& picture);

}  // namespace overlay
