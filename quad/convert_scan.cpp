// convertScan: one four-frame scan, from the loaded scan to its frames: crop
// to the strip, turn it so the strip runs down, on the first scan fix the
// resolution and measure the geometry, locate and cut the four windows. A
// pitch too small to cut a frame stops the run (extractFrames says why in
// record.stop).

#include "stages.hpp"

namespace quad {

void convertScan(cv::Mat scan, shared::RunState& run, const shared::FrameSink& sink, shared::ScanRecord& record) {
  shared::CropSearch crop;
  cv::Mat cropped = frameCorrection(scan, crop, record.warnings);
  record.crop = std::move(crop);
  scan.release();  // the crop is a view: the pixels go when the turned scan does
  const imaging::TurnedView turned = orientScan(std::move(cropped));
  record.turn = turned.turn;
  if (!run.calibrated) {
    run.resolution = shared::kAssumedResolution;
    record.pitch = calibrateGeometry(run.resolution, turned, run.geometry);
    run.calibrated = true;
    record.calibrated = true;
  }
  record.resolution = run.resolution;
  record.geometry = run.geometry;
  extractFrames(turned, sink, run.geometry, record);
}

}  // namespace quad
