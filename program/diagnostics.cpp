// Messages on standard error, one write a line, and the status line of a terminal.

#include "diagnostics.hpp"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace program {
namespace {

const char* g_programName = "tarvel";
bool g_statusShown = false;  // a status line is on the terminal, without its line feed

constexpr const char kEraseLine[] = "\r\033[K";

void report(const char* kind, const char* format, va_list args) {
  clearStatusLine();
  char message[2048];
  std::vsnprintf(message, sizeof message, format, args);
  char line[2200];
  const int length = std::snprintf(line, sizeof line, "%s: %s%s\n", g_programName, kind, message);
  if (length > 0) std::fwrite(line, 1, std::min<size_t>(length, sizeof line - 1), stderr);
}

}  // namespace

void showStatusLine(const char* text) {
  char line[400];
  const int length = std::snprintf(line, sizeof line, "%s%s: %s", kEraseLine, g_programName, text);
  if (length > 0) std::fwrite(line, 1, std::min<size_t>(length, sizeof line - 1), stderr);
  g_statusShown = true;
}

void clearStatusLine() {
  if (!g_statusShown) return;
  std::fwrite(kEraseLine, 1, sizeof kEraseLine - 1, stderr);
  g_statusShown = false;
}

void setProgramName(const char* name) { g_programName = name; }
const char* programName() { return g_programName; }

void reportError(const char* format, ...) {
  va_list args;
  va_start(args, format);
  report("", format, args);
  va_end(args);
}

void reportWarning(const char* format, ...) {
  va_list args;
  va_start(args, format);
  report("warning: ", format, args);
  va_end(args);
}

}  // namespace program
