// cutWindow: a window of the turned scan, for both programs.
#pragma once

#include "scan_records.hpp"

#include "imaging/turned_view.hpp"

#include <opencv2/core/mat.hpp>

#include <string>
#include <vector>

namespace shared {

// scan: the turned scan, usually a view of the cropped one; only the window
// is turned. The part outside the scan is black: `window.outside` says
// whether there is one, and a warning for `warnings` says where.
cv::Mat cutWindow(const imaging::TurnedView& scan, FrameWindow& window, std::vector<std::string>& warnings);

}  // namespace shared
