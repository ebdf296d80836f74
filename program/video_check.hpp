// videoProblem: what is wrong with a finished video file, read back.
#pragma once

#include <string>

namespace program {

// Empty when the file at `path`, written with `fourcc`, holds `framesAppended` frames.
std::string videoProblem(const std::string& path, const std::string& fourcc, long framesAppended);

}  // namespace program
