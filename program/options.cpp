// parseOptions: the options that take a value take it as the next argument
// or after "=", and a value may not be empty. The video's name decides its
// format, which decides the rates and sizes it takes, so those are checked
// once every option is read.

#include "options.hpp"

#include "diagnostics.hpp"

#include "shared/messages.hpp"

#include <cstdio>
#include <cstring>

#ifndef TARVEL_VERSION
#define TARVEL_VERSION "unknown"
#endif

namespace program {
namespace {

constexpr const char* kUsage =
    "Usage: %s [--register] [--all] [--video FILE] [--fps RATE] [--size WxH] [--overlay DIR] [--report FILE]\n";

void printHelp(const ProgramInfo& info, const OwnVideo& own) {
  std::printf(kUsage, info.name);
  std::printf(
      "Run it in a folder of film scans.\n"
      "Reads:  %s\n"
      "Writes: %s\n"
      "  --register     place the frames by the film's perforations: each scan read\n"
      "                 on its own at any resolution, the gauge told from the strip\n"
      "                 (35 mm, 16 mm, Super 8, 8 mm), the picture cut upright\n"
      "  --all          convert every scan of the folder, not only the first %d\n"
      "  --video FILE   the video's name instead of %s; its extension chooses the\n"
      "                 format: .avi %s, .mp4 H.264 (plays in browsers and phones),\n"
      "                 .mkv FFV1 (lossless, for archiving)\n"
      "  --fps RATE     the video's frame rate, 1 to 120 frames a second with up to\n"
      "                 three decimals, such as 18, 24 or 23.976 (default 25)\n"
      "  --size WxH     the video's frame size in pixels, even numbers from 16 to\n"
      "                 8190 (.avi) or 8192 (.mp4, .mkv) (default 640x480)\n"
      "  --overlay DIR  also write DIR/<scan name>.png for every scan: the scan with\n"
      "                 the strip edges and frame windows found, and the profiles\n"
      "                 that decided (DIR is created when missing)\n"
      "  --report FILE  also write FILE: the run as one JSON document (the options,\n"
      "                 the videos, every scan handled with its frame windows in\n"
      "                 the scan's own pixels, the warnings, the exit status)\n"
      "  -h, --help     print this help; --version  print the version\n"
      "Standard output: the measurements, one short line each, and the message\n"
      "  for a scan that cannot be loaded. Standard error: everything else\n"
      "  (warnings, errors, why a scan could not be loaded, and on a terminal a\n"
      "  line of progress).\n"
      "Exit status: 0    the run ended normally, also when no scan is found;\n"
      "             1    a scan could not be loaded, the folder could not be listed,\n"
      "                  a video file, picture or report could not be created or\n"
      "                  written whole, memory ran out, or standard output could\n"
      "                  not be written; the video keeps the frames written before\n"
      "                  and is finished;\n"
      "             2    an unknown option or a wrong value; nothing is read or\n"
      "                  written;\n"
      "             128+N  stopped by signal N (SIGINT, SIGTERM, SIGHUP) after the\n"
      "                  scan in hand; the video holds its frames and is finished.\n"
      "See %s(1) for what each line of output means.\n",
      info.reads, info.writes, own.scanLimit, own.name, own.fourcc, info.name);
}

Options usageError(const ProgramInfo& info, const std::string& problem) {
  reportError("%s", problem.c_str());
  std::fprintf(stderr, kUsage, info.name);
  std::fprintf(stderr, "Try '%s --help' for more information.\n", info.name);
  Options options;
  options.done = true;
  options.status = 2;
  return options;
}

// The value of option `name` at argv[i], given as "name VALUE" or
// "name=VALUE"; i moves past it. Null when argv[i] is not that option.
const char* valueOf(const char* name, int argc, char** argv, int& i, bool& missing) {
  const char* arg = argv[i];
  const size_t length = std::strlen(name);
  if (std::strncmp(arg, name, length) != 0) return nullptr;
  const char* value = nullptr;
  if (arg[length] == '=') {
    value = arg + length + 1;
  } else if (arg[length] == '\0') {
    value = i + 1 < argc ? argv[++i] : "";
  } else {
    return nullptr;
  }
  missing = value[0] == '\0';
  return value;
}

std::string quoted(const char* text) { return shared::quotedName(text); }

// The video's format, rate and size together; empty when they agree.
std::string whyNotVideo(Options& options, const OwnVideo& own) {
  const std::optional<VideoFormat> format = videoFormatFor(options.videoFile, own.fourcc);
  if (!format)
    return "the video " + shared::quotedName(options.videoFile) +
           " must end in .avi, .mp4 or .mkv, which choose its format";
  options.format = *format;
  if (own.other && options.videoFile == own.other)
    return "the video " + shared::quotedName(options.videoFile) + " is the second video the program makes";
  if (const std::string why = whyNotRate(options.format, options.fps); !why.empty()) {
    char rate[32];
    std::snprintf(rate, sizeof rate, "%g", options.fps);
    return std::string("the rate ") + rate + ": " + why;
  }
  if (const std::string why = whyNotSize(options.format, options.width, options.height); !why.empty())
    return "the size " + std::to_string(options.width) + "x" + std::to_string(options.height) + ": " + why;
  return {};
}

}  // namespace

Options parseOptions(int argc, char** argv, const ProgramInfo& info, const OwnVideo& own) {
  Options options;
  options.videoFile = own.name;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
      printHelp(info, own);
      options.done = true;
      return options;
    }
    if (std::strcmp(arg, "--version") == 0) {
      std::printf("%s %s\n", info.name, TARVEL_VERSION);
      options.done = true;
      return options;
    }
    bool missing = false;
    if (std::strcmp(arg, "--all") == 0) {
      options.allScans = true;
    } else if (std::strcmp(arg, "--register") == 0) {
      options.registerFrames = true;
    } else if (const char* folder = valueOf("--overlay", argc, argv, i, missing)) {
      if (missing) return usageError(info, "a folder must follow " + quoted("--overlay"));
      options.overlayFolder = folder;
    } else if (const char* file = valueOf("--report", argc, argv, i, missing)) {
      if (missing) return usageError(info, "a file must follow " + quoted("--report"));
      options.reportFile = file;
    } else if (const char* video = valueOf("--video", argc, argv, i, missing)) {
      if (missing) return usageError(info, "a file must follow " + quoted("--video"));
      options.videoFile = video;
    } else if (const char* rate = valueOf("--fps", argc, argv, i, missing)) {
      if (missing) return usageError(info, "a rate must follow " + quoted("--fps"));
      const Rate parsed = parseRate(rate);
      if (!parsed.problem.empty()) return usageError(info, "--fps " + quoted(rate) + " " + parsed.problem);
      options.fps = parsed.fps;
    } else if (const char* size = valueOf("--size", argc, argv, i, missing)) {
      if (missing) return usageError(info, "a size must follow " + quoted("--size"));
      const Size parsed = parseSize(size);
      if (!parsed.problem.empty()) return usageError(info, "--size " + quoted(size) + " " + parsed.problem);
      options.width = parsed.width;
      options.height = parsed.height;
    } else if (arg[0] == '-') {
      return usageError(info, "unknown option " + quoted(arg));
    } else {
      ++options.ignoredArguments;
    }
  }
  if (const std::string why = whyNotVideo(options, own); !why.empty()) return usageError(info, why);
  if (const int ignored = options.ignoredArguments) {
    char warning[120];
    std::snprintf(warning, sizeof warning, "ignoring %d argument%s: the program converts the scans of the current folder",
                  ignored, ignored == 1 ? "" : "s");
    reportWarning("%s", warning);
    options.warnings.emplace_back(warning);
  }
  return options;
}

}  // namespace program
