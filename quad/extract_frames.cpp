// extractFrames: the frame stage. It locates the windows, then cuts the four
// frames of the scan one after another down the strip and sends frame 1 to
// be shown four times, frame 2 three times, frame 3 twice and frame 4 once:
// ten video frames, 0.4 s, per scan. A window is one pitch tall and starts
// on the previous window's last row; one that reaches outside the scan
// keeps its size and is black outside it.

#include "stages.hpp"

#include "shared/diagnostics.hpp"
#include "shared/window_stages.hpp"

#include <cstdio>

namespace quad {
namespace {

void printWindowLines(const shared::WindowSearch& found, const shared::StripGeometry& geometry) {
  std::printf("x= %d\n", found.row);
  std::printf("y = %d\n", geometry.image_length + found.row - 1);
  std::printf("z=%d\n", geometry.image_width + found.column);
  std::printf("N=%d\n", found.column);
}

}  // namespace

int extractFrames(const imaging::TurnedView& turned, const shared::FrameSink& sink,
                  const shared::StripGeometry& geometry, shared::ScanRecord& record) {
  if (!framesCanBeCut(geometry)) {
    shared::reportError("the frame pitch measured on the first scan is %d pixels; no frame can be cut with it, "
                        "so the run stops",
                        geometry.image_length / 4);
    return 1;
  }
  const int pitch = geometry.image_length / 4;
  record.window = locateFrameWindow(turned);
  printWindowLines(record.window, geometry);

  int top = record.window.row;
  for (int kk = 1; kk <= 4; ++kk) {
    std::printf("kk = %d\n", kk);
    if (kk > 1) {
      top += pitch - 1;
      std::printf("kk = %d\n", kk);
    }
    shared::FrameWindow window;
    window.top = top;
    window.left = record.window.column;
    window.rows = pitch;
    window.columns = geometry.image_width + 1;
    window.copies = 5 - kk;
    sink(shared::cutWindow(turned, window), window.copies);
    record.frames.push_back(window);
  }
  return 0;
}

}  // namespace quad
