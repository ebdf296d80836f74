// Messages on standard error, one write a line.

#include "diagnostics.hpp"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace program {
namespace {

const char* g_programName = "tarvel";

void report(const char* kind, const char* format, va_list args) {
  char message[2048];
  std::vsnprintf(message, sizeof message, format, args);
  char line[2200];
  const int length = std::snprintf(line, sizeof line, "%s: %s%s\n", g_programName, kind, message);
  if (length > 0) std::fwrite(line, 1, std::min<size_t>(length, sizeof line - 1), stderr);
}

}  // namespace

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
