// Support for end-to-end tests: run a program in a temporary folder, read
// back what it printed and the videos it wrote, the way a player sees them.
//
//   TempDir          a fresh folder, removed with everything in it
//   programPath      path of a built program (tarvel4, tarvel1m, tarvel1d, make_scans)
//   runProgram       runs a program in a folder, captures stdout, stderr, status;
//                    RunOptions add limits, another stdout and a stop signal
//   probeVideo       ffprobe's view: codec tag, size, frame rate, frames decoded
//   decodeFrames     every frame of a video as a 640 x 480 BGR image, via ffmpeg
//   psnr             peak signal-to-noise ratio of two same-sized images, in dB
//   readFile         a whole file as a string
#pragma once

#include <opencv2/core/mat.hpp>

#include <string>
#include <vector>

namespace e2e {

struct TempDir {
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string path;
  std::string file(const std::string& name) const { return path + "/" + name; }
};

std::string programPath(const std::string& name);

struct RunResult {
  int status = -1;  // exit status, or -1 when the program did not exit normally
  std::string out;
  std::string err;
};

// With `asUser` >= 0 (and when running as root) the program runs under that
// user id, so that files with no permissions are really unreadable to it.
RunResult runProgram(const std::string& program, const std::string& folder,
                     const std::vector<std::string>& args = {}, int asUser = -1);

struct RunOptions {
  std::vector<std::string> args;
  int asUser = -1;
  long fileSizeLimit = -1;     // bytes (RLIMIT_FSIZE, SIGXFSZ ignored: a write past it fails as on a full disk)
  long addressSpaceLimit = -1; // bytes (RLIMIT_AS)
  std::string stdoutPath;      // standard output to this file instead of the capture ("" keeps the capture)
  bool stdoutClosedPipe = false;  // standard output a pipe whose reading end is closed
  int stopSignal = 0;          // sent once the file `signalOnceExists` (in the folder) exists
  std::string signalOnceExists;
};
RunResult runProgram(const std::string& program, const std::string& folder, const RunOptions& options);

struct VideoInfo {
  bool readable = false;
  std::string codecTag;  // as ffprobe prints it, e.g. "DIVX"
  int width = 0;
  int height = 0;
  std::string frameRate;  // e.g. "25/1"
  int frames = 0;        // frames decoded
  int headerFrames = 0;  // frames the header counts
};

VideoInfo probeVideo(const std::string& path);
std::vector<cv::Mat> decodeFrames(const std::string& path);
double psnr(const cv::Mat& a, const cv::Mat& b);
std::string readFile(const std::string& path);

}  // namespace e2e
