// Video output through the library's FFmpeg backend, colour, at the run's
// size and rate. Frames are scaled bicubic, width and height independently,
// so a frame's aspect ratio is not kept.
//
// Each video is written to a temporary file beside its final name and
// renamed over it once it is finished and checked (replaced_file.hpp), so a
// video in the folder is always whole: an earlier one stays until a new one
// is ready to take its place.
//
// The library's writer reports neither a failed open's reason nor a failed
// write, so both are found out here: the file is created before the library
// opens it, and a finished AVI file is read back (aviProblem) and counted
// against the frames appended. A file that did not reach the disk whole is
// reported, with the reason a test write gives (a full disk, a file-size
// limit) where there is one. An MP4 or Matroska file is checked as far as
// its size goes: a write the disk refused leaves it shorter than what was
// written, which the test write then tells.
//
// Encoding takes most of a four-frame scan's time, so the program hands each
// scan's frames to a second thread (appendFramesInBackground) and goes on
// with the next scan; the frames still reach the writer in order.

#include "video_output.hpp"

#include "video_check.hpp"
#include "background.hpp"

#include "shared/messages.hpp"

#include <opencv2/imgproc.hpp>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace program {
namespace {

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

std::string openVideo(Video& video, const std::string& fileName, const std::string& fourcc, double fps,
                      cv::Size size) {
  video.fileName = fileName;
  video.fourcc = fourcc;
  video.fps = fps;
  video.size = size;
  video.framesAppended = 0;
  // An entry that is not a regular file (a FIFO would hold the writer's open
  // forever) is refused before the library touches anything.
  std::string reason = createAside(fileName, video.file);
  if (!reason.empty()) return reason;
  const int code = cv::VideoWriter::fourcc(fourcc[0], fourcc[1], fourcc[2], fourcc[3]);
  // FFmpeg takes "name:rest" for a protocol; a path with a folder in it is a file.
  const std::string path = video.file.path.find('/') == std::string::npos ? "./" + video.file.path : video.file.path;
  try {
    video.writer.open(path, cv::CAP_FFMPEG, code, fps, size, true);
  } catch (...) {
    reason = shared::describeException(std::current_exception());
  }
  if (video.writer.isOpened()) return {};
  if (reason.empty()) reason = "the image library cannot write " + fourcc + " video";
  video.file = AsideFile();
  return reason;
}

cv::Mat scaleToVideoFrame(const cv::Mat& frame, cv::Size size) {
  cv::Mat scaled;
  cv::resize(frame, scaled, size, 0, 0, cv::INTER_CUBIC);
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
  writing = inBackground([&video, frames = std::move(frames)] {
    for (const cv::Mat& frame : frames) appendFrame(video, frame);
  });
}

std::string finishVideo(Video& video) {
  if (!video.writer.isOpened()) return {};
  std::string problem;
  try {
    video.writer.release();
    problem = videoProblem(video.file.path, video.fourcc, video.framesAppended);
  } catch (...) {
    problem = "finishing it failed: " + shared::describeException(std::current_exception());
  }
  const std::string name = shared::quotedName(video.fileName);
  if (problem.empty()) {
    const std::string notPlaced = replaceWhole(video.file);
    video.placed = notPlaced.empty();
    return notPlaced.empty() ? std::string() : "the video file " + name + " could not be put in place: " + notPlaced;
  }
  const std::string reason = whyNotWritten(video.file.path);
  video.file = AsideFile();
  return "the video file " + name + " did not reach the disk whole" + (reason.empty() ? "" : ": ") + reason + ": " +
         problem;
}

void discardVideo(Video& video) {
  try {
    video.writer.release();
  } catch (...) {
  }
  video.file = AsideFile();
}

}  // namespace program
