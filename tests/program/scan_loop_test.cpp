// The scan loop: its lines, the limit, a scan that will not load, and a
// handler's own stop.

#include "program/scan_loop.hpp"
#include "support/e2e.hpp"

#include <gtest/gtest.h>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

TEST(ScanLoop, StopsAtTheLimitAndAtAScanThatWillNotLoad) {
  e2e::TempDir dir;
  // Each scan holds its own number, so a scan loaded ahead cannot be handed to the wrong turn.
  int value = 0;
  for (const char* name : {"a.tif", "b.tif", "c.tif"})
    ASSERT_TRUE(cv::imwrite(dir.file(name), cv::Mat(3, 3, CV_8UC1, cv::Scalar(++value))));
  std::vector<int> seen;
  auto handler = [&](cv::Mat scan, const std::string& name, program::ScanPlace) {
    const int number = name[0] - 'a' + 1;
    EXPECT_EQ(scan.at<std::uint8_t>(0, 0), number);
    seen.push_back(number);
    return 0;
  };
  std::vector<std::string> notLoaded;
  std::string out;
  // The loop's own lines (name lines, load messages) are what it prints.
  const auto loop = [&](int maxScans, const program::ScanHandler& handle) {
    const fs::path before = fs::current_path();
    fs::current_path(dir.path);
    testing::internal::CaptureStdout();
    const program::LoopResult result = program::runScanLoop(
        maxScans, {handle, [&](const std::string& name, const std::string&) { notLoaded.push_back(name); }, {}});
    std::fflush(stdout);
    out = testing::internal::GetCapturedStdout();
    fs::current_path(before);
    return result;
  };
  program::LoopResult r = loop(2, handler);
  EXPECT_EQ(out, "a.tif       \nb.tif       \n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.end, program::LoopEnd::Limit);
  EXPECT_EQ(r.scansLeft, 1);
  EXPECT_EQ(seen, (std::vector<int>{1, 2}));

  std::ofstream(dir.file("b.tif"), std::ios::trunc) << "broken";
  testing::internal::CaptureStderr();
  r = loop(10, handler);
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(out, "a.tif       \nb.tif       \nCould not load image file: b.tif\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.end, program::LoopEnd::NotLoaded);
  EXPECT_EQ(notLoaded, (std::vector<std::string>{"b.tif"}));

  // A handler's own stop ends the loop with its status.
  r = loop(10, [](cv::Mat, const std::string&, program::ScanPlace) { return 7; });
  EXPECT_EQ(out, "a.tif       \n");
  EXPECT_EQ(r.status, 7);
  EXPECT_EQ(r.end, program::LoopEnd::Handler);
}
