// cropToStrip: the columns between the crop edges a program found, for both
// programs; edges that give no crop keep the whole width.
#pragma once

#include "scan_records.hpp"

#include <opencv2/core/mat.hpp>

#include <string>
#include <vector>

namespace shared {

// A view of the scan's columns found.left to found.right, both included.
// When those do not fit the scan (left below 0, past right, or right past
// the last column), the whole width is kept: found says so and a warning for
// `warnings` names the edges. found.foundLeft and foundRight keep the edges
// as found either way.
cv::Mat cropToStrip(const cv::Mat& scan, CropSearch& found, std::vector<std::string>& warnings);

}  // namespace shared
