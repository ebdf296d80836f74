// A line of progress on standard error, updated in place, when standard
// error is a terminal: the scan in hand of how many, the frames written and
// the time left. When it is not a terminal nothing is shown, so logs and
// scripts see only the program's messages.
//
//   startProgress  whether to show it, and when the run started
//   showProgress   the line for the scan about to be converted
//   endProgress    takes the line away at the end of the run
#pragma once

#include <chrono>

namespace program {

struct Progress {
  bool shown = false;
  std::chrono::steady_clock::time_point start;
};

Progress startProgress();
// scan counts from 1; scans is the number the run will convert.
void showProgress(const Progress& progress, int scan, int scans, long frames);
void endProgress(const Progress& progress);

}  // namespace program
