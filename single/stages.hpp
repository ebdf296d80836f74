// The stages of the single-frame programs, in the order the driver runs them.
//
//   frameCorrection    view of the columns between the strip's left and right edges
//   orientScan         takes over the cropped scan; returns it, as a view, turned so the strip runs down
//   calibrateGeometry  fills the strip geometry from the resolution and the film's sizes
//   extractFrame       locates the frame window in the turned scan and returns a copy of it
//
// Each stage prints its measurements on standard output, one short line each,
// and anything unusual (a fallback, a window outside the scan) on standard error.
#pragma once

#include "common/shared.hpp"
#include "imaging/fused.hpp"

#include <opencv2/core/mat.hpp>

namespace single {

cv::Mat frameCorrection(const cv::Mat& scan);
imaging::TurnedView orientScan(cv::Mat cropped);
void calibrateGeometry(const shared::ScanResolution& resolution, shared::StripGeometry& geometry);
cv::Mat extractFrame(const imaging::TurnedView& turned, const shared::StripGeometry& geometry);

}  // namespace single
