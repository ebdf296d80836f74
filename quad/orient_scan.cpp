// orientScan: turns the cropped scan a quarter counter-clockwise, so that the
// strip, which runs along the scan's width, runs down the image: the last
// column becomes the first row. The cropped scan is taken over and released
// here, so only the turned copy is held from now on.
//
// orientScanWithMeans makes the same copy strip by strip (turnWithMeans) and
// hands on the turned scan's column means, summed on the way.

#include "stages.hpp"

namespace quad {

imaging::TurnedScan orientScanWithMeans(cv::Mat cropped) {
  if (cropped.channels() != 1 && cropped.channels() != 3) return {};
  imaging::TurnedScan turned = imaging::turnWithMeans(cropped, imaging::Turn::CounterClockwise);
  cropped.release();
  return turned;
}

cv::Mat orientScan(cv::Mat cropped) { return orientScanWithMeans(std::move(cropped)).image; }

}  // namespace quad
