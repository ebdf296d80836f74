// registerScan: one scan of a single-frame program with --register. The
// frame is placed by the film's perforations (registration::registerFrames)
// instead of the fixed geometry and the profiles: the whole picture nearest
// the scan's middle, cut upright and turned as convertScan turns the strip,
// so the two ways give frames the same way round. A scan whose
// perforations cannot be found is converted as without the option.

#include "stages.hpp"

#include "shared/placed_window.hpp"

#include <cmath>

namespace single {
namespace {

// The whole frame whose centre lies nearest the scan's middle; when none is
// whole, the nearest of all.
size_t middleFrame(const std::vector<registration::PlacedFrame>& frames, cv::Size scan) {
  const cv::Point2d middle(scan.width / 2.0, scan.height / 2.0);
  size_t best = 0;
  double bestDistance = INFINITY;
  for (const bool wholeOnly : {true, false}) {
    for (size_t i = 0; i < frames.size(); ++i) {
      const double distance = cv::norm(frames[i].centre - middle);
      if ((frames[i].whole || !wholeOnly) && distance < bestDistance) best = i, bestDistance = distance;
    }
    if (bestDistance < INFINITY) break;
  }
  return best;
}

}  // namespace

void registerScan(cv::Mat scan, shared::RunState& run, const shared::FrameSink& sink, shared::ScanRecord& record) {
  if (!shared::registerOrConvert(scan, run, sink, record, convertScan)) return;
  const std::vector<registration::PlacedFrame>& frames = record.registration->frames;
  shared::FrameWindow window;
  window.placed = frames[middleFrame(frames, scan.size())];
  record.turn = scan.channels() == 1 ? imaging::Turn::Clockwise : imaging::Turn::Transpose;
  const cv::Mat frame = shared::cutPlacedWindow(scan, record.turn, window, record.warnings);
  record.frames = {window};
  sink(frame, 1);
}

}  // namespace single
