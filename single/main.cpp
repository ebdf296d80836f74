// The driver of tarvel1m and tarvel1d: creates the video writer(s), then runs
// every scan of the folder (at most ten, in listing order) through cropping,
// orientation, on the first scan geometry, and frame cutting, and appends
// each scan's frame, scaled to 640 x 480, to "video.avi". The build picks
// the codec, and whether an empty "video3.avi" is created alongside.
//
// What surrounds the scans (options, writers, failures, stops, the exit
// status) is shared::runProgram's.

#include "stages.hpp"

#include <cstdio>

namespace {

// TARVEL_MP42_BUILD makes tarvel1m: MP42, with an empty "video3.avi" beside
// the video. Without it the driver is tarvel1d: DIVX, one file.
#ifdef TARVEL_MP42_BUILD
constexpr const char* kProgramName = "tarvel1m";
constexpr const char* kVideoFourcc = "MP42";
constexpr const char* kWrites =
    "video.avi (MP42, 640 x 480, 25 fps, one frame per scan) and an empty video3.avi (MP42)";
#else
constexpr const char* kProgramName = "tarvel1d";
constexpr const char* kVideoFourcc = "DIVX";
constexpr const char* kWrites = "video.avi (DIVX, 640 x 480, 25 fps, one frame per scan)";
#endif

constexpr int kMaxScans = 10;
constexpr int kScanDotsPerInch = 900;

const shared::ProgramSpec kProgram{
    {kProgramName, "the *.tif scans of the current folder, one film frame each, at most ten", kWrites,
     kProgramName},
    kMaxScans,
#ifdef TARVEL_MP42_BUILD
    {{"video.avi", kVideoFourcc}, {"video3.avi", "MP42"}},
#else
    {{"video.avi", kVideoFourcc}},
#endif
};

}  // namespace

int main(int argc, char** argv) {
  shared::ScanResolution resolution;
  shared::StripGeometry geometry;
  return shared::runProgram(kProgram, argc, argv, [&](cv::Mat scan, int scanNumber, const shared::FrameSink& sink) {
    cv::Mat cropped = single::frameCorrection(scan);
    scan.release();
    const imaging::TurnedView turned = single::orientScan(std::move(cropped));
    if (scanNumber == 1) {
      resolution = {kScanDotsPerInch, kScanDotsPerInch};
      std::printf("Picture resolution (dpi) x=%d,y=%d\n", resolution.x, resolution.y);
      single::calibrateGeometry(resolution, geometry);
    }
    sink(shared::scaleToVideoFrame(single::extractFrame(turned, geometry)));
    return 0;
  });
}
