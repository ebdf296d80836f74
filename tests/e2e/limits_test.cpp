// Scans at the edges of what the image library accepts: the longest and the
// tallest it decodes are converted, one step beyond is refused with the load
// message, and a header that promises more pixels than the file holds is
// refused without the run hanging on it.
//
// TARVEL_HUGE_TESTS=1 adds a scan of the largest pixel count the library
// accepts (2^30 samples, a few GB of memory and tens of seconds).

#include "support/e2e.hpp"

#include <gtest/gtest.h>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include <cstdlib>

namespace {

constexpr int kLargestSide = 1 << 20;  // the library's default limit per side

void expectConverted(const e2e::Program& p, const e2e::TempDir& dir) {
  const auto r = e2e::runProgram(e2e::programPath(p.name), dir.path);
  EXPECT_TRUE(r.status == 0 || r.status == 1) << p.name << ": " << r.err;
  EXPECT_EQ(r.out.find("Could not load"), std::string::npos) << p.name;
  EXPECT_TRUE(e2e::probeVideo(dir.file(p.video)).readable) << p.name;
}

void expectRefused(const e2e::Program& p, const e2e::TempDir& dir, const std::string& name, const std::string& reason) {
  const auto r = e2e::runProgram(e2e::programPath(p.name), dir.path);
  EXPECT_EQ(r.status, 1) << p.name;
  EXPECT_NE(r.err.find(reason), std::string::npos) << r.err;
  EXPECT_TRUE(e2e::onlyOwnMessages(r.err, p.name));
  EXPECT_NE(r.out.find(e2e::failedLoad(name)), std::string::npos) << p.name;
  EXPECT_EQ(e2e::probeVideo(dir.file(p.video)).frames, 0) << p.name;
}

}  // namespace

TEST(Limits, TheLongestAndTallestAcceptedScansAreConverted) {
  for (const cv::Size size : {cv::Size(kLargestSide, 1), cv::Size(1, kLargestSide), cv::Size(kLargestSide, 3)}) {
    e2e::TempDir dir;
    cv::Mat scan(size, CV_8UC1);
    cv::randu(scan, 0, 256);
    ASSERT_TRUE(cv::imwrite(dir.file("long.tif"), scan));
    for (const e2e::Program& p : e2e::kPrograms) expectConverted(p, dir);
  }
}

TEST(Limits, OneStepBeyondTheLibrarysLimitIsRefused) {
  e2e::TempDir dir;
  ASSERT_TRUE(cv::imwrite(dir.file("wide.tif"), cv::Mat(1, kLargestSide + 1, CV_8UC1, cv::Scalar(7))));
  for (const e2e::Program& p : e2e::kPrograms) expectRefused(p, dir, "wide.tif", "larger than the image library accepts");
}

TEST(Limits, AHeaderPromisingMoreThanTheFileHoldsIsRefused) {
  for (const auto& [w, h] : {std::pair<uint32_t, uint32_t>{32768, 32768}, {kLargestSide, kLargestSide}, {70000, 70000}}) {
    e2e::TempDir dir;
    e2e::writeFile(dir.file("huge.tif"), e2e::tiffBytes(w, h, 1, std::string(4096, '\x40')));
    for (const e2e::Program& p : e2e::kPrograms) expectRefused(p, dir, "huge.tif", "\"huge.tif\": ");
  }
}

TEST(Limits, TheLargestAcceptedPixelCountIsConverted) {
  if (!std::getenv("TARVEL_HUGE_TESTS")) GTEST_SKIP() << "set TARVEL_HUGE_TESTS=1 to convert a 2^30-sample scan";
  e2e::TempDir dir;
  cv::Mat scan(32768, 32768, CV_8UC1, cv::Scalar(0));
  scan(cv::Rect(1000, 4000, 30000, 24000)).setTo(cv::Scalar(200));
  ASSERT_TRUE(cv::imwrite(dir.file("largest.tif"), scan, {cv::IMWRITE_TIFF_COMPRESSION, 8}));
  scan.release();
  for (const e2e::Program& p : e2e::kPrograms) expectConverted(p, dir);
}
