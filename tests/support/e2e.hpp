// Support for end-to-end tests: the three programs and how to run them in a
// folder, scans from the generator, small hand-made TIFF files, and the videos
// read back the way a player sees them (through ffprobe and ffmpeg).
#pragma once

#include <gtest/gtest.h>

#include <opencv2/core/mat.hpp>

#include <csignal>
#include <cstdint>
#include <limits>
#include <ostream>
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

struct Program {
  const char* name;
  const char* video;        // the file that receives the frames
  const char* codec;        // its FourCC
  int scanLimit;            // scans read at most
  int framesPerScan;
  const char* kind;         // make_scans --kind of its scans
  const char* secondVideo;  // made and finished without a frame, or ""
  int stopSignal;           // each program is stopped by another of the three
};

inline const Program kPrograms[] = {
    {"tarvel1m", "video.avi", "MP42", 10, 1, "single", "video3.avi", SIGINT},
    {"tarvel1d", "video.avi", "DIVX", 10, 1, "single", "", SIGTERM},
    {"tarvel4", "video3.avi", "DIVX", 5, 10, "quad", "", SIGHUP},
};

inline void PrintTo(const Program& p, std::ostream* os) { *os << p.name; }
inline std::string programName(const testing::TestParamInfo<Program>& info) { return info.param.name; }

std::string programPath(const std::string& name);

struct RunResult {
  int status = -1;  // exit status, or -1 when the program did not exit normally
  std::string out;
  std::string err;
};

struct RunOptions {
  std::vector<std::string> args;
  // With asUser >= 0 (and when running as root) the program runs under that
  // user id, so that files with no permissions are really unreadable to it.
  int asUser = -1;
  long fileSizeLimit = -1;     // bytes (RLIMIT_FSIZE, SIGXFSZ ignored: a write past it fails as on a full disk)
  long addressSpaceLimit = -1; // bytes (RLIMIT_AS)
  std::string stdoutPath;      // standard output to this file instead of the capture ("" keeps the capture)
  bool stdoutClosedPipe = false;  // standard output a pipe whose reading end is closed
  int stopSignal = 0;          // sent once a file whose name starts with `signalOnceExists` is in the folder,
  std::string signalOnceExists;
  int signalAfterMs = -1;      // or, without one, this long after the start
};

// Runs `program` (a path) in `folder` ("" for the current one), standard input empty.
RunResult runProgram(const std::string& program, const std::string& folder, const RunOptions& options = {});
// Runs an outside tool (one of these) in the current folder.
RunResult runTool(const std::string& tool, const std::vector<std::string>& args);
extern const std::string kFfmpeg, kFfprobe, kTiffcp, kTiffset, kGstLaunch;

// A test run once for each program, each time in a fresh folder.
class ProgramTest : public testing::TestWithParam<Program> {
 protected:
  RunResult run(const RunOptions& options = {}) const {
    return runProgram(programPath(GetParam().name), folder.path, options);
  }
  RunResult run(const std::vector<std::string>& args) const {
    RunOptions options;
    options.args = args;
    return run(options);
  }
  // With the folder's permissions `folderMode` meanwhile, and as the
  // unprivileged "nobody" when running as root, who reads and writes anything.
  RunResult runUnprivileged(unsigned folderMode) const;
  std::string video() const { return folder.file(GetParam().video); }
  TempDir folder;
};

// Every line of `err` is the program's own ("<program>: ..."): no log line
// or message of a library leaks through.
testing::AssertionResult onlyOwnMessages(const std::string& err, const std::string& program);

// A scan's name line, and its lines when it cannot be loaded.
std::string nameLine(const std::string& name);
std::string failedLoad(const std::string& name);

struct TruthLine {
  std::string file;
  std::string film;  // "bright" or "dark"
  int channels = 0;
  int cropLeft = 0;
  int cropRight = 0;
  int winRow = 0;
  int winCol = 0;
};

// Writes `count` generated scans of `kind` ("single" or "quad") into `folder`,
// with the generator's other options as given, and returns their truth (the
// folder keeps only the scans); throws when the generator fails.
std::vector<TruthLine> makeScans(const std::string& folder, const std::string& kind, int count,
                                 const std::vector<std::string>& options = {});
// The folder of such scans, made when first asked for and kept until the test program ends.
std::string generatedScans(const std::string& kind, int count, const std::vector<std::string>& options);
// Copies every file of `from` into `to`, each name with `prefix` before it.
void copyFiles(const std::string& from, const std::string& to, const std::string& prefix = "");

// A little-endian TIFF promising width x height pixels of `samples` 8-bit
// samples (a second one is unassociated alpha) in one uncompressed strip
// holding `strip`: a short `strip` gives a file cut short.
std::string tiffBytes(uint32_t width, uint32_t height, uint16_t samples, const std::string& strip);
void writeFile(const std::string& path, const std::string& bytes);
std::string readFile(const std::string& path);

struct VideoInfo {
  bool readable = false;
  std::string codecTag;  // as ffprobe prints it, e.g. "DIVX"
  std::string codec;     // the codec's name, e.g. "mpeg4"
  int width = 0;
  int height = 0;
  std::string frameRate;  // e.g. "25/1"
  int frames = 0;        // frames decoded
  int headerFrames = 0;  // frames the header counts
};

VideoInfo probeVideo(const std::string& path);
// Whether GStreamer decodes every frame of the video without an error.
bool playsInGstreamer(const std::string& path);
std::vector<cv::Mat> decodeFrames(const std::string& path);

constexpr double kExact = std::numeric_limits<double>::infinity();
// Same size and type, and a peak signal-to-noise ratio above `minPsnr` (in
// dB), or with kExact every sample the same. The message gives the ratio.
testing::AssertionResult imagesAgree(const cv::Mat& a, const cv::Mat& b, double minPsnr = kExact);
// Expects the frames of `video` to agree with `expected`, as many and in
// order; returns the frames decoded.
std::vector<cv::Mat> expectFrames(const std::string& video, const std::vector<cv::Mat>& expected,
                                  double minPsnr = kExact);

}  // namespace e2e
