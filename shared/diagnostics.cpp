// Messages on standard error. Each goes out as one write of a whole line,
// so lines from the loading and writing threads never interleave mid-line.

#include "diagnostics.hpp"

#include <opencv2/core.hpp>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <new>
#include <utility>
#include <system_error>

namespace shared {
namespace {

const char* g_programName = "tarvel";
std::mutex g_warningsLock;
std::vector<std::string> g_warnings;

std::string report(const char* kind, const char* format, va_list args) {
  char message[2048];
  std::vsnprintf(message, sizeof message, format, args);
  char line[2200];
  const int length = std::snprintf(line, sizeof line, "%s: %s%s\n", g_programName, kind, message);
  if (length > 0) std::fwrite(line, 1, std::min<size_t>(length, sizeof line - 1), stderr);
  return message;
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
  std::string message = report("warning: ", format, args);
  va_end(args);
  const std::lock_guard<std::mutex> hold(g_warningsLock);
  g_warnings.push_back(std::move(message));
}

std::vector<std::string> takeWarnings() {
  const std::lock_guard<std::mutex> hold(g_warningsLock);
  return std::exchange(g_warnings, {});
}

std::string quoted(const std::string& name) {
  static const char kHex[] = "0123456789abcdef";
  std::string q = "\"";
  for (const char ch : name) {
    const auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '\n': q += "\\n"; break;
      case '\t': q += "\\t"; break;
      case '\r': q += "\\r"; break;
      case '"': q += "\\\""; break;
      case '\\': q += "\\\\"; break;
      default:
        if (c < 0x20 || c == 0x7f) {
          q += "\\x";
          q += kHex[c >> 4];
          q += kHex[c & 15];
        } else {
          q += ch;  // bytes above ASCII stay: names are often UTF-8
        }
    }
  }
  return q + "\"";
}

bool isOutOfMemory(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::bad_alloc&) {
    return true;
  } catch (const cv::Exception& e) {
    return e.code == cv::Error::StsNoMem;
  } catch (const std::system_error& e) {
    // A thread whose stack cannot be mapped, or a page that cannot be had.
    return e.code() == std::errc::resource_unavailable_try_again || e.code() == std::errc::not_enough_memory;
  } catch (...) {
    return false;
  }
}

std::string describeException(const std::exception_ptr& error) {
  if (isOutOfMemory(error)) return "memory ran out";
  try {
    std::rethrow_exception(error);
  } catch (const cv::Exception& e) {
    return "the image library failed: " + e.err;
  } catch (const std::system_error& e) {
    return std::string("the system refused: ") + e.what();
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "an unknown error";
  }
}

}  // namespace shared
