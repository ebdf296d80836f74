// runProgram: a whole program around its conversion of one scan: the
// options, the videos, the scan loop, the lines and warnings of each scan,
// the overlay pictures, the report, and the exit status.
#pragma once

#include "options.hpp"
#include "scan_lines.hpp"

#include "shared/conversion.hpp"

#include <vector>

namespace program {

struct VideoFile {
  const char* name;
  const char* fourcc;
};

struct ProgramTraits {
  ProgramInfo info;
  int maxScans;
  std::vector<VideoFile> videos;  // created in this order; the first receives the frames
  shared::ScanConverter convert;
  shared::ScanConverter registered;  // with --register
  ScanPrinter lines;
};

// Returns the exit status: 0 for a run that ended normally, 1 for any
// failure, 2 for a usage error, 128 + N for a run stopped by signal N.
int runProgram(const ProgramTraits& program, int argc, char** argv);

}  // namespace program
