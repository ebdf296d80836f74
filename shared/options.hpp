// The programs' command line: --help, --version, --overlay DIR. An argument
// that begins with "-" and is none of these is a usage error before any file
// is touched; any other argument is ignored, with a note, as the programs
// take their whole input from the folder they run in.
#pragma once

#include "program.hpp"

#include <string>

namespace shared {

struct Options {
  bool done = false;  // --help, --version or a usage error: end with `status`
  int status = 0;
  std::string overlayFolder;  // empty without --overlay
};

Options parseOptions(int argc, char** argv, const ProgramInfo& info);

}  // namespace shared
