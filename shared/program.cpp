// runProgram: everything a program does around its scans. In order: the
// options, the library's own logging silenced (its warnings would mix with
// ours on standard error), the stop handlers, the video writers, the scan
// loop, then the writers released and their files checked, and standard
// output flushed and checked, as the GNU tools do. The status is 1 for any
// failure, else 128 + the signal that stopped the run, else the loop's.

#include "program.hpp"

#include "diagnostics.hpp"
#include "options.hpp"
#include "stop_signals.hpp"

#include "overlay/overlay.hpp"

#include <opencv2/core/utils/logger.hpp>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <future>
#include <list>
#include <set>
#include <system_error>

namespace shared {
namespace {

const char* signalName(int signal) {
  switch (signal) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    default: return "a signal";
  }
}

// The loop, with what it lets through (memory running out in the listing,
// say) ending the run like any other failure.
int runBatchGuarded(int maxScans, const ScanHandler& handle) {
  try {
    return runBatch(maxScans, handle);
  } catch (...) {
    reportError("the run failed: %s", describeException(std::current_exception()).c_str());
    return 1;
  }
}

// Flushes and closes standard output; false, with a message, when any of
// what was printed did not reach it.
bool closeStandardOutput() {
  const bool failedBefore = std::ferror(stdout) != 0;
  errno = 0;
  const bool closeFailed = std::fclose(stdout) != 0;
  if (!failedBefore && !closeFailed) return true;
  const int error = errno;
  reportError("cannot write standard output%s%s", error ? ": " : "", error ? std::strerror(error) : "");
  return false;
}

// The frames of one scan: each window scaled once and repeated as often as it is shown.
std::vector<cv::Mat> videoFramesOf(cv::Mat scan, RunState& run, ScanConverter convert, ScanRecord& record,
                                   int& status) {
  std::vector<cv::Mat> frames;
  status = convert(std::move(scan), run, [&frames](const cv::Mat& window, int copies) {
    const cv::Mat scaled = scaleToVideoFrame(window);
    frames.insert(frames.end(), copies, scaled);
  }, record);
  return frames;
}

// The overlay pictures of a run, when asked for. Each is drawn and written
// on a second thread while the next scan is converted; the names are given
// here, in scan order.
struct Pictures {
  std::string folder;  // empty: none
  std::set<std::string> taken;
  std::future<std::string> drawing;  // the picture under way: why it failed, or empty
  std::string drawingPath;
  bool failed = false;
};

void waitForPicture(Pictures& pictures) {
  if (!pictures.drawing.valid()) return;
  const std::string problem = pictures.drawing.get();
  if (problem.empty()) return;
  reportError("cannot write the picture %s: %s", quotedName(pictures.drawingPath).c_str(), problem.c_str());
  pictures.failed = true;
}

std::string drawAndWrite(const std::string& path, const cv::Mat& scan, const ScanRecord& record,
                         const overlay::ScanFacts& facts) {
  try {
    return overlay::writePicture(path, overlay::drawPicture(scan, record, facts));
  } catch (...) {
    return describeException(std::current_exception());
  }
}

void startPicture(Pictures& pictures, cv::Mat scan, const std::string& name, ScanRecord record,
                  const RunState& run, const char* program) {
  waitForPicture(pictures);
  pictures.drawingPath = (std::filesystem::path(pictures.folder) / overlay::pictureName(name, pictures.taken)).string();
  auto work = [path = pictures.drawingPath, scan = std::move(scan), record = std::move(record),
               facts = overlay::ScanFacts{program, name, run.geometry}] { return drawAndWrite(path, scan, record, facts); };
  try {
    pictures.drawing = std::async(std::launch::async, work);
  } catch (const std::system_error&) {
    std::promise<std::string> done;  // no second thread to be had: draw it here
    done.set_value(work());
    pictures.drawing = done.get_future();
  }
}

}  // namespace

int runProgram(const ProgramSpec& program, int argc, char** argv, ScanConverter convert) {
  setProgramName(program.info.name);
  const Options options = parseOptions(argc, argv, program.info);
  if (options.done) return options.status == 0 && !closeStandardOutput() ? 1 : options.status;
  cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);
  installStopHandlers();

  Pictures pictures;
  pictures.folder = options.overlayFolder;
  if (!pictures.folder.empty()) {
    // Refused before any file of the run is made or any scan read.
    if (const std::string problem = overlay::prepareFolder(pictures.folder); !problem.empty()) {
      reportError("cannot write pictures into the folder %s: %s; no scan was read", quotedName(pictures.folder).c_str(),
                  problem.c_str());
      return 1;
    }
  }

  std::list<Video> videos;  // a list: the writing thread holds a reference to the first
  bool whole = true;
  for (const VideoFile& file : program.videos) {
    videos.emplace_back();
    if (!openVideo(videos.back(), file.name, file.fourcc)) {
      whole = false;
      break;
    }
  }

  int status = 1;
  if (whole) {
    Video& video = videos.front();
    // Each scan's frames are encoded while the next scan is cut; declared
    // after the videos, and waited for before they are released.
    std::future<void> writing;
    RunState run;
    status = runBatchGuarded(program.maxScans, [&](cv::Mat scan, const std::string& name) {
      // The picture needs the scan as loaded: a second header keeps its pixels
      // (which the crop shares anyway) until the picture is drawn.
      const cv::Mat forPicture = pictures.folder.empty() ? cv::Mat() : scan;
      ScanRecord record;
      int converted = 0;
      std::vector<cv::Mat> frames = videoFramesOf(std::move(scan), run, convert, record, converted);
      try {
        appendFramesInBackground(video, std::move(frames), writing);
      } catch (...) {
        reportError("writing the video file %s failed: %s", quotedName(video.fileName).c_str(),
                    describeException(std::current_exception()).c_str());
        return 1;
      }
      if (!pictures.folder.empty()) startPicture(pictures, forPicture, name, std::move(record), run, program.info.name);
      return converted;
    });
    try {
      if (writing.valid()) writing.get();
    } catch (...) {
      reportError("writing the video file %s failed: %s", quotedName(video.fileName).c_str(),
                  describeException(std::current_exception()).c_str());
      status = 1;
    }
  }
  waitForPicture(pictures);
  for (Video& video : videos) whole = finishVideo(video) && whole;
  const bool printed = closeStandardOutput();
  if (!whole || !printed || pictures.failed) return 1;
  if (status == 0 && stopSignal()) {
    reportError("stopped by %s; %s holds the frames of the scans converted before it", signalName(stopSignal()),
                quotedName(videos.front().fileName).c_str());
    return 128 + stopSignal();
  }
  return status;
}

}  // namespace shared
