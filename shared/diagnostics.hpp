// What the programs say on standard error: every line starts with the
// program's name, and file names are quoted with control characters
// escaped, so a name with a line feed or an escape sequence in it cannot
// forge or hide a line. (The name line on standard output prints a name raw.)
//
//   setProgramName     the name every message starts with
//   reportError        "<program>: <message>\n" on standard error
//   reportWarning      "<program>: warning: <message>\n" on standard error, also kept
//   takeWarnings       the warnings given since the last call (for the scan's record)
//   quoted             "name", with control bytes, quote and backslash escaped
//   describeException  what a caught exception says, in a user's terms
#pragma once

#include <exception>
#include <string>
#include <vector>

namespace shared {

void setProgramName(const char* name);
const char* programName();

void reportError(const char* format, ...) __attribute__((format(printf, 1, 2)));
void reportWarning(const char* format, ...) __attribute__((format(printf, 1, 2)));

std::vector<std::string> takeWarnings();

std::string quoted(const std::string& name);

// For the exceptions a run can meet (std::bad_alloc, cv::Exception,
// std::system_error, any std::exception); "memory ran out" for all that
// mean it.
std::string describeException(const std::exception_ptr& error);
bool isOutOfMemory(const std::exception_ptr& error);

}  // namespace shared
