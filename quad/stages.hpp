// The stages of tarvel4, for scans that hold four consecutive frames of a
// narrow strip running along the scan's width, in the order convertScan
// runs them.
//
//   frameCorrection    view of the strip's columns: left edge found, right edge at 98 %
//   orientScan         takes the cropped scan, returns it, as a view, turned a quarter counter-clockwise
//   calibrateGeometry  on the first scan: fills the StripGeometry, measuring the frame pitch
//   framePitch         mean spacing of the first and fourth rise, (max4 - max1) / 3 truncated
//   framesCanBeCut     whether a geometry leaves a window to cut (a pitch of 1 or more)
//   locateFrameWindow  start row and column of the frame windows of one turned scan
//   extractFrames      cuts the four frames and sends them to a sink 4, 3, 2 and 1 times
//   convertScan        one scan through all of them
//   registerScan       with --register: the frames placed by the perforations instead (register_frames.cpp)
//
// After orientScan a row is a position along the strip and a column a
// position across it. The stages hand back what they found in records, with
// their warnings, and print nothing.
#pragma once

#include "shared/conversion.hpp"
#include "shared/run_state.hpp"
#include "shared/scan_records.hpp"

#include "imaging/turned_view.hpp"

#include <opencv2/core/mat.hpp>

#include <string>
#include <vector>

namespace quad {

cv::Mat frameCorrection(const cv::Mat& scan, shared::CropSearch& found, std::vector<std::string>& warnings);

// Takes over the cropped scan; gives no image for a channel count other than 1 or 3.
imaging::TurnedView orientScan(cv::Mat cropped);

shared::PitchSearch calibrateGeometry(const shared::ScanResolution& resolution, const imaging::TurnedView& turned,
                                      shared::StripGeometry& geometry);
int framePitch(int max1, int max4);
bool framesCanBeCut(const shared::StripGeometry& geometry);

shared::WindowSearch locateFrameWindow(const imaging::TurnedView& turned);

// Fills record.window and record.frames; when the geometry leaves no frame
// to cut, fills record.stop instead and cuts nothing.
void extractFrames(const imaging::TurnedView& turned, const shared::FrameSink& sink,
                  const shared::StripGeometry& geometry, shared::ScanRecord& record);

void convertScan(cv::Mat scan, shared::RunState& run, const shared::FrameSink& sink, shared::ScanRecord& record);
// Fills record.registration; a scan the perforations do not register goes through convertScan.
void registerScan(cv::Mat scan, shared::RunState& run, const shared::FrameSink& sink, shared::ScanRecord& record);

}  // namespace quad
