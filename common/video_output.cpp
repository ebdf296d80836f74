// Video output: AVI files through the library's FFmpeg backend, colour,
// 640 x 480 at 25 frames per second. Frames are scaled bicubic, width and
// height independently, so a frame's aspect ratio is not kept.
//
// Encoding takes most of a four-frame scan's time, so the drivers hand each
// scan's frames to a second thread (appendFramesInBackground) and go on with
// the next scan; the frames still reach the writer in order.

#include "shared.hpp"

#include <opencv2/imgproc.hpp>

#include <cstdio>
#include <utility>

namespace shared {

bool openVideo(cv::VideoWriter& writer, const std::string& fileName, const char* fourcc) {
  const int code = cv::VideoWriter::fourcc(fourcc[0], fourcc[1], fourcc[2], fourcc[3]);
  try {
    writer.open(fileName, cv::CAP_FFMPEG, code, kVideoFps, cv::Size(kVideoWidth, kVideoHeight), true);
  } catch (const cv::Exception&) {
  }
  if (writer.isOpened()) return true;
  std::fprintf(stderr, "error: cannot create the video file \"%s\" (%s codec); no scan was read\n",
               fileName.c_str(), fourcc);
  return false;
}

cv::Mat scaleToVideoFrame(const cv::Mat& frame) {
  cv::Mat scaled;
  cv::resize(frame, scaled, cv::Size(kVideoWidth, kVideoHeight), 0, 0, cv::INTER_CUBIC);
  return scaled;
}

void appendFrame(cv::VideoWriter& writer, const cv::Mat& frame) {
  if (frame.channels() == 1) {
    // The video is colour: a gray frame goes in as three equal channels.
    cv::Mat colour;
    cv::cvtColor(frame, colour, cv::COLOR_GRAY2BGR);
    writer.write(colour);
  } else {
    writer.write(frame);
  }
}

void appendFramesInBackground(cv::VideoWriter& writer, std::vector<cv::Mat> frames, std::future<void>& writing) {
  if (writing.valid()) writing.get();
  if (frames.empty()) return;
  writing = std::async(std::launch::async, [&writer, frames = std::move(frames)] {
    for (const cv::Mat& frame : frames) appendFrame(writer, frame);
  });
}

}  // namespace shared
