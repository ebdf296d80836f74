// extractFrames: the frame stage. It locates the windows, then cuts the four
// frames of the scan one after another down the strip and sends frame 1 to
// be shown four times, frame 2 three times, frame 3 twice and frame 4 once:
// ten video frames, 0.4 s, per scan. A window is one pitch tall and starts
// on the previous window's last row; one that reaches outside the scan
// keeps its size and is black outside it.

#include "stages.hpp"

#include "shared/window_cut.hpp"

namespace quad {

void extractFrames(const imaging::TurnedView& turned, const shared::FrameSink& sink,
                   const shared::StripGeometry& geometry, shared::ScanRecord& record) {
  if (!framesCanBeCut(geometry)) {
    record.stop = "the frame pitch measured on the first scan is " + std::to_string(geometry.image_length / 4) +
                  " pixels; no frame can be cut with it, so the run stops";
    return;
  }
  const int pitch = geometry.image_length / 4;
  record.window = locateFrameWindow(turned);

  int top = record.window->row;
  for (int kk = 1; kk <= 4; ++kk) {
    if (kk > 1) top += pitch - 1;
    shared::FrameWindow window;
    window.top = top;
    window.left = record.window->column;
    window.rows = pitch;
    window.columns = geometry.image_width + 1;
    window.copies = 5 - kk;
    sink(shared::cutWindow(turned, window, record.warnings), window.copies);
    record.frames.push_back(window);
  }
}

}  // namespace quad
