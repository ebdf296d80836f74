// orientScan: turns the cropped scan so that the strip runs down the image.
// A gray scan is turned a quarter clockwise; a colour scan is transposed
// (turned counter-clockwise, then its rows reversed). The two results are
// left-right mirror images of each other, which is how the scanner delivers
// the two kinds. The stage takes the cropped scan over and releases it as
// soon as the turned copy exists; any other channel count gives no image.
//
// orientScanWithMeans makes the same copy strip by strip (turnWithMeans) and
// hands on the turned scan's column means, summed on the way.

#include "stages.hpp"

#include "imaging/profile.hpp"
#include "imaging/raster.hpp"

namespace single {

imaging::TurnedScan orientScanWithMeans(cv::Mat cropped) {
  const int channels = cropped.channels();
  if (channels != 1 && channels != 3) return {};
  const imaging::Turn turn = channels == 1 ? imaging::Turn::Clockwise : imaging::Turn::Transpose;
  if (cropped.depth() == CV_8U) {
    imaging::TurnedScan turned = imaging::turnWithMeans(cropped, turn);
    cropped.release();
    return turned;
  }
  // Other sample depths: the plain turns, which keep any depth.
  imaging::TurnedScan turned;
  turned.image = channels == 1 ? imaging::rotateQuarter(cropped, 3) : imaging::transposeCopy(cropped);
  cropped.release();
  if (!turned.image.empty())
    turned.columnMeans = imaging::columnMeans(turned.image, turned.image.cols, 1, turned.image.rows);
  return turned;
}

cv::Mat orientScan(cv::Mat cropped) { return orientScanWithMeans(std::move(cropped)).image; }

}  // namespace single
