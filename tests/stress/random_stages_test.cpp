// Thousands of images of random size, channel count and content through both
// stage chains, and both again with --register, with the first image's geometry applied to the later ones of
// other sizes as a run does. Every call must return, the sanitizers must stay
// silent, and every window must have the size the geometry gives.
//
// TARVEL_STRESS_IMAGES sets the number of images (default 2000); the seeds are fixed.

#include "chains.hpp"

#include "quad/stages.hpp"

#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <cstdlib>

namespace {

int randomExtent(cv::RNG& rng) {
  const int kind = rng.uniform(0, 100);
  if (kind < 35) return rng.uniform(1, 16);
  if (kind < 80) return rng.uniform(16, 400);
  if (kind < 97) return rng.uniform(400, 1300);
  return rng.uniform(1300, 3200);
}

// Something like a film scan: background, a lighter strip, darker frames
// with frame lines between them, holes along one side, grain.
void paintFilm(cv::Mat& img, cv::RNG& rng) {
  img.setTo(cv::Scalar::all(rng.uniform(0, 60)));
  const int w = img.cols, h = img.rows;
  const cv::Rect strip(0, h / 8, w, std::max(1, h * 3 / 4));
  img(strip & cv::Rect(0, 0, w, h)).setTo(cv::Scalar::all(rng.uniform(60, 256)));
  const int pitch = std::max(2, rng.uniform(2, std::max(3, w / 3)));
  for (int x = rng.uniform(0, pitch); x < w; x += pitch) {
    const cv::Rect frame(x, h / 4, std::max(1, pitch - 3), std::max(1, h / 2));
    img(frame & cv::Rect(0, 0, w, h)).setTo(cv::Scalar(rng.uniform(0, 256), rng.uniform(0, 256), rng.uniform(0, 256)));
  }
  cv::Mat grain(img.size(), img.type());
  rng.fill(grain, cv::RNG::NORMAL, 0, 12);
  img += grain;
}

cv::Mat randomImage(cv::RNG& rng) {
  const int rows = randomExtent(rng), cols = randomExtent(rng);
  const int channels = rng.uniform(0, 2) ? 3 : 1;
  // A third of the images are column ranges of a wider one, with a longer step.
  const int extra = rng.uniform(0, 3) == 0 ? rng.uniform(1, 9) : 0;
  cv::Mat wide(rows, cols + extra, CV_8UC(channels));
  cv::Mat img = wide.colRange(extra / 2, extra / 2 + cols);
  static const int kLevels[] = {0, 31, 32, 100, 255};
  switch (rng.uniform(0, 3)) {
    case 0: rng.fill(img, cv::RNG::UNIFORM, 0, 256); break;
    case 1: img.setTo(cv::Scalar::all(kLevels[rng.uniform(0, 5)])); break;
    default: paintFilm(img, rng); break;
  }
  return img;
}

// Both chains on one image: one window of the single-frame geometry's size,
// and four of the pitch's (shown 4, 3, 2 and 1 times) or none when the
// pitch is below 1, all with the image's channels.
void expectWindowsOfTheGeometry(const cv::Mat& img, shared::RunState& single, shared::RunState& quad) {
  const std::vector<stress::Cut> frame = stress::singleChain(img, single);
  const std::vector<stress::Cut> frames = stress::quadChain(img, quad);
  ASSERT_EQ(frame.size(), 1u);
  ASSERT_EQ(frame[0].window.size(), cv::Size(single.geometry.image_width + 1, single.geometry.image_length));
  ASSERT_EQ(frame[0].window.channels(), img.channels());
  ASSERT_EQ(frames.size(), quad::framesCanBeCut(quad.geometry) ? 4u : 0u);
  for (size_t k = 0; k < frames.size(); ++k) {
    ASSERT_EQ(frames[k].window.size(), cv::Size(quad.geometry.image_width + 1, quad.geometry.image_length / 4));
    ASSERT_EQ(frames[k].window.channels(), img.channels());
    ASSERT_EQ(frames[k].copies, 4 - static_cast<int>(k));
  }
}

// With --register: one window (tarvel1m, tarvel1d) and four or none
// (tarvel4, none only when an unregistered scan meets a pitch below 1), each
// of some size and with the image's channels.
void expectRegisteredWindows(const cv::Mat& img, shared::RunState& single, shared::RunState& quad) {
  const std::vector<stress::Cut> frame = stress::registeredSingleChain(img, single);
  const std::vector<stress::Cut> frames = stress::registeredQuadChain(img, quad);
  ASSERT_EQ(frame.size(), 1u);
  ASSERT_TRUE(frames.size() == 4u || frames.empty()) << frames.size();
  for (const std::vector<stress::Cut>* cuts : {&frame, &frames})
    for (const stress::Cut& cut : *cuts) {
      ASSERT_GT(cut.window.rows, 0);
      ASSERT_GT(cut.window.cols, 0);
      ASSERT_EQ(cut.window.channels(), img.channels());
    }
}

int imageCount() {
  const char* env = std::getenv("TARVEL_STRESS_IMAGES");
  return env ? std::atoi(env) : 2000;
}

}  // namespace

TEST(RandomImages, BothChainsCutFramesOfTheGeometrysSize) {
  cv::RNG rng(20261207);
  const int total = imageCount();
  int tried = 0;
  while (tried < total) {
    // A run of one to six images sharing the first one's geometry.
    shared::RunState single, quad, registeredSingle, registeredQuad;
    const int runLength = rng.uniform(1, 7);
    for (int i = 0; i < runLength && tried < total; ++i, ++tried) {
      const cv::Mat img = randomImage(rng);
      SCOPED_TRACE(testing::Message() << "image " << tried << ": " << img.cols << " x " << img.rows
                                      << " x " << img.channels());
      ASSERT_NO_FATAL_FAILURE(expectWindowsOfTheGeometry(img, single, quad));
      ASSERT_NO_FATAL_FAILURE(expectRegisteredWindows(img, registeredSingle, registeredQuad));
    }
  }
  RecordProperty("images", tried);
}

// Scans far smaller than a strip, through both chains, every size up to
// 14 x 16: the sanitizer build checks that nothing reads or writes outside
// an image or a profile; every window has the geometry's size and the
// scan's channels, and a pitch of 1 or more gives four windows.
TEST(TinyScans, BothChainsCopeWithEverySizeUpTo14By16) {
  cv::RNG rng(7);
  for (const int channels : {1, 3})
    for (int rows = 1; rows <= 14; ++rows)
      for (int cols = 1; cols <= 16; ++cols) {
        SCOPED_TRACE(testing::Message() << cols << " x " << rows << " x " << channels);
        cv::Mat scan(rows, cols, CV_8UC(channels));
        rng.fill(scan, cv::RNG::UNIFORM, 0, 256);
        shared::RunState single, quad, registeredSingle, registeredQuad;
        ASSERT_NO_FATAL_FAILURE(expectWindowsOfTheGeometry(scan, single, quad));
        ASSERT_NO_FATAL_FAILURE(expectRegisteredWindows(scan, registeredSingle, registeredQuad));
      }
}
