// extractFrames: the frame stage. It locates the windows, then cuts the four
// frames of the scan one after another down the strip, scales each to the
// video size bicubic and sends frame 1 four times, frame 2 three times,
// frame 3 twice and frame 4 once: ten video frames, 0.4 s, per scan. A window is one
// pitch tall and starts on the previous window's last row; one that reaches
// outside the scan keeps its size and is black outside it.

#include "stages.hpp"

#include <cstdio>

namespace quad {

int extractFrames(const imaging::TurnedView& turned, const shared::FrameSink& sink,
                  const shared::StripGeometry& geometry) {
  if (!framesCanBeCut(geometry)) {
    shared::reportError("the frame pitch is %d pixels; no frame can be cut with it", geometry.image_length / 4);
    return 1;
  }
  const int pitch = geometry.image_length / 4;
  const FrameWindowStart start = locateFrameWindow(turned);
  const int windowColumns = geometry.image_width + 1;
  std::printf("x= %d\n", start.row);
  std::printf("y = %d\n", geometry.image_length + start.row - 1);
  std::printf("z=%d\n", geometry.image_width + start.column);
  std::printf("N=%d\n", start.column);

  int top = start.row;
  for (int kk = 1; kk <= 4; ++kk) {
    std::printf("kk = %d\n", kk);
    if (kk > 1) {
      top += pitch - 1;
      std::printf("kk = %d\n", kk);
    }
    const cv::Mat frame =
        shared::scaleToVideoFrame(shared::cutWindow(turned, top, start.column, pitch, windowColumns));
    for (int repeat = 0; repeat < 5 - kk; ++repeat) sink(frame);
  }
  return 0;
}

}  // namespace quad
