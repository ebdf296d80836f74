// parseOptions: the options each take their value as the next argument or
// after "=", and a value may not be empty.

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

constexpr const char* kUsage = "Usage: %s [--overlay DIR] [--report FILE] [--help] [--version]\n";

void printHelp(const ProgramInfo& info) {
  std::printf(kUsage, info.name);
  std::printf(
      "Run it in a folder of film scans.\n"
      "Reads:  %s\n"
      "Writes: %s\n"
      "  --overlay DIR  also write DIR/<scan name>.png for every scan: the scan with\n"
      "                 the strip edges and frame windows found, and the profiles\n"
      "                 that decided (DIR is created when missing)\n"
      "  --report FILE  also write FILE: the run as one JSON document (the options,\n"
      "                 the videos, every scan handled with its frame windows in\n"
      "                 the scan's own pixels, the warnings, the exit status)\n"
      "Standard output: the measurements, one short line each, and the message\n"
      "  for a scan that cannot be loaded. Standard error: everything else\n"
      "  (warnings, errors, why a scan could not be loaded).\n"
      "Exit status: 0    the run ended normally, also when no scan is found;\n"
      "             1    a scan could not be loaded, the folder could not be listed,\n"
      "                  a video file, picture or report could not be created or written\n"
      "                  whole, memory ran out, or standard output could not be\n"
      "                  written; the video keeps the frames written before and is\n"
      "                  finished;\n"
      "             2    an unknown option; nothing is read or written;\n"
      "             128+N  stopped by signal N (SIGINT, SIGTERM, SIGHUP) after the\n"
      "                  scan in hand; the video holds its frames and is finished.\n"
      "See %s(1) for what each line of output means.\n",
      info.reads, info.writes, info.name);
}

Options usageError(const ProgramInfo& info, const char* problem, const char* arg) {
  reportError("%s %s", problem, shared::quotedName(arg).c_str());
  std::fprintf(stderr, kUsage, info.name);
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

}  // namespace

Options parseOptions(int argc, char** argv, const ProgramInfo& info) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
      printHelp(info);
      options.done = true;
      return options;
    }
    if (std::strcmp(arg, "--version") == 0) {
      std::printf("%s %s\n", info.name, TARVEL_VERSION);
      options.done = true;
      return options;
    }
    bool missing = false;
    if (const char* folder = valueOf("--overlay", argc, argv, i, missing)) {
      if (missing) return usageError(info, "a folder must follow", "--overlay");
      options.overlayFolder = folder;
    } else if (const char* file = valueOf("--report", argc, argv, i, missing)) {
      if (missing) return usageError(info, "a file must follow", "--report");
      options.reportFile = file;
    } else if (arg[0] == '-') {
      return usageError(info, "unknown option", arg);
    } else {
      ++options.ignoredArguments;
    }
  }
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
