// The stages of the single-frame programs, in the order convertScan runs them.
//
//   frameCorrection    view of the columns between the strip's left and right edges
//   orientScan         takes over the cropped scan; returns it, as a view, turned so the strip runs down
//   calibrateGeometry  fills the strip geometry from the resolution and the film's sizes
//   extractFrame       locates the frame window in the turned scan and returns a copy of it
//   convertScan        one scan through all of them: the one frame it yields goes to a sink
//   registerScan       with --register: the frame placed by the perforations instead (register_frame.cpp)
//
// Each stage hands back what it found in the scan's record, anything unusual
// (a fallback, a window outside the scan) among its warnings, and prints
// nothing.
#pragma once

#include "shared/conversion.hpp"
#include "shared/run_state.hpp"
#include "shared/scan_records.hpp"

#include "imaging/turned_view.hpp"

#include <opencv2/core/mat.hpp>

#include <string>
#include <vector>

namespace single {

cv::Mat frameCorrection(const cv::Mat& scan, shared::CropSearch& found, std::vector<std::string>& warnings);
imaging::TurnedView orientScan(cv::Mat cropped);
void calibrateGeometry(const shared::ScanResolution& resolution, shared::StripGeometry& geometry);
// Fills record.window and record.frames, and warns when the window reaches outside the scan.
cv::Mat extractFrame(const imaging::TurnedView& turned, const shared::StripGeometry& geometry,
                     shared::ScanRecord& record);

void convertScan(cv::Mat scan, shared::RunState& run, const shared::FrameSink& sink, shared::ScanRecord& record);
// Fills record.registration; a scan the perforations do not register goes through convertScan.
void registerScan(cv::Mat scan, shared::RunState& run, const shared::FrameSink& sink, shared::ScanRecord& record);

}  // namespace single
