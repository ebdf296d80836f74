// Video output: AVI files through the library's FFmpeg backend, colour,
// 640 x 480 at 25 frames per second. Frames are scaled bicubic, width and
// height independently, so a frame's aspect ratio is not kept.
//
// The library's writer reports neither a failed open's reason nor a failed
// write, so both are found out here: an open that fails is retried as a
// plain file open to learn the system's reason, and a finished file is read
// back (aviProblem) and counted against the frames appended. A file that did
// not reach the disk whole is reported, with the reason a test write gives
// (a full disk, a file-size limit) where there is one.
//
// Encoding takes most of a four-frame scan's time, so the drivers hand each
// scan's frames to a second thread (appendFramesInBackground) and go on with
// the next scan; the frames still reach the writer in order.

#include "diagnostics.hpp"
#include "video_output.hpp"

#include <opencv2/imgproc.hpp>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>
#include <utility>

namespace shared {
namespace {

// Why a file cannot be created for writing, as the system says it; empty
// when a plain open works. A file this creates is removed again.
std::string whyNotWritable(const std::string& fileName) {
  struct stat info {};
  const bool existed = stat(fileName.c_str(), &info) == 0;
  if (existed && !S_ISREG(info.st_mode)) return "it exists and is not a regular file";
  const int fd = open(fileName.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
  if (fd < 0) return std::strerror(errno);
  close(fd);
  if (!existed) unlink(fileName.c_str());
  return {};
}

// What stops more bytes from reaching the file, learnt by appending up to
// a megabyte of zeros and taking them off again; empty when they all fit.
std::string whyNotWritten(const std::string& fileName) {
  const int fd = open(fileName.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return std::strerror(errno);
  struct stat info {};
  std::string reason;
  if (fstat(fd, &info) == 0) {
    static const char zeros[65536] = {};
    for (int i = 0; i < 16 && reason.empty(); ++i)
      if (pwrite(fd, zeros, sizeof zeros, info.st_size + static_cast<off_t>(i) * sizeof zeros) < 0)
        reason = std::strerror(errno);
    if (ftruncate(fd, info.st_size) != 0 && reason.empty()) reason = std::strerror(errno);
  }
  close(fd);
  return reason;
}

}  // namespace

bool openVideo(Video& video, const std::string& fileName, const char* fourcc) {
  video.fileName = fileName;
  video.framesAppended = 0;
  // An entry that is not a regular file (a FIFO would hold the writer's open
  // forever) is refused before the library touches it.
  std::string reason = whyNotWritable(fileName);
  if (reason.empty()) {
    const int code = cv::VideoWriter::fourcc(fourcc[0], fourcc[1], fourcc[2], fourcc[3]);
    try {
      video.writer.open(fileName, cv::CAP_FFMPEG, code, kVideoFps, cv::Size(kVideoWidth, kVideoHeight), true);
    } catch (...) {
      reason = describeException(std::current_exception());
    }
    if (video.writer.isOpened()) return true;
    if (reason.empty()) reason = whyNotWritable(fileName);
    if (reason.empty()) reason = std::string("the image library cannot write ") + fourcc + " video";
  }
  reportError("cannot create the video file %s: %s; no scan was read", quoted(fileName).c_str(), reason.c_str());
  return false;
}

cv::Mat scaleToVideoFrame(const cv::Mat& frame) {
  cv::Mat scaled;
  cv::resize(frame, scaled, cv::Size(kVideoWidth, kVideoHeight), 0, 0, cv::INTER_CUBIC);
  return scaled;
}

void appendFrame(Video& video, const cv::Mat& frame) {
  if (frame.channels() == 1) {
    // The video is colour: a gray frame goes in as three equal channels.
    cv::Mat colour;
    cv::cvtColor(frame, colour, cv::COLOR_GRAY2BGR);
    video.writer.write(colour);
  } else {
    video.writer.write(frame);
  }
  ++video.framesAppended;
}

void appendFramesInBackground(Video& video, std::vector<cv::Mat> frames, std::future<void>& writing) {
  if (writing.valid()) writing.get();
  if (frames.empty()) return;
  auto append = [&video, frames = std::move(frames)] {
    for (const cv::Mat& frame : frames) appendFrame(video, frame);
  };
  try {
    writing = std::async(std::launch::async, append);
  } catch (const std::system_error&) {
    append();  // no second thread to be had: append them here
  }
}

bool finishVideo(Video& video) {
  if (!video.writer.isOpened()) return true;
  std::string problem;
  try {
    video.writer.release();
    problem = aviProblem(video.fileName, video.framesAppended);
  } catch (...) {
    problem = "finishing it failed: " + describeException(std::current_exception());
  }
  if (problem.empty()) return true;
  const std::string reason = whyNotWritten(video.fileName);
  reportError("the video file %s did not reach the disk whole%s%s: %s", quoted(video.fileName).c_str(),
              reason.empty() ? "" : ": ", reason.c_str(), problem.c_str());
  return false;
}

}  // namespace shared
