// The videos of the single-frame programs as a player sees them: container
// and codec, size, rate, frame count, and every frame close to the window
// its scan should give, in scan order.

#include "single_scans.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

using namespace single_scans;

// Frames decode at about 32 dB (colour) and 38 dB (gray); a window three
// pixels off gives about 25 to 28 dB, blue and red swapped about 15 dB.
constexpr double kMinPsnr = 30.0;

struct Build {
  const char* program;
  const char* codecTag;
};

void PrintTo(const Build& build, std::ostream* os) { *os << build.program; }

class SingleVideo : public testing::TestWithParam<Build> {
 protected:
  e2e::RunResult run() { return e2e::runProgram(e2e::programPath(GetParam().program), folder.path); }
  e2e::TempDir folder;
};

void expectFrames(const std::string& video, const std::vector<std::pair<int, int>>& seedsAndChannels) {
  const std::vector<cv::Mat> frames = e2e::decodeFrames(video);
  ASSERT_EQ(frames.size(), seedsAndChannels.size());
  for (size_t i = 0; i < frames.size(); ++i) {
    const auto [seed, channels] = seedsAndChannels[i];
    EXPECT_GT(e2e::psnr(frames[i], expectedFrame(seed, channels)), kMinPsnr) << "frame " << i;
    // The neighbouring scan's window must not fit as well: frame order shows.
    const auto [otherSeed, otherChannels] = seedsAndChannels[(i + 1) % frames.size()];
    if (frames.size() > 1) {
      EXPECT_LT(e2e::psnr(frames[i], expectedFrame(otherSeed, otherChannels)), kMinPsnr) << "frame " << i;
    }
  }
}

TEST_P(SingleVideo, ThreeScansGiveThreeFramesOfTheirWindowsInListingOrder) {
  // Listed by name regardless of letter case: b.TIF before C.tif.
  writeScan(folder.file("C.tif"), 7, 3);
  writeScan(folder.file("a.tif"), 5, 1);
  writeScan(folder.file("b.TIF"), 6, 3);
  ASSERT_EQ(run().status, 0);
  const e2e::VideoInfo info = e2e::probeVideo(folder.file("video.avi"));
  EXPECT_EQ(info.codecTag, GetParam().codecTag);
  EXPECT_EQ(info.width, 640);
  EXPECT_EQ(info.height, 480);
  EXPECT_EQ(info.frameRate, "25/1");
  EXPECT_EQ(info.frames, 3);
  expectFrames(folder.file("video.avi"), {{5, 1}, {6, 3}, {7, 3}});
}

TEST_P(SingleVideo, LoadFailureLeavesAFinishedVideoOfTheFramesBeforeIt) {
  writeScan(folder.file("a.tif"), 1, 3);
  writeScan(folder.file("b.tif"), 2, 1);
  std::ofstream(folder.file("c.tif")) << "not an image";
  writeScan(folder.file("d.tif"), 4, 3);
  ASSERT_EQ(run().status, 1);
  EXPECT_EQ(e2e::probeVideo(folder.file("video.avi")).frames, 2);
  expectFrames(folder.file("video.avi"), {{1, 3}, {2, 1}});
}

TEST_P(SingleVideo, TwelveScansGiveTheFirstTenFrames) {
  std::vector<std::pair<int, int>> expected;
  for (int i = 1; i <= 12; ++i) {
    writeScan(folder.file("s" + std::to_string(100 + i) + ".tif"), i, 3);
    if (i <= 10) expected.push_back({i, 3});
  }
  ASSERT_EQ(run().status, 0);
  EXPECT_EQ(e2e::probeVideo(folder.file("video.avi")).frames, 10);
  expectFrames(folder.file("video.avi"), expected);
}

INSTANTIATE_TEST_SUITE_P(BothBuilds, SingleVideo,
                         testing::Values(Build{"tarvel1m", "MP42"}, Build{"tarvel1d", "DIVX"}),
                         [](const auto& info) { return std::string(info.param.program); });

TEST(SingleVideoMp42, SecondVideoNeverReceivesAFrame) {
  e2e::TempDir folder;
  writeScan(folder.file("a.tif"), 1, 3);
  writeScan(folder.file("b.tif"), 2, 1);
  ASSERT_EQ(e2e::runProgram(e2e::programPath("tarvel1m"), folder.path).status, 0);
  const e2e::VideoInfo second = e2e::probeVideo(folder.file("video3.avi"));
  EXPECT_EQ(second.codecTag, "MP42");
  EXPECT_EQ(second.frames, 0);
  EXPECT_EQ(e2e::probeVideo(folder.file("video.avi")).frames, 2);
}

TEST(SingleVideoDivx, MakesNoSecondVideo) {
  e2e::TempDir folder;
  writeScan(folder.file("a.tif"), 1, 3);
  ASSERT_EQ(e2e::runProgram(e2e::programPath("tarvel1d"), folder.path).status, 0);
  EXPECT_FALSE(std::filesystem::exists(folder.file("video3.avi")));
}

}  // namespace
