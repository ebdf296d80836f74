// Both programs' conversions of one image, as a run applies them, for the
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

// Runs `body` with standard output and standard error sent to /dev/null.
template <typename Body>
void quietly(Body&& body);

}  // namespace stress

#include <unistd.h>
#include <fcntl.h>
#include <cstdio>

template <typename Body>
void stress::quietly(Body&& body) {
  std::fflush(stdout);
  std::fflush(stderr);
  const int out = dup(1), err = dup(2), null = open("/dev/null", O_WRONLY);
  dup2(null, 1);
  dup2(null, 2);
  body();
  std::fflush(stdout);
  std::fflush(stderr);
  dup2(out, 1);
  dup2(err, 2);
  close(out);
  close(err);
  close(null);
}
