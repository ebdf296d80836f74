#include "options.hpp"

#include "diagnostics.hpp"

#include <cstdio>
#include <cstring>

#ifndef TARVEL_VERSION
#define TARVEL_VERSION "unknown"
#endif

namespace shared {
namespace {

constexpr const char* kUsage = "Usage: %s [--overlay DIR] [--help] [--version]\n";

void printHelp(const ProgramInfo& info) {
  std::printf(kUsage, info.name);
  std::printf(
      "Run it in a folder of film scans.\n"
      "Reads:  %s\n"
      "Writes: %s\n"
      "  --overlay DIR  also write DIR/<scan name>.png for every scan: the scan with\n"
      "                 the strip edges and frame windows found, and the profiles\n"
      "                 that decided (DIR is created when missing)\n"
      "Standard output: the measurements, one short line each, and the message\n"
      "  for a scan that cannot be loaded. Standard error: everything else\n"
      "  (warnings, errors, why a scan could not be loaded).\n"
      "Exit status: 0    the run ended normally, also when no scan is found;\n"
      "             1    a scan could not be loaded, the folder could not be listed,\n"
      "                  a video file or picture could not be created or written\n"
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
  reportError("%s %s", problem, quotedName(arg).c_str());
  std::fprintf(stderr, kUsage, info.name);
  Options options;
  options.done = true;
  options.status = 2;
  return options;
}

}  // namespace

Options parseOptions(int argc, char** argv, const ProgramInfo& info) {
  Options options;
  int ignored = 0;
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
    if (std::strcmp(arg, "--overlay") == 0) {
      if (i + 1 >= argc || argv[i + 1][0] == '\0') return usageError(info, "a folder must follow", arg);
      options.overlayFolder = argv[++i];
    } else if (std::strncmp(arg, "--overlay=", 10) == 0) {
      if (arg[10] == '\0') return usageError(info, "a folder must follow", "--overlay");
      options.overlayFolder = arg + 10;
    } else if (arg[0] == '-') {
      return usageError(info, "unknown option", arg);
    } else {
      ++ignored;
    }
  }
  if (ignored)
    reportWarning("ignoring %d argument%s: the program converts the scans of the current folder", ignored,
                  ignored == 1 ? "" : "s");
  return options;
}

}  // namespace shared
