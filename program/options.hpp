// The programs' command line. An argument that begins with "-" and is not
// an option, or an option whose value is wrong, is a usage error (exit
// status 2) before any file is touched; any other argument is ignored, with
// a warning, as the programs take their whole input from the folder they
// run in.
//
//   parseOptions  the options of a run, or the status to end with at once
#pragma once

#include "video_formats.hpp"

#include <string>
#include <vector>

namespace program {

struct ProgramInfo {
  const char* name;
  const char* reads;    // one line: what the program reads
  const char* writes;   // one line: what it writes
};

// What the program writes without --video and --size and --fps.
struct OwnVideo {
  const char* name;
  const char* fourcc;
  int scanLimit;              // scans read without --all
  const char* other = nullptr;  // the name of a second video the program makes, if any
};

struct Options {
  bool done = false;  // --help, --version or a usage error: end with `status`
  int status = 0;
  std::string overlayFolder;  // empty without --overlay
  std::string reportFile;     // empty without --report
  bool allScans = false;      // --all: no scan limit
  bool registerFrames = false;  // --register: frames placed by the perforations
  std::string videoFile;      // the main video's name
  VideoFormat format;         // its container and codec
  double fps = 25;
  int width = 640, height = 480;
  int ignoredArguments = 0;
  std::vector<std::string> warnings;  // about the run, given on standard error as they arose
};

Options parseOptions(int argc, char** argv, const ProgramInfo& info, const OwnVideo& own);

}  // namespace program
