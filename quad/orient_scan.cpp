// orientScan: turns the cropped scan a quarter counter-clockwise, so that the
// strip, which runs along the scan's width, runs down the image: the last
// column becomes the first row. The cropped scan is taken over and released
// here, so only the turned copy is held from now on.

#include "stages.hpp"

#include "imaging/raster.hpp"

namespace quad {

cv::Mat orientScan(cv::Mat cropped) {
  if (cropped.channels() != 1 && cropped.channels() != 3) return {};
  cv::Mat turned = imaging::rotateQuarter(cropped, 1);
  cropped.release();
  return turned;
}

}  // namespace quad
