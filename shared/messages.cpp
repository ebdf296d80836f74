// quotedName, describeException, isOutOfMemory: the words for file names
// and caught exceptions.

#include "messages.hpp"

#include <opencv2/core.hpp>

#include <new>
#include <system_error>

namespace shared {

std::string quotedName(const std::string& name) {
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
