// Windows placed by the perforations (--register), for both programs: the
// picture cut from the scan as loaded and turned as the program turns its
// strip, and the frame a pitch further along the strip.
//
//   registerOrConvert  the finder's record of a scan, or the scan converted without it
//   cutPlacedWindow    the picture of window.placed, turned; warns when it reaches outside the scan
//   shiftedAlong       a placed frame moved along the strip by whole frame pitches
#pragma once

#include "conversion.hpp"
#include "scan_records.hpp"

#include "imaging/turned_view.hpp"
#include "registration/registration.hpp"

#include <opencv2/core/mat.hpp>

#include <string>
#include <vector>

namespace shared {

// Fills record.registration from the scan's perforations and returns true
// when they registered; otherwise hands the scan to `convert`, the
// program's conversion without them, and returns false.
bool registerOrConvert(cv::Mat& scan, RunState& run, const FrameSink& sink, ScanRecord& record,
                       ScanConverter convert);

cv::Mat cutPlacedWindow(const cv::Mat& scan, imaging::Turn turn, FrameWindow& window,
                        std::vector<std::string>& warnings);

// steps > 0 moves towards larger x, along the strip's tilt.
registration::PlacedFrame shiftedAlong(const registration::PlacedFrame& frame, double pitch, int steps);

}  // namespace shared
