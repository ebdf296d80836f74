// runProgram: everything a program does around its scans. In order: the
// options, the library's own logging silenced (its warnings would mix with
// ours on standard error), the stop handlers, the video writers, the scan
// loop, then the writers released and their files checked, and standard
// output flushed and checked, as the GNU tools do. The status is 1 for any
// failure, else 128 + the signal that stopped the run, else the loop's.

#include "program.hpp"

#include "diagnostics.hpp"
#include "stop_signals.hpp"

#include <opencv2/core/utils/logger.hpp>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <future>
#include <list>

#ifndef TARVEL_VERSION
#define TARVEL_VERSION "unknown"
#endif

namespace shared {
namespace {

enum class Next { Run, ExitOk, ExitUsage };

const char* signalName(int signal) {
  switch (signal) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    default: return "a signal";
  }
}

void printHelp(const ProgramInfo& info) {
  std::printf(
      "Usage: %s [--help] [--version]\n"
      "Run it in a folder of film scans; it takes no other options.\n"
      "Reads:  %s\n"
      "Writes: %s\n"
      "Standard output: the measurements, one short line each, and the message\n"
      "  for a scan that cannot be loaded. Standard error: everything else\n"
      "  (warnings, errors, why a scan could not be loaded).\n"
      "Exit status: 0    the run ended normally, also when no scan is found;\n"
      "             1    a scan could not be loaded, the folder could not be listed,\n"
      "                  a video file could not be created or written whole, memory\n"
      "                  ran out, or standard output could not be written; the video\n"
      "                  keeps the frames written before and is finished;\n"
      "             2    an unknown option; nothing is read or written;\n"
      "             128+N  stopped by signal N (SIGINT, SIGTERM, SIGHUP) after the\n"
      "                  scan in hand; the video holds its frames and is finished.\n"
      "See %s(1) for what each line of output means.\n",
      info.name, info.reads, info.writes, info.name);
}

Next parseOptions(int argc, char** argv, const ProgramInfo& info) {
  int ignored = 0;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
      printHelp(info);
      return Next::ExitOk;
    }
    if (std::strcmp(arg, "--version") == 0) {
      std::printf("%s %s\n", info.name, TARVEL_VERSION);
      return Next::ExitOk;
    }
    if (arg[0] == '-') {
      reportError("unknown option %s", quoted(arg).c_str());
      std::fprintf(stderr, "Usage: %s [--help] [--version]\n", info.name);
      return Next::ExitUsage;
    }
    ++ignored;
  }
  if (ignored)
    reportWarning("ignoring %d argument%s: the program converts the scans of the current folder", ignored,
                  ignored == 1 ? "" : "s");
  return Next::Run;
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
std::vector<cv::Mat> videoFramesOf(cv::Mat scan, RunState& run, ScanConverter convert, int& status) {
  std::vector<cv::Mat> frames;
  ScanRecord record;
  status = convert(std::move(scan), run, [&frames](const cv::Mat& window, int copies) {
    const cv::Mat scaled = scaleToVideoFrame(window);
    frames.insert(frames.end(), copies, scaled);
  }, record);
  return frames;
}

}  // namespace

int runProgram(const ProgramSpec& program, int argc, char** argv, ScanConverter convert) {
  setProgramName(program.info.name);
  switch (parseOptions(argc, argv, program.info)) {
    case Next::ExitOk: return closeStandardOutput() ? 0 : 1;
    case Next::ExitUsage: return 2;
    case Next::Run: break;
  }
  cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);
  installStopHandlers();

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
    status = runBatchGuarded(program.maxScans, [&](cv::Mat scan, const std::string&) {
      int converted = 0;
      std::vector<cv::Mat> frames = videoFramesOf(std::move(scan), run, convert, converted);
      try {
        appendFramesInBackground(video, std::move(frames), writing);
      } catch (...) {
        reportError("writing the video file %s failed: %s", quoted(video.fileName).c_str(),
                    describeException(std::current_exception()).c_str());
        return 1;
      }
      return converted;
    });
    try {
      if (writing.valid()) writing.get();
    } catch (...) {
      reportError("writing the video file %s failed: %s", quoted(video.fileName).c_str(),
                  describeException(std::current_exception()).c_str());
      status = 1;
    }
  }
  for (Video& video : videos) whole = finishVideo(video) && whole;
  const bool printed = closeStandardOutput();
  if (!whole || !printed) return 1;
  if (status == 0 && stopSignal()) {
    reportError("stopped by %s; %s holds the frames of the scans converted before it", signalName(stopSignal()),
                quoted(videos.front().fileName).c_str());
    return 128 + stopSignal();
  }
  return status;
}

}  // namespace shared
