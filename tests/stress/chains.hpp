// Both programs' stage chains on one image, as a run applies them, for the
// randomized stage test and the fuzzer. A chain returns the frames it cut,
// unscaled for the single-frame chain and scaled to 640 x 480 for the
// four-frame one (which scales inside its frame stage).
#pragma once

#include "common/shared.hpp"

#include <opencv2/core/mat.hpp>

#include <vector>

namespace stress {

struct RunGeometry {
  bool calibrated = false;
  shared::StripGeometry geometry;
};

cv::Mat singleChain(const cv::Mat& scan, RunGeometry& run);
std::vector<cv::Mat> quadChain(const cv::Mat& scan, RunGeometry& run);

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
