// --help and --version. Every other argument is ignored: the programs take
// their whole input from the folder they run in.

#include "shared.hpp"

#include <cstdio>
#include <cstring>

#ifndef TARVEL_VERSION
#define TARVEL_VERSION "unknown"
#endif

namespace shared {

bool handleInfoOptions(int argc, char** argv, const ProgramInfo& info) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::printf(
          "Usage: %s [--help] [--version]\n"
          "Run it in a folder of film scans; it takes no other options.\n"
          "Reads:  %s\n"
          "Writes: %s\n"
          "Prints its measurements on standard output, warnings and errors on standard error.\n"
          "Exit status: 0 when the run ends normally, also when no scan is found;\n"
          "             1 when a scan cannot be loaded (the video keeps the frames written\n"
          "             before it) or a video file cannot be created.\n",
          info.name, info.reads, info.writes);
      return true;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("%s %s\n", info.name, TARVEL_VERSION);
      return true;
    }
  }
  return false;
}

}  // namespace shared
