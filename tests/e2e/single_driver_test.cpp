// The single-frame programs run in a folder: what they print, byte for byte,
// and how they end.

#include "single_scans.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

using namespace single_scans;

class SingleDriver : public testing::TestWithParam<const char*> {
 protected:
  e2e::RunResult run(const std::vector<std::string>& args = {}) {
    return e2e::runProgram(e2e::programPath(GetParam()), folder.path, args);
  }
  std::string scanName(int i) const { return "scan" + std::string(i < 10 ? "0" : "") + std::to_string(i) + ".tif"; }
  void addScans(int count) {
    for (int i = 1; i <= count; ++i) writeScan(folder.file(scanName(i)), i, i % 2 ? 3 : 1);
  }
  std::string linesOfScans(int count) const {
    std::string out;
    for (int i = 1; i <= count; ++i) out += nameLine(scanName(i)) + scanLines(i == 1);
    return out;
  }
  e2e::TempDir folder;
};

TEST_P(SingleDriver, EmptyFolderSaysSoAndEndsNormally) {
  const e2e::RunResult r = run();
  EXPECT_EQ(r.out, "No tif file in directory");
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(std::filesystem::exists(folder.file("video.avi")));  // writers come before the listing
}

TEST_P(SingleDriver, ThreeScansPrintTheirLinesThenNoTifFile) {
  addScans(3);
  const e2e::RunResult r = run();
  EXPECT_EQ(r.out, linesOfScans(3) + "No tif file");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
}

TEST_P(SingleDriver, TwelveScansStopAfterTheTenthWithoutAMessage) {
  addScans(12);
  const e2e::RunResult r = run();
  EXPECT_EQ(r.out, linesOfScans(10));
  EXPECT_EQ(r.status, 0);
}

TEST_P(SingleDriver, UnloadableScanEndsTheRunWithStatusOne) {
  addScans(2);
  std::ofstream(folder.file("scan03.tif")) << "not an image";
  writeScan(folder.file("scan04.tif"), 4, 3);
  const e2e::RunResult r = run();
  EXPECT_EQ(r.out, linesOfScans(2) + nameLine("scan03.tif") + "Could not load image file: scan03.tif\n");
  EXPECT_EQ(r.status, 1);
}

TEST_P(SingleDriver, AFolderNamedLikeAScanIsTakenAndFailsToLoad) {
  std::filesystem::create_directory(folder.file("x.tif"));
  const e2e::RunResult r = run();
  EXPECT_EQ(r.out, "x.tif       \nCould not load image file: x.tif\n");
  EXPECT_EQ(r.status, 1);
}

TEST_P(SingleDriver, VideoThatCannotBeCreatedStopsBeforeAnyScan) {
  addScans(1);
  std::filesystem::create_directory(folder.file("video.avi"));
  const e2e::RunResult r = run();
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("video.avi"), std::string::npos);
}

TEST_P(SingleDriver, HelpAndVersionLeaveTheFolderAlone) {
  addScans(1);
  for (const char* option : {"--help", "--version"}) {
    const e2e::RunResult r = run({option});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find(GetParam()), std::string::npos) << option;
    EXPECT_FALSE(std::filesystem::exists(folder.file("video.avi"))) << option;
  }
}

INSTANTIATE_TEST_SUITE_P(BothBuilds, SingleDriver, testing::Values("tarvel1m", "tarvel1d"));

TEST(SingleDriverMp42, SecondVideoThatCannotBeCreatedStopsBeforeAnyScan) {
  e2e::TempDir folder;
  writeScan(folder.file("a.tif"), 1, 3);
  std::filesystem::create_directory(folder.file("video3.avi"));
  const e2e::RunResult r = e2e::runProgram(e2e::programPath("tarvel1m"), folder.path);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("video3.avi"), std::string::npos);
}

}  // namespace
