// The overlay pictures as files (--overlay DIR): the folder they go to,
// their names, and writing each whole.
//
//   prepareFolder  creates the folder when missing and proves it takes a file; or why not
//   pictureName    the picture's file name for a scan, unique within the run
//   writePicture   the picture as a PNG file, put in place whole; or why not
#pragma once

#include <opencv2/core/mat.hpp>

#include <set>
#include <string>

namespace program {

// Empty when `folder` exists (or was made) and a file can be written in it.
// Pictures that killed runs left half-written there are removed.
std::string prepareFolder(const std::string& folder);

// "scan.tif" gives "scan.png"; a name already in `taken` gets "-2", "-3", ...
// before its extension. The name given is added to `taken`.
std::string pictureName(const std::string& scanName, std::set<std::string>& taken);

// Empty when the PNG file was written whole.
std::string writePicture(const std::string& path, const cv::Mat& picture);

}  // namespace program
