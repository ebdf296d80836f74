// orientScan: turns the cropped scan so that the strip runs down the image.
// A gray scan is turned a quarter clockwise; a colour scan is transposed
// (turned counter-clockwise, then its rows reversed). The two results are
// left-right mirror images of each other, which is how the scanner delivers
// the two kinds. Any other channel count gives no image.
//
// The turned scan is a view: the stage takes the cropped scan over and
// hands it on with the turn to read it by, and the frame stage turns only
// the window it cuts (imaging::turnedCopy gives the whole turned image).

#include "stages.hpp"

namespace single {

imaging::TurnedView orientScan(cv::Mat cropped) {
  const int channels = cropped.channels();
  if (channels != 1 && channels != 3) return {};
  return {std::move(cropped), channels == 1 ? imaging::Turn::Clockwise : imaging::Turn::Transpose};
}

}  // namespace single
