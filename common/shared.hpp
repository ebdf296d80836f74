// What the three programs share beyond the imaging primitives.
//
//   StripGeometry, ScanResolution   run state measured or set on the first scan
//   roundNearest                    halves away from zero
//   roundNearestFloat               the same, after storing the value as a float
//   listScans                       the ".tif" entries of the current folder, in listing order
//   loadScan                        a scan as stored: 8 bits, 1 or 3 channels; or why it did not load
//   openVideo                       a colour 640 x 480, 25 fps AVI writer with a FourCC
//   scaleToVideoFrame               bicubic scaling to 640 x 480
//   appendFrame                     writes a frame, gray frames as three equal channels
//   appendFramesInBackground        appends frames on a second thread, after those appended before
//   finishVideo                     releases the writer and checks the file holds every frame
//   cutWindow                       a window of a scan; samples outside the scan are black
//   locateWindowStart               first row and column of the frame windows of a turned scan
//   runBatch                        the scan loop: listing, name lines, loading, the limit, stops
//   runProgram                      a whole program: options, writers, the loop, the checks at the end
#pragma once

#include "diagnostics.hpp"
#include "imaging/fused.hpp"

#include <opencv2/core/mat.hpp>
#include <opencv2/videoio.hpp>

#include <functional>
#include <future>
#include <string>
#include <vector>

namespace shared {

struct StripGeometry {
  int sound_width = 0;
  int image_length = 0;
  int image_width = 0;  // the frame window is image_width + 1 columns wide
};

struct ScanResolution {
  int x = 0;  // dots per inch across the loaded scan's width
  int y = 0;
};

int roundNearest(double value);
int roundNearestFloat(double value);

struct ScanListing {
  std::vector<std::string> names;
  int error = 0;  // errno of a listing that failed; names is then empty
};
ScanListing listScans();

struct LoadedScan {
  cv::Mat image;        // empty when the scan did not load
  std::string failure;  // then why, e.g. "it is not a regular file but a FIFO"
};
LoadedScan loadScan(const std::string& fileName);

// Frames are appended through this, so a stage can write to a video or a test.
using FrameSink = std::function<void(const cv::Mat& frame)>;

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

// scan: the turned scan, usually a view of the cropped one; only the window is turned.
cv::Mat cutWindow(const imaging::TurnedView& scan, int top, int left, int rows, int columns);

struct WindowStart {
  int row = 0;     // first row of the (first) window, 0 when not found
  int column = 0;  // first column of the window, 0 when not found
};

// Prints the threshold and both search ranges. The start row is searched in
// the rows from rowSearchFrom x height up to (not including) rowSearchTo x
// height.
WindowStart locateWindowStart(const imaging::TurnedView& turned, double rowSearchFrom, double rowSearchTo);

// Handles one scan; returns 0 to go on, or the exit status to stop with.
// The scan is handed over, so the handler can release it as soon as it is cropped.
using ScanHandler = std::function<int(cv::Mat scan, int scanNumber)>;

// Lists the scans when the first is asked for, prints each name, loads it and
// hands it to `handle`, for at most `maxScans` scans, until a stop signal.
// Returns the exit status: 0 at a normal end (also a stop), 1 when the
// folder could not be listed, a scan could not be loaded or `handle` threw,
// or what `handle` gave.
int runBatch(int maxScans, const ScanHandler& handle);

struct ProgramInfo {
  const char* name;
  const char* reads;    // one line: what the program reads
  const char* writes;   // one line: what it writes
  const char* manPage;  // the page --help points to
};

struct VideoFile {
  const char* name;
  const char* fourcc;
};

struct ProgramSpec {
  ProgramInfo info;
  int maxScans;
  std::vector<VideoFile> videos;  // created in this order; the first receives the frames
};

// Converts one scan, handing its video frames (640 x 480) to `sink` in order;
// returns 0 to go on, or the exit status to stop with.
using ScanConverter = std::function<int(cv::Mat scan, int scanNumber, const FrameSink& sink)>;

// The whole program around `convert`; returns its exit status.
int runProgram(const ProgramSpec& program, int argc, char** argv, const ScanConverter& convert);

}  // namespace shared
