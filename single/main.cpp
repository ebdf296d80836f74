// The driver of tarvel1m and tarvel1d: creates the video writer(s), then runs
// every scan of the folder (at most ten, in listing order) through cropping,
// orientation, on the first scan geometry, and frame cutting, and appends
// each scan's frame, scaled to 640 x 480, to "video.avi". The build picks
// the codec, and whether an empty "video3.avi" is created alongside.
//
// Exit status: 0 at a normal end (also when the folder holds no scan);
// 1 when a video file cannot be created (before any scan is read) or a scan
// cannot be loaded (the frames written before it stay in a finished video).

#include "stages.hpp"

#include <cstdio>

namespace {

// TARVEL_MP42_BUILD makes tarvel1m: MP42, with an empty "video3.avi" beside
// the video. Without it the driver is tarvel1d: DIVX, one file.
#ifdef TARVEL_MP42_BUILD
constexpr const char* kProgramName = "tarvel1m";
constexpr const char* kVideoFourcc = "MP42";
constexpr const char* kSecondVideoFile = "video3.avi";
constexpr const char* kWrites =
    "video.avi (MP42, 640 x 480, 25 fps, one frame per scan) and an empty video3.avi (MP42)";
#else
constexpr const char* kProgramName = "tarvel1d";
constexpr const char* kVideoFourcc = "DIVX";
constexpr const char* kWrites = "video.avi (DIVX, 640 x 480, 25 fps, one frame per scan)";
#endif

constexpr int kMaxScans = 10;
constexpr int kScanDotsPerInch = 900;
constexpr const char* kVideoFile = "video.avi";

int convertScans(cv::VideoWriter& video) {
  shared::ScanResolution resolution;
  shared::StripGeometry geometry;
  // Declared after the writer's owner and waited for when it goes: the video
  // is complete before main releases the writer.
  std::future<void> writing;
  return shared::runBatch(kMaxScans, [&](cv::Mat scan, int scanNumber) {
    cv::Mat cropped = single::frameCorrection(scan);
    scan.release();
    const imaging::TurnedView turned = single::orientScan(std::move(cropped));
    if (scanNumber == 1) {
      resolution = {kScanDotsPerInch, kScanDotsPerInch};
      std::printf("Picture resolution (dpi) x=%d,y=%d\n", resolution.x, resolution.y);
      single::calibrateGeometry(resolution, geometry);
    }
    const cv::Mat frame = single::extractFrame(turned, geometry);
    shared::appendFramesInBackground(video, {shared::scaleToVideoFrame(frame)}, writing);
    return 0;
  });
}

}  // namespace

int main(int argc, char** argv) {
  const shared::ProgramInfo info{
      kProgramName, "the *.tif scans of the current folder, one film frame each, at most ten", kWrites};
  if (shared::handleInfoOptions(argc, argv, info)) return 0;

  cv::VideoWriter video;
  if (!shared::openVideo(video, kVideoFile, kVideoFourcc)) return 1;
#ifdef TARVEL_MP42_BUILD
  cv::VideoWriter secondVideo;
  if (!shared::openVideo(secondVideo, kSecondVideoFile, "MP42")) return 1;
#endif

  const int status = convertScans(video);
  video.release();
#ifdef TARVEL_MP42_BUILD
  secondVideo.release();
#endif
  return status;
}
