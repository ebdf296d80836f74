// convertScan: one four-frame scan, from the loaded scan to its frames: crop
// to the strip, turn it so the strip runs down, on the first scan fix the
// resolution and measure the geometry, locate and cut the four windows. A
// pitch too small to cut a frame stops the run (extractFrames says so).

#include "stages.hpp"

#include "shared/diagnostics.hpp"

namespace quad {

int convertScan(cv::Mat scan, shared::RunState& run, const shared::FrameSink& sink, shared::ScanRecord& record) {
  cv::Mat cropped = frameCorrection(scan, record.crop);
  scan.release();  // the crop is a view: the pixels go when the turned scan does
  const imaging::TurnedView turned = orientScan(std::move(cropped));
  record.turn = turned.turn;
  if (!run.calibrated) {
    shared::setScanResolution(run);
    record.pitch = calibrateGeometry(run.resolution, turned, run.geometry);
    run.calibrated = true;
  }
  const int status = extractFrames(turned, sink, run.geometry, record);
  record.warnings = shared::takeWarnings();
  return status;
}

}  // namespace quad
