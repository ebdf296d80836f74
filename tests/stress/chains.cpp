#include "chains.hpp"

#include "quad/stages.hpp"
#include "single/stages.hpp"

namespace stress {

cv::Mat singleChain(const cv::Mat& scan, RunGeometry& run) {
  const imaging::TurnedView turned = single::orientScan(single::frameCorrection(scan));
  if (!run.calibrated) {
    single::calibrateGeometry({900, 900}, run.geometry);
    run.calibrated = true;
  }
  return single::extractFrame(turned, run.geometry);
}

std::vector<cv::Mat> quadChain(const cv::Mat& scan, RunGeometry& run) {
  const imaging::TurnedView turned = quad::orientScan(quad::frameCorrection(scan));
  if (!run.calibrated) {
    quad::calibrateGeometry({900, 900}, turned, run.geometry);
    run.calibrated = true;
  }
  std::vector<cv::Mat> frames;
  quad::extractFrames(turned, [&](const cv::Mat& frame) { frames.push_back(frame.clone()); }, run.geometry);
  return frames;
}

}  // namespace stress
