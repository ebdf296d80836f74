// Both programs' conversions of one image, as a run applies them (with and
// without --register), for the
// randomized stage test and the fuzzer: the windows each hands to its sink,
// at their own size, with how often each is shown.
#pragma once

#include "shared/run_state.hpp"

#include <opencv2/core/mat.hpp>

#include <vector>

namespace stress {

struct Cut {
  cv::Mat window;
  int copies;
};

std::vector<Cut> singleChain(const cv::Mat& scan, shared::RunState& run);
std::vector<Cut> quadChain(const cv::Mat& scan, shared::RunState& run);
// With --register: frames placed by the perforations, or the chains above when none register.
std::vector<Cut> registeredSingleChain(const cv::Mat& scan, shared::RunState& run);
std::vector<Cut> registeredQuadChain(const cv::Mat& scan, shared::RunState& run);

}  // namespace stress
