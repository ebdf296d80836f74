// registerScan: one four-frame scan with --register. The frames are placed
// by the film's perforations (registration::registerFrames) instead of the
// first scan's pitch and the profiles: four consecutive frames from the
// first whole one along the strip, which runs from the scan's right side
// to its left as convertScan turns it, each cut upright, turned as
// convertScan turns the strip and shown 4, 3, 2 and 1 times. A frame the
// scan cuts off keeps its size, black outside the scan, with a warning. A
// scan whose perforations cannot be found is converted as without the option.

#include "stages.hpp"

#include "shared/placed_window.hpp"

#include <algorithm>
#include <cmath>

namespace quad {
namespace {

// The finder's frame within half a pitch of where the frame `steps` pitches
// along from `first` should be; that place itself when the finder has none.
registration::PlacedFrame frameAt(const std::vector<registration::PlacedFrame>& frames,
                                  const registration::PlacedFrame& first, double pitch, int steps) {
  const registration::PlacedFrame expected = shared::shiftedAlong(first, pitch, steps);
  for (const registration::PlacedFrame& frame : frames)
    if (cv::norm(frame.centre - expected.centre) < pitch / 2) return frame;
  return expected;
}

}  // namespace

void registerScan(cv::Mat scan, shared::RunState& run, const shared::FrameSink& sink, shared::ScanRecord& record) {
  if (!shared::registerOrConvert(scan, run, sink, record, convertScan)) return;
  const registration::Registration& found = *record.registration;
  // Down the turned strip is from right to left in the scan.
  std::vector<registration::PlacedFrame> frames = found.frames;
  std::sort(frames.begin(), frames.end(), [](const auto& a, const auto& b) { return a.centre.x > b.centre.x; });
  const auto whole = std::find_if(frames.begin(), frames.end(), [](const auto& f) { return f.whole; });
  const registration::PlacedFrame first = whole == frames.end() ? frames.front() : *whole;
  record.turn = imaging::Turn::CounterClockwise;
  for (int kk = 1; kk <= 4; ++kk) {
    shared::FrameWindow window;
    window.placed = frameAt(frames, first, found.framePitch, -(kk - 1));
    window.copies = 5 - kk;
    const cv::Mat frame = shared::cutPlacedWindow(scan, record.turn, window, record.warnings);
    record.frames.push_back(window);
    sink(frame, window.copies);
  }
}

}  // namespace quad
