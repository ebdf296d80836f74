// The words the programs use for what went wrong, for the messages the
// program layer prints and the reasons the loader gives.
//
//   quotedName         "name", with control bytes, quote and backslash escaped
//   describeException  what a caught exception says, in a user's terms
//   isOutOfMemory      whether a caught exception means memory ran out
#pragma once

#include <exception>
#include <string>

namespace shared {

// File names are quoted with control characters escaped, so a name with a
// line feed or an escape sequence in it cannot forge or hide a line.
std::string quotedName(const std::string& name);

// For the exceptions a run can meet (std::bad_alloc, cv::Exception,
// std::system_error, any std::exception); "memory ran out" for all that
// mean it.
std::string describeException(const std::exception_ptr& error);
bool isOutOfMemory(const std::exception_ptr& error);

}  // namespace shared
