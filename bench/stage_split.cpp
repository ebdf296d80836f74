// Where a scan's time goes: runs every "*.tif" scan of the current folder
// through one program's chain, in process, and prints per scan the time of
// loading, analysis (crop, turn, geometry or calibration, location, cut),
// scaling and encoding, in milliseconds, tab-separated:
//
//   stage_split single|quad
//
// The four-frame chain scales inside its frame stage: its scaling time is
// measured separately on the frames it hands over and taken off its analysis.

#include "common/shared.hpp"
#include "quad/stages.hpp"
#include "single/stages.hpp"

#include <opencv2/imgproc.hpp>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Split {
  double load = 0, analysis = 0, scaling = 0, encoding = 0;
};

Split singleScan(const std::string& name, shared::Video& video, shared::StripGeometry& geometry, bool first) {
  Split s;
  auto t = Clock::now();
  cv::Mat scan = shared::loadScan(name).image;
  s.load = msSince(t);
  t = Clock::now();
  const imaging::TurnedView turned = single::orientScan(single::frameCorrection(scan));
  scan.release();
  if (first) single::calibrateGeometry({900, 900}, geometry);
  const cv::Mat frame = single::extractFrame(turned, geometry);
  s.analysis = msSince(t);
  t = Clock::now();
  const cv::Mat scaled = shared::scaleToVideoFrame(frame);
  s.scaling = msSince(t);
  t = Clock::now();
  shared::appendFrame(video, scaled);
  s.encoding = msSince(t);
  return s;
}

Split quadScan(const std::string& name, shared::Video& video, shared::StripGeometry& geometry, bool first) {
  Split s;
  auto t = Clock::now();
  cv::Mat scan = shared::loadScan(name).image;
  s.load = msSince(t);
  t = Clock::now();
  const imaging::TurnedView turned = quad::orientScan(quad::frameCorrection(scan));
  scan.release();
  if (first) quad::calibrateGeometry({900, 900}, turned, geometry);
  double encoding = 0;
  quad::extractFrames(turned, [&](const cv::Mat& frame) {
    const auto e = Clock::now();
    shared::appendFrame(video, frame);
    encoding += msSince(e);
  }, geometry);
  const double total = msSince(t);
  // Four bicubic scalings of frame-sized windows, timed on their own.
  const int q = geometry.image_length / 4;
  if (q >= 1) {
    const cv::Mat window(q, geometry.image_width + 1, turned.type(), cv::Scalar::all(128));
    t = Clock::now();
    for (int k = 0; k < 4; ++k) shared::scaleToVideoFrame(window);
    s.scaling = msSince(t);
  }
  s.encoding = encoding;
  s.analysis = total - encoding - s.scaling;
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  const bool quadKind = argc > 1 && std::strcmp(argv[1], "quad") == 0;
  shared::Video video;
  if (!shared::openVideo(video, "split.avi", quadKind ? "DIVX" : "MP42")) return 1;
  shared::StripGeometry geometry;
  bool first = true;
  // The stages' own lines are not wanted here.
  const int out = dup(1);
  std::FILE* table = fdopen(out, "w");
  std::freopen("/dev/null", "w", stdout);
  std::fprintf(table, "scan\tload_ms\tanalysis_ms\tscaling_ms\tencoding_ms\n");
  for (const std::string& name : shared::listScans().names) {
    const Split s = quadKind ? quadScan(name, video, geometry, first) : singleScan(name, video, geometry, first);
    first = false;
    std::fprintf(table, "%s\t%.3f\t%.3f\t%.3f\t%.3f\n", name.c_str(), s.load, s.analysis, s.scaling, s.encoding);
  }
  std::fclose(table);
  return shared::finishVideo(video) ? 0 : 1;
}
