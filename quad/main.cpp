// tarvel4: turns a folder of four-frame scans into "video3.avi". The writer
// exists before the folder is listed; the first scan fixes the resolution
// and the strip geometry that every scan of the run is cut with. A run that
// cannot finish (a scan that does not load, a pitch too small to cut a
// frame) still releases the writer, so the frames written so far form a
// playable video, and ends with status 1.

#include "stages.hpp"

#include <cstdio>
#include <utility>
#include <vector>

namespace {

constexpr int kMaxScans = 5;
constexpr int kDotsPerInch = 900;
constexpr const char* kVideoFile = "video3.avi";

const shared::ProgramInfo kInfo{
    "tarvel4",
    "the *.tif scans of the current folder, four frames each, at most five",
    "video3.avi (DIVX, 640 x 480, 25 fps), ten frames per scan"};

int convertScans(cv::VideoWriter& writer) {
  shared::ScanResolution resolution;
  shared::StripGeometry geometry;
  // Each scan's ten frames are encoded while the next scan is cut; the
  // writing is waited for when it goes, before main releases the writer.
  std::future<void> writing;
  return shared::runBatch(kMaxScans, [&](cv::Mat scan, int scanNumber) {
    cv::Mat cropped = quad::frameCorrection(scan);
    scan.release();
    const imaging::TurnedView turned = quad::orientScan(std::move(cropped));
    if (scanNumber == 1) {
      resolution = {kDotsPerInch, kDotsPerInch};
      std::printf("Picture resolution (dpi) x=%d,y=%d\n", resolution.x, resolution.y);
      quad::calibrateGeometry(resolution, turned, geometry);
      if (!quad::framesCanBeCut(geometry)) {
        std::fprintf(stderr,
                     "tarvel4: the frame pitch measured on the first scan is %d pixels; no frame "
                     "can be cut with it, so the run stops\n",
                     geometry.image_length / 4);
        return 1;
      }
    }
    std::vector<cv::Mat> frames;
    const int status =
        quad::extractFrames(turned, [&frames](const cv::Mat& frame) { frames.push_back(frame); }, geometry);
    shared::appendFramesInBackground(writer, std::move(frames), writing);
    return status;
  });
}

}  // namespace

int main(int argc, char** argv) {
  if (shared::handleInfoOptions(argc, argv, kInfo)) return 0;
  cv::VideoWriter writer;
  if (!shared::openVideo(writer, kVideoFile, "DIVX")) return 1;
  const int status = convertScans(writer);
  writer.release();
  return status;
}
