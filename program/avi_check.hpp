// aviProblem: what is wrong with a finished AVI file, read back.
#pragma once

#include <string>

namespace program {

// Empty when the file at `path` is a whole AVI file of `framesAppended` frames.
std::string aviProblem(const std::string& path, long framesAppended);

}  // namespace program
