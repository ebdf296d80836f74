// convertScan: one scan of a single-frame program, from the loaded scan to
// the frame it yields: crop to the strip, turn it so the strip runs down, on
// the first scan fix the resolution and the geometry, locate and cut the
// frame window. The window goes to the sink once, at its own size.

#include "stages.hpp"

namespace single {

void convertScan(cv::Mat scan, shared::RunState& run, const shared::FrameSink& sink, shared::ScanRecord& record) {
  shared::CropSearch crop;
  cv::Mat cropped = frameCorrection(scan, crop, record.warnings);
  record.crop = std::move(crop);
  scan.release();  // the crop is a view: the pixels go when the turned scan does
  const imaging::TurnedView turned = orientScan(std::move(cropped));
  record.turn = turned.turn;
  if (!run.calibrated) {
    run.resolution = shared::kAssumedResolution;
    calibrateGeometry(run.resolution, run.geometry);
    run.calibrated = true;
    record.calibrated = true;
  }
  record.resolution = run.resolution;
  record.geometry = run.geometry;
  sink(extractFrame(turned, run.geometry, record), 1);
}

}  // namespace single
