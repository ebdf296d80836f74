// What the programs say on standard error: every line starts with the
// program's name. Each goes out as one write of a whole line, so lines from
// the loading and writing threads never interleave mid-line.
//
//   setProgramName  the name every message starts with
//   programName     that name
//   reportError     "<program>: <message>\n" on standard error
//   reportWarning   "<program>: warning: <message>\n" on standard error
//   showStatusLine  "<program>: <text>" on standard error, to be overwritten by the next
//   clearStatusLine takes that line away
//
// A message given while a status line shows takes its place; the next
// status line is drawn below the message.
#pragma once

namespace program {

void setProgramName(const char* name);
const char* programName();

void reportError(const char* format, ...) __attribute__((format(printf, 1, 2)));
void reportWarning(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Only for a terminal: the line is drawn with a carriage return and erased
// to its end with the terminal's "erase line" sequence.
void showStatusLine(const char* text);
void clearStatusLine();

}  // namespace program
