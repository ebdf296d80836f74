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

const shared::ProgramSpec kProgram{
    {"tarvel4", "the *.tif scans of the current folder, four frames each, at most five",
     "video3.avi (DIVX, 640 x 480, 25 fps), ten frames per scan", "tarvel4"},
    kMaxScans,
    {{"video3.avi", "DIVX"}},
};

}  // namespace

int main(int argc, char** argv) {
  shared::ScanResolution resolution;
  shared::StripGeometry geometry;
  return shared::runProgram(kProgram, argc, argv, [&](cv::Mat scan, int scanNumber, const shared::FrameSink& sink) {
    cv::Mat cropped = quad::frameCorrection(scan);
    scan.release();
    const imaging::TurnedView turned = quad::orientScan(std::move(cropped));
    if (scanNumber == 1) {
      resolution = {kDotsPerInch, kDotsPerInch};
      std::printf("Picture resolution (dpi) x=%d,y=%d\n", resolution.x, resolution.y);
      quad::calibrateGeometry(resolution, turned, geometry);
      if (!quad::framesCanBeCut(geometry)) {
        shared::reportError("the frame pitch measured on the first scan is %d pixels; no frame can be cut "
                            "with it, so the run stops",
                            geometry.image_length / 4);
        return 1;
      }
    }
    return quad::extractFrames(turned, sink, geometry);
  });
}
