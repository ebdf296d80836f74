// videoProblem: an AVI file is walked chunk by chunk (aviProblem); an MP4 or
// Matroska file is opened with the library's reader, whose frame count
// comes from the file's index (MP4) or its duration (Matroska, which keeps
// no count: a file cut short has a shorter one).

#include "video_check.hpp"

#include "avi_check.hpp"

#include <opencv2/videoio.hpp>

#include <cmath>

namespace program {

std::string videoProblem(const std::string& path, const std::string& fourcc, long framesAppended) {
  if (fourcc == "DIVX" || fourcc == "MP42") return aviProblem(path, framesAppended);
  if (framesAppended == 0) return {};  // a video of no frames has nothing to count
  cv::VideoCapture reader;
  try {
    reader.open(path, cv::CAP_FFMPEG);
  } catch (...) {
  }
  if (!reader.isOpened()) return "it cannot be read back as a video";
  const long counted = std::lround(reader.get(cv::CAP_PROP_FRAME_COUNT));
  if (counted != framesAppended)
    return "it holds " + std::to_string(counted) + " of the " + std::to_string(framesAppended) + " frames appended";
  return {};
}

}  // namespace program
