// Scans far smaller than a strip must still go through every stage without
// reading or writing outside an image or a profile (the sanitizer build
// checks the memory), giving ten frames whenever a pitch of 1 or more is
// measured.

#include "quad/stages.hpp"

#include <gtest/gtest.h>

#include <opencv2/core.hpp>

TEST(SmallScans, EveryStageCopesWithTinyScans) {
  cv::RNG rng(7);
  for (int channels : {1, 3})
    for (int rows = 1; rows <= 14; ++rows)
      for (int cols = 1; cols <= 14; ++cols) {
        SCOPED_TRACE(testing::Message() << cols << " x " << rows << " x " << channels);
        cv::Mat scan(rows, cols, CV_8UC(channels));
        rng.fill(scan, cv::RNG::UNIFORM, 0, 256);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        shared::RunState run;
        shared::ScanRecord record;
        int frames = 0;
        const int status = quad::convertScan(scan, run, [&frames](const cv::Mat&, int copies) { frames += copies; }, record);
        const shared::StripGeometry& geometry = run.geometry;
        testing::internal::GetCapturedStdout();
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(frames, quad::framesCanBeCut(geometry) ? 10 : 0);
        EXPECT_EQ(status, quad::framesCanBeCut(geometry) ? 0 : 1);
      }
}
