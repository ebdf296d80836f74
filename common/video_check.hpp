// aviProblem: what is wrong with a finished AVI file that should hold
// `framesAppended` frames; empty when it is whole.
#pragma once

#include <string>

namespace shared {

std::string aviProblem(const std::string& path, long framesAppended);

}  // namespace shared
