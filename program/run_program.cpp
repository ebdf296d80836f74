// runProgram: everything a program does around its scans. In order: the
// options, the library's own logging silenced (its warnings would mix with
// ours on standard error), the stop handlers, the report's file, the
// pictures' folder and the video files, all made before any scan is read so
// that a run never finds out halfway that it cannot write; the scan loop;
// then the writers released and their files checked and put in place,
// standard output flushed and checked, as the GNU tools do, and the report.
// The status is 1 for any failure, else 128 + the signal that stopped the
// run, else the loop's.
//
// Each scan's lines are printed from its record once the conversion is
// done (or broke off), its warnings given after them; its frames are then
// encoded on a second thread while the next scan is cut, and its picture
// drawn on another.

#include "run_program.hpp"

#include "background.hpp"
#include "diagnostics.hpp"
#include "picture_files.hpp"
#include "progress.hpp"
#include "replaced_file.hpp"
#include "report.hpp"
#include "scan_loop.hpp"
#include "stop_signals.hpp"
#include "video_output.hpp"

#include "overlay/picture.hpp"
#include "shared/messages.hpp"

#include <opencv2/core/utils/logger.hpp>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <future>
#include <list>
#include <set>

namespace program {
namespace {

namespace fs = std::filesystem;

// The errors of a run: each given on standard error at once, and kept for the report.
struct Errors {
  std::vector<std::string> messages;
  void add(const std::string& message) {
    reportError("%s", message.c_str());
    messages.push_back(message);
  }
};

// Flushes and closes standard output; false, with a message, when any of
// what was printed did not reach it.
bool closeStandardOutput(Errors* errors) {
  const bool failedBefore = std::ferror(stdout) != 0;
  errno = 0;
  const bool closeFailed = std::fclose(stdout) != 0;
  if (!failedBefore && !closeFailed) return true;
  const int error = errno;
  const std::string message =
      std::string("cannot write standard output") + (error ? ": " : "") + (error ? std::strerror(error) : "");
  if (errors)
    errors->add(message);
  else
    reportError("%s", message.c_str());
  return false;
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

void waitForPicture(Pictures& pictures, Errors& errors) {
  if (!pictures.drawing.valid()) return;
  const std::string problem = pictures.drawing.get();
  if (problem.empty()) return;
  errors.add("cannot write the picture " + shared::quotedName(pictures.drawingPath) + ": " + problem);
  pictures.failed = true;
}

void startPicture(Pictures& pictures, Errors& errors, cv::Mat scan, const std::string& name,
                  shared::ScanRecord record, const shared::RunState& run, const char* program) {
  waitForPicture(pictures, errors);
  pictures.drawingPath = (fs::path(pictures.folder) / pictureName(name, pictures.taken)).string();
  pictures.drawing = inBackground([path = pictures.drawingPath, scan = std::move(scan), record = std::move(record),
                                   facts = overlay::ScanFacts{program, name, run.geometry}] {
    try {
      return writePicture(path, overlay::drawPicture(scan, record, facts));
    } catch (...) {
      return shared::describeException(std::current_exception());
    }
  });
}

// The scan's lines on standard output, then its warnings on standard error.
void printScan(const ProgramTraits& program, const shared::ScanRecord& record) {
  const std::string lines = program.lines(record);
  std::fwrite(lines.data(), 1, lines.size(), stdout);
  for (const std::string& warning : record.warnings) reportWarning("%s", warning.c_str());
}

// What a run holds while its scans are converted.
struct Run {
  Run(const ProgramTraits& traits, const Options& given) : program(traits), options(given) {}

  const ProgramTraits& program;
  const Options& options;
  Errors errors;
  Pictures pictures;
  std::list<Video> videos;  // a list: the writing thread holds a reference to the first
  shared::RunState state;
  nlohmann::ordered_json scans = nlohmann::ordered_json::array();
  std::vector<std::string> warnings{options.warnings};  // about the run
  LoopResult loop;
  bool started = false;
  long framesSent = 0;  // handed to the writing thread
  Progress progress = startProgress();

  void warn(const std::string& warning) {
    reportWarning("%s", warning.c_str());
    warnings.push_back(warning);
  }

  void note(const std::string& name, ScanEnd end, const std::string& reason, const shared::ScanRecord* record) {
    if (!options.reportFile.empty()) scans.push_back(scanReport(name, end, reason, record));
  }
};

// Converts one scan: its frames go to the writing thread, its picture to the drawing one.
int convertOne(Run& run, std::future<void>& writing, cv::Mat scan, const std::string& name) {
  // The picture needs the scan as loaded: a second header keeps its pixels
  // (which the crop shares anyway) until the picture is drawn.
  const cv::Mat forPicture = run.pictures.folder.empty() ? cv::Mat() : scan;
  Video& video = run.videos.front();
  shared::ScanRecord record;
  record.loadedSize = scan.size();
  record.channels = scan.channels();
  std::vector<cv::Mat> frames;
  const shared::FrameSink sink = [&frames, &video](const cv::Mat& window, int copies) {
    frames.insert(frames.end(), copies, scaleToVideoFrame(window, video.size));
  };
  try {
    (run.options.registerFrames ? run.program.registered : run.program.convert)(std::move(scan), run.state, sink,
                                                                               record);
    if (record.registration && !record.registration->registered)
      record.warnings.insert(record.warnings.begin(), "the scan " + shared::quotedName(name) + " does not register: " +
                                                          record.registration->missing +
                                                          "; its frames are cut as without --register");
  } catch (...) {
    const std::string reason = shared::describeException(std::current_exception());
    printScan(run.program, record);
    run.errors.add("converting the scan " + shared::quotedName(name) + " failed: " + reason);
    run.note(name, ScanEnd::Failed, reason, &record);
    return 1;
  }
  printScan(run.program, record);
  if (!record.stop.empty()) run.errors.add(record.stop);
  run.framesSent += static_cast<long>(frames.size());
  try {
    appendFramesInBackground(video, std::move(frames), writing);
  } catch (...) {
    run.errors.add("writing the video file " + shared::quotedName(video.fileName) +
                   " failed: " + shared::describeException(std::current_exception()));
    run.note(name, ScanEnd::Converted, {}, &record);
    return 1;
  }
  run.note(name, record.stop.empty() ? ScanEnd::Converted : ScanEnd::Stopped, record.stop, &record);
  const int status = record.stop.empty() ? 0 : 1;
  if (!run.pictures.folder.empty())
    startPicture(run.pictures, run.errors, forPicture, name, std::move(record), run.state, run.program.info.name);
  return status;
}

// The folder and the files a run writes, made before any scan is read;
// false, with a message, when one cannot be.
bool prepareOutputs(Run& run) {
  run.pictures.folder = run.options.overlayFolder;
  if (!run.pictures.folder.empty()) {
    if (const std::string problem = prepareFolder(run.pictures.folder); !problem.empty()) {
      run.errors.add("cannot write pictures into the folder " + shared::quotedName(run.pictures.folder) + ": " +
                     problem + "; no scan was read");
      return false;
    }
  }
  // The first video receives the frames, as the options ask for it; any
  // other is made as the program always makes it.
  for (const VideoFile& file : run.program.videos) {
    const bool main = run.videos.empty();
    const std::string name = main ? run.options.videoFile : file.name;
    const fs::path path(name);
    removeLeftovers(path.has_parent_path() ? path.parent_path().string() : ".", path.filename().string());
    run.videos.emplace_back();
    const std::string problem =
        main ? openVideo(run.videos.back(), name, run.options.format.fourcc, run.options.fps,
                         cv::Size(run.options.width, run.options.height))
             : openVideo(run.videos.back(), name, file.fourcc);
    if (!problem.empty()) {
      run.errors.add("cannot create the video file " + shared::quotedName(name) + ": " + problem +
                     "; no scan was read");
      return false;
    }
  }
  return true;
}

// A run that left scans unread, or found none, says so: a user would
// otherwise take the video for the whole folder's.
void noteWhatWasLeft(Run& run) {
  const LoopResult& loop = run.loop;
  if (loop.end == LoopEnd::Limit && loop.scansLeft > 0)
    run.warn(std::to_string(run.program.maxScans) + " scans converted and " + std::to_string(loop.scansLeft) +
             " left unread: at most " + std::to_string(run.program.maxScans) +
             " a run; --all converts every scan");
  if (loop.end == LoopEnd::NoScans)
    run.warn("no scan in the current folder: " + shared::quotedName(run.videos.front().fileName) + " has no frames");
}

// The scan loop, with what it lets through (memory running out in the
// listing, say) ending the run like any other failure.
int convertScans(Run& run) {
  // Each scan's frames are encoded while the next scan is cut; waited for
  // before the videos are released.
  std::future<void> writing;
  ScanLoopHandlers handlers;
  handlers.convert = [&run, &writing](cv::Mat scan, const std::string& name, ScanPlace) {
    return convertOne(run, writing, scan, name);
  };
  handlers.notLoaded = [&run](const std::string& name, const std::string& reason) {
    run.note(name, ScanEnd::NotLoaded, reason, nullptr);
  };
  handlers.starting = [&run](ScanPlace place) {
    showProgress(run.progress, place.number, place.total, run.framesSent);
  };
  try {
    run.loop = runScanLoop(run.options.allScans ? INT_MAX : run.program.maxScans, handlers);
    if (!run.loop.error.empty()) run.errors.messages.push_back(run.loop.error);
  } catch (...) {
    run.errors.add("the run failed: " + shared::describeException(std::current_exception()));
    run.loop.status = 1;
    run.loop.end = LoopEnd::Failed;
  }
  endProgress(run.progress);
  noteWhatWasLeft(run);
  try {
    if (writing.valid()) writing.get();
  } catch (...) {
    run.errors.add("writing the video file " + shared::quotedName(run.videos.front().fileName) +
                   " failed: " + shared::describeException(std::current_exception()));
    return 1;
  }
  return run.loop.status;
}

std::vector<VideoFacts> videoFacts(const std::list<Video>& videos) {
  std::vector<VideoFacts> facts;
  for (const Video& video : videos)
    facts.push_back({video.fileName, video.fourcc, video.size.width, video.size.height, video.fps,
                     video.framesAppended, video.placed});
  return facts;
}

}  // namespace

int runProgram(const ProgramTraits& program, int argc, char** argv) {
  setProgramName(program.info.name);
  const VideoFile& own = program.videos.front();
  const Options options = parseOptions(argc, argv, program.info,
                                       {own.name, own.fourcc, program.maxScans,
                                        program.videos.size() > 1 ? program.videos[1].name : nullptr});
  if (options.done) return options.status == 0 && !closeStandardOutput(nullptr) ? 1 : options.status;
  // The library's own messages, and those of the FFmpeg it writes through,
  // would mix with ours on standard error.
  cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);
  setenv("OPENCV_FFMPEG_LOGLEVEL", "-8", 1);
  installStopHandlers();

  AsideFile reportFile;
  if (!options.reportFile.empty()) {
    const fs::path report(options.reportFile);
    removeLeftovers(report.has_parent_path() ? report.parent_path().string() : ".", report.filename().string());
    if (const std::string problem = createAside(options.reportFile, reportFile); !problem.empty()) {
      reportError("cannot write the report %s: %s; no scan was read", shared::quotedName(options.reportFile).c_str(),
                  problem.c_str());
      return 1;
    }
  }

  Run run{program, options};
  int status = 1;
  bool whole = prepareOutputs(run);
  if (whole) {
    run.started = true;
    status = convertScans(run);
  }
  waitForPicture(run.pictures, run.errors);
  for (Video& video : run.videos) {
    if (!run.started) {
      discardVideo(video);  // a run refused at the start leaves every earlier video as it was
      continue;
    }
    if (const std::string problem = finishVideo(video); !problem.empty()) {
      run.errors.add(problem);
      whole = false;
    }
  }
  const bool printed = closeStandardOutput(&run.errors);
  if (!whole || !printed || run.pictures.failed) status = 1;
  const int signal = stopSignal();
  if (status == 0 && signal) {
    run.errors.add(std::string("stopped by ") + signalName(signal) + "; " +
                   shared::quotedName(run.videos.front().fileName) +
                   " holds the frames of the scans converted before it");
    status = 128 + signal;
  }
  if (options.reportFile.empty()) return status;

  RunFacts facts;
  facts.program = program.info.name;
  facts.options = &options;
  facts.status = status;
  facts.started = run.started;
  facts.loop = run.loop;
  facts.signal = signal;
  facts.run = &run.state;
  facts.videos = videoFacts(run.videos);
  facts.errors = run.errors.messages;
  facts.warnings = run.warnings;
  nlohmann::ordered_json document = runReport(facts, std::move(run.scans));
  if (const std::string problem = writeReport(reportFile, document); !problem.empty()) {
    reportError("cannot write the report %s: %s", shared::quotedName(options.reportFile).c_str(), problem.c_str());
    return 1;
  }
  return status;
}

}  // namespace program
