// orientScan: turns the cropped scan so that the strip runs down the image.
// A gray scan is turned a quarter clockwise; a colour scan is transposed
// (turned counter-clockwise, then its rows reversed: one transposing copy).
// The two results are
// left-right mirror images of each other, which is how the scanner delivers
// the two kinds. The stage takes the cropped scan over and releases it as
// soon as the turned copy exists; any other channel count gives no image.

#include "stages.hpp"

#include "imaging/fused.hpp"
#include "imaging/raster.hpp"

namespace single {

cv::Mat orientScan(cv::Mat cropped) {
  if (cropped.channels() == 1) {
    cv::Mat turned = imaging::rotateQuarter(cropped, 3);
    cropped.release();
    return turned;
  }
  if (cropped.channels() == 3) {
    cv::Mat turned = imaging::transposeCopy(cropped);
    cropped.release();
    return turned;
  }
  return {};
}

}  // namespace single
