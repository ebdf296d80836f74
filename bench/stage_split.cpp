// Where a scan's time goes: runs every "*.tif" scan of the current folder
// through one program's conversion, in process, and prints per scan the time
// of loading, analysis (crop, turn, geometry or calibration, location, cut),
// scaling and encoding, in milliseconds, tab-separated:
//
//   stage_split single|quad
//
// The conversion hands its windows to a sink, where they are scaled and
// encoded as the programs do; the sink's time is taken off the analysis.

#include "program/video_output.hpp"
#include "quad/stages.hpp"
#include "shared/conversion.hpp"
#include "shared/scan_listing.hpp"
#include "shared/scan_loading.hpp"
#include "single/stages.hpp"

#include <chrono>
#include <cstdio>
#include <cstring>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Split {
  double load = 0, analysis = 0, scaling = 0, encoding = 0;
};

Split timeScan(const std::string& name, shared::ScanConverter convert, program::Video& video, shared::RunState& run) {
  Split s;
  auto t = Clock::now();
  cv::Mat scan = shared::loadScan(name).image;
  s.load = msSince(t);
  t = Clock::now();
  shared::ScanRecord record;
  convert(std::move(scan), run, [&](const cv::Mat& window, int copies) {
    auto e = Clock::now();
    const cv::Mat scaled = program::scaleToVideoFrame(window);
    s.scaling += msSince(e);
    e = Clock::now();
    for (int i = 0; i < copies; ++i) program::appendFrame(video, scaled);
    s.encoding += msSince(e);
  }, record);
  s.analysis = msSince(t) - s.scaling - s.encoding;
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  const bool quadKind = argc > 1 && std::strcmp(argv[1], "quad") == 0;
  program::Video video;
  if (const std::string problem = program::openVideo(video, "split.avi", quadKind ? "DIVX" : "MP42"); !problem.empty()) {
    std::fprintf(stderr, "stage_split: cannot create split.avi: %s\n", problem.c_str());
    return 1;
  }
  shared::RunState run;
  std::FILE* table = stdout;
  std::fprintf(table, "scan\tload_ms\tanalysis_ms\tscaling_ms\tencoding_ms\n");
  for (const std::string& name : shared::listScans().names) {
    const Split s = timeScan(name, quadKind ? quad::convertScan : single::convertScan, video, run);
    std::fprintf(table, "%s\t%.3f\t%.3f\t%.3f\t%.3f\n", name.c_str(), s.load, s.analysis, s.scaling, s.encoding);
  }
  const std::string problem = program::finishVideo(video);
  if (!problem.empty()) std::fprintf(stderr, "stage_split: %s\n", problem.c_str());
  return std::fclose(table) == 0 && problem.empty() ? 0 : 1;
}
