// orientScan: turns the cropped scan a quarter counter-clockwise, so that the
// strip, which runs along the scan's width, runs down the image: the last
// column becomes the first row. Any channel count other than 1 or 3 gives
// no image.
//
// The turned scan is a view: the stage takes the cropped scan over and
// hands it on with the turn to read it by; calibration and location read
// through the turn and only the four frame windows are turned when cut
// (imaging::turnedCopy gives the whole turned image).

#include "stages.hpp"

namespace quad {

imaging::TurnedView orientScan(cv::Mat cropped) {
  if (cropped.channels() != 1 && cropped.channels() != 3) return {};
  return {std::move(cropped), imaging::Turn::CounterClockwise};
}

}  // namespace quad
