// startProgress, showProgress, endProgress: the time left is the time the
// scans so far took on average, times the scans still to come.

#include "progress.hpp"

#include "diagnostics.hpp"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace program {
namespace {

std::string duration(double seconds) {
  char text[48];
  const long s = static_cast<long>(seconds + 0.5);
  if (s < 60) std::snprintf(text, sizeof text, "%ld s", s);
  else if (s < 3600) std::snprintf(text, sizeof text, "%ld min %02ld s", s / 60, s % 60);
  else std::snprintf(text, sizeof text, "%ld h %02ld min", s / 3600, s / 60 % 60);
  return text;
}

}  // namespace

Progress startProgress() {
  Progress progress;
  const char* term = std::getenv("TERM");
  progress.shown = isatty(STDERR_FILENO) == 1 && !(term && std::strcmp(term, "dumb") == 0);
  progress.start = std::chrono::steady_clock::now();
  return progress;
}

void showProgress(const Progress& progress, int scan, int scans, long frames) {
  if (!progress.shown) return;
  char line[160];
  int length = std::snprintf(line, sizeof line, "scan %d of %d, %ld frame%s written", scan, scans, frames,
                             frames == 1 ? "" : "s");
  if (scan > 1) {
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - progress.start).count();
    const double left = elapsed / (scan - 1) * (scans - scan + 1);
    std::snprintf(line + length, sizeof line - length, ", about %s left", duration(left).c_str());
  }
  showStatusLine(line);
}

void endProgress(const Progress& progress) {
  if (progress.shown) clearStatusLine();
}

}  // namespace program
