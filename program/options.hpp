// The programs' command line: --help, --version, --overlay DIR, --report
// FILE. An argument that begins with "-" and is none of these is a usage
// error before any file is touched; any other argument is ignored, with a
// warning, as the programs take their whole input from the folder they run in.
#pragma once

#include <string>
#include <vector>

namespace program {

struct ProgramInfo {
  const char* name;
  const char* reads;    // one line: what the program reads
  const char* writes;   // one line: what it writes
};

struct Options {
  bool done = false;  // --help, --version or a usage error: end with `status`
  int status = 0;
  std::string overlayFolder;  // empty without --overlay
  std::string reportFile;     // empty without --report
  int ignoredArguments = 0;
  std::vector<std::string> warnings;  // about the run, given on standard error as they arose
};

Options parseOptions(int argc, char** argv, const ProgramInfo& info);

}  // namespace program
