// Video output: colour AVI files, 640 x 480 at 25 frames per second.
//
//   FrameSink                 where a scan's frame windows go, each with how often it is shown
//   openVideo                 a writer for a file name and FourCC; or a message why not
//   scaleToVideoFrame         bicubic scaling to 640 x 480, width and height apart
//   appendFrame               writes a frame, a gray one as three equal channels
//   appendFramesInBackground  appends frames on a second thread, after those appended before
//   finishVideo               releases the writer and checks the file holds every frame
//   aviProblem                what is wrong with a finished AVI file (avi_check.cpp)
#pragma once

#include <opencv2/core/mat.hpp>
#include <opencv2/videoio.hpp>

#include <functional>
#include <future>
#include <string>
#include <vector>

namespace shared {

// A window cut from the scan, at its own size, to be shown `copies` times
// in a row; scaling to the video's size is the sink's.
using FrameSink = std::function<void(const cv::Mat& window, int copies)>;

constexpr int kVideoWidth = 640;
constexpr int kVideoHeight = 480;
constexpr double kVideoFps = 25.0;

struct Video {
  std::string fileName;
  cv::VideoWriter writer;
  long framesAppended = 0;
};

// On failure it says so on standard error, naming the file and the reason.
bool openVideo(Video& video, const std::string& fileName, const char* fourcc);
cv::Mat scaleToVideoFrame(const cv::Mat& frame);
void appendFrame(Video& video, const cv::Mat& frame);

// Waits until the frames of the previous call are written (rethrowing what
// that work threw), then appends these on a second thread and returns at
// once. `writing` stands for that work: it must be waited for (get, or its
// destruction) before the writer is used or released, and nothing else may
// touch the writer until then. Without a second thread it appends them here.
void appendFramesInBackground(Video& video, std::vector<cv::Mat> frames, std::future<void>& writing);

// Releases the writer, which finishes the file, and reads the file back:
// false, with a message on standard error, when it does not hold every
// frame appended.
bool finishVideo(Video& video);

// Empty when the file at `path` is a whole AVI file of `framesAppended` frames.
std::string aviProblem(const std::string& path, long framesAppended);

}  // namespace shared
