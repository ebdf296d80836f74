// The frame-window stages both programs share.
//
//   locateWindowStart  where the frame windows of a turned scan begin; prints its three lines
//   cutWindow          a window of the turned scan; the part outside the scan is black
#pragma once

#include "scan_records.hpp"

#include "imaging/turned_view.hpp"

#include <opencv2/core/mat.hpp>

namespace shared {

// The start row is searched in the rows from rowSearchFrom x height up to
// (not including) rowSearchTo x height.
WindowSearch locateWindowStart(const imaging::TurnedView& turned, double rowSearchFrom, double rowSearchTo);

// scan: the turned scan, usually a view of the cropped one; only the window is turned.
cv::Mat cutWindow(const imaging::TurnedView& scan, FrameWindow& window);

}  // namespace shared
