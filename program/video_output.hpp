// Video output: colour videos, 640 x 480 at 25 frames per second unless a
// run asks for another size and rate, each written aside and put in place
// whole (replaced_file.hpp).
//
//   openVideo                 a writer for a file name, FourCC, rate and size; or why not
//   scaleToVideoFrame         bicubic scaling to the video's size, width and height apart
//   appendFrame               writes a frame, a gray one as three equal channels
//   appendFramesInBackground  appends frames on a second thread, after those appended before
//   finishVideo               releases the writer, checks the file holds every frame, puts it in place
//   discardVideo              releases the writer and removes its file, leaving an earlier one as it was
#pragma once

#include "replaced_file.hpp"

#include <opencv2/core/mat.hpp>
#include <opencv2/videoio.hpp>

#include <future>
#include <string>
#include <vector>

namespace program {

struct Video {
  std::string fileName;  // the final name
  std::string fourcc;
  double fps = 25;
  cv::Size size{640, 480};
  AsideFile file;        // where it is written until it is finished
  cv::VideoWriter writer;
  long framesAppended = 0;
  bool placed = false;   // finished, checked and renamed to its final name
};

// Empty when the writer is open; else the reason, in the system's words
// where it has them.
std::string openVideo(Video& video, const std::string& fileName, const std::string& fourcc, double fps = 25,
                      cv::Size size = {640, 480});
cv::Mat scaleToVideoFrame(const cv::Mat& frame, cv::Size size = {640, 480});
void appendFrame(Video& video, const cv::Mat& frame);

// Waits until the frames of the previous call are written (rethrowing what
// that work threw), then appends these on a second thread and returns at
// once. `writing` stands for that work: it must be waited for (get, or its
// destruction) before the writer is used or released, and nothing else may
// touch the writer until then. Without a second thread it appends them here.
void appendFramesInBackground(Video& video, std::vector<cv::Mat> frames, std::future<void>& writing);

// Empty when the file holds every frame appended and now has its final
// name; else the message to give (naming the file, what is wrong with it
// and, for a file cut short, why the disk took no more).
std::string finishVideo(Video& video);
void discardVideo(Video& video);

}  // namespace program
