// windowInScan: where a frame window of the turned scan lies in the scan as
// loaded, mapped back through the turn and the crop; for the report and the
// overlay pictures.
#pragma once

#include "scan_records.hpp"

#include <opencv2/core/types.hpp>

namespace shared {

// A window reaching past the scan maps to a rectangle reaching past it too.
// Needs record.loadedSize and record.crop. A window placed by the
// perforations gives its rectangle as if the strip lay straight; its tilt
// is the placed frame's.
cv::Rect windowInScan(const ScanRecord& record, const FrameWindow& window);

}  // namespace shared
