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

#include <cstdint>
#include <cstdlib>
#include <fstream>

namespace {

struct Program {
  const char* name;
  const char* video;
};

const Program kPrograms[] = {{"tarvel1m", "video.avi"}, {"tarvel1d", "video.avi"}, {"tarvel4", "video3.avi"}};
constexpr int kLargestSide = 1 << 20;  // the library's default limit per side

// A gray TIFF header for width x height samples whose single strip is cut short.
std::string truncatedTiff(uint32_t width, uint32_t height) {
  std::string out = "II*";
  out += '\0';
  auto u16 = [&](uint16_t v) { out.append(reinterpret_cast<const char*>(&v), 2); };
  auto u32 = [&](uint32_t v) { out.append(reinterpret_cast<const char*>(&v), 4); };
  u32(8);
  u16(8);
  auto tag = [&](uint16_t id, uint16_t type, uint32_t value) { u16(id), u16(type), u32(1), u32(value); };
  tag(256, 4, width);
  tag(257, 4, height);
  tag(258, 3, 8);
  tag(259, 3, 1);
  tag(262, 3, 1);
  tag(273, 4, 8 + 2 + 8 * 12 + 4);
  tag(278, 4, height);
  tag(279, 4, width * height);
  u32(0);
  out += std::string(4096, '\x40');
  return out;
}

void expectConverted(const Program& p, const e2e::TempDir& dir) {
  const auto r = e2e::runProgram(e2e::programPath(p.name), dir.path);
  EXPECT_TRUE(r.status == 0 || r.status == 1) << p.name << ": " << r.err;
  EXPECT_EQ(r.out.find("Could not load"), std::string::npos) << p.name;
  EXPECT_TRUE(e2e::probeVideo(dir.file(p.video)).readable) << p.name;
}

void expectRefused(const Program& p, const e2e::TempDir& dir, const std::string& name, const std::string& reason) {
  const auto r = e2e::runProgram(e2e::programPath(p.name), dir.path);
  EXPECT_EQ(r.status, 1) << p.name;
  EXPECT_NE(r.err.find(reason), std::string::npos) << r.err;
  EXPECT_NE(r.out.find("Could not load image file: " + name + "\n"), std::string::npos) << p.name;
  EXPECT_EQ(e2e::probeVideo(dir.file(p.video)).frames, 0) << p.name;
}

}  // namespace

TEST(Limits, TheLongestAndTallestAcceptedScansAreConverted) {
  for (const cv::Size size : {cv::Size(kLargestSide, 1), cv::Size(1, kLargestSide), cv::Size(kLargestSide, 3)}) {
    e2e::TempDir dir;
    cv::Mat scan(size, CV_8UC1);
    cv::randu(scan, 0, 256);
    ASSERT_TRUE(cv::imwrite(dir.file("long.tif"), scan));
    for (const Program& p : kPrograms) expectConverted(p, dir);
  }
}

TEST(Limits, OneStepBeyondTheLibrarysLimitIsRefused) {
  e2e::TempDir dir;
  ASSERT_TRUE(cv::imwrite(dir.file("wide.tif"), cv::Mat(1, kLargestSide + 1, CV_8UC1, cv::Scalar(7))));
  for (const Program& p : kPrograms) expectRefused(p, dir, "wide.tif", "larger than the image library accepts");
}

TEST(Limits, AHeaderPromisingMoreThanTheFileHoldsIsRefused) {
  for (const auto& [w, h] : {std::pair<uint32_t, uint32_t>{32768, 32768}, {kLargestSide, kLargestSide}, {70000, 70000}}) {
    e2e::TempDir dir;
    std::ofstream(dir.file("huge.tif"), std::ios::binary) << truncatedTiff(w, h);
    for (const Program& p : kPrograms) expectRefused(p, dir, "huge.tif", "\"huge.tif\": ");
  }
}

TEST(Limits, TheLargestAcceptedPixelCountIsConverted) {
  if (!std::getenv("TARVEL_HUGE_TESTS")) GTEST_SKIP() << "set TARVEL_HUGE_TESTS=1 to convert a 2^30-sample scan";
  e2e::TempDir dir;
  cv::Mat scan(32768, 32768, CV_8UC1, cv::Scalar(0));
  scan(cv::Rect(1000, 4000, 30000, 24000)).setTo(cv::Scalar(200));
  ASSERT_TRUE(cv::imwrite(dir.file("largest.tif"), scan, {cv::IMWRITE_TIFF_COMPRESSION, 8}));
  scan.release();
  for (const Program& p : kPrograms) expectConverted(p, dir);
}
