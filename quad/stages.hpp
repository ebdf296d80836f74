// The stages of tarvel4, for scans that hold four consecutive frames of a
// narrow strip running along the scan's width.
//
//   frameCorrection    view of the strip's columns: left edge found, right edge at 98 %
//   orientScan         takes the cropped scan, returns it, as a view, turned a quarter counter-clockwise
//   calibrateGeometry  on the first scan: fills the StripGeometry, measuring the frame pitch
//   framePitch         mean spacing of the first and fourth rise, (max4 - max1) / 3 truncated
//   locateFrameWindow  start row and column offset of the frame windows of one turned scan
//   extractFrames      cuts the four frames, scales each, sends 1,1,1,1,2,2,2,3,3,4 to a sink
//
// After orientScan a row is a position along the strip and a column a
// position across it. The stages print their measurements on standard
// output; warnings and errors go to standard error.
#pragma once

#include "common/shared.hpp"
#include "imaging/fused.hpp"

#include <opencv2/core/mat.hpp>

namespace quad {

cv::Mat frameCorrection(const cv::Mat& scan);

// Takes over the cropped scan; gives no image for a channel count other than 1 or 3.
imaging::TurnedView orientScan(cv::Mat cropped);

// Always 0. A pitch below 1 (image_length / 4 < 1) leaves no frame to cut;
// the caller checks that with framesCanBeCut.
int calibrateGeometry(const shared::ScanResolution& resolution, const imaging::TurnedView& turned,
                      shared::StripGeometry& geometry);
int framePitch(int max1, int max4);
bool framesCanBeCut(const shared::StripGeometry& geometry);

// row: first row of the first window; column: first column of every window.
using FrameWindowStart = shared::WindowStart;

FrameWindowStart locateFrameWindow(const imaging::TurnedView& turned);

// Returns 0, or 1 without cutting when the geometry leaves no frame to cut.
int extractFrames(const imaging::TurnedView& turned, const shared::FrameSink& sink,
                  const shared::StripGeometry& geometry);

}  // namespace quad
