// What a run leaves in the folder however it ends: a killed run keeps the
// earlier video byte for byte, two runs at once both finish whole, and a
// failed run still reports why it ended.

#include "support/e2e.hpp"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <future>

namespace {

namespace fs = std::filesystem;

class Outputs : public e2e::ProgramTest {
 protected:
  // Five large colour scans: slow enough to be killed at several moments.
  void copyLargeScans() {
    e2e::copyFiles(e2e::generatedScans(GetParam().kind, 5, {"--channels", "3", "--scale", "2", "--seed", "4"}),
                   folder.path);
  }
  std::vector<std::string> hiddenFiles() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder.path))
      if (entry.path().filename().string()[0] == '.') names.push_back(entry.path().filename().string());
    return names;
  }
};

// The moments span the start (the writers opening), the scans and the end.
TEST_P(Outputs, AKilledRunLeavesTheEarlierVideoByteForByte) {
  copyLargeScans();
  ASSERT_EQ(run().status, 0);
  const std::string earlier = e2e::readFile(video());
  for (const int ms : {5, 30, 120, 400, 900, 1600}) {
    e2e::RunOptions options;
    options.stopSignal = SIGKILL;
    options.signalAfterMs = ms;
    run(options);
    EXPECT_EQ(e2e::readFile(video()), earlier) << "killed after " << ms << " ms";
  }
  // The next run takes away what the killed ones left.
  ASSERT_EQ(run().status, 0);
  EXPECT_EQ(hiddenFiles(), std::vector<std::string>{});
}

TEST_P(Outputs, AFailedRunReportsWhyItEnded) {
  e2e::copyFiles(e2e::generatedScans(GetParam().kind, 1, {"--seed", "4"}), folder.path);
  std::ofstream(folder.file("zz.tif")) << "not an image";
  const e2e::RunResult r = run({"--report", "report.json"});
  EXPECT_EQ(r.status, 1);
  const nlohmann::json report = nlohmann::json::parse(e2e::readFile(folder.file("report.json")));
  EXPECT_EQ(report.at("status"), 1);
  EXPECT_EQ(report.at("ended"), "scan not loaded");
  ASSERT_EQ(report.at("scans").size(), 2u);
  EXPECT_EQ(report.at("scans").at(0).at("status"), "converted");
  EXPECT_EQ(report.at("scans").at(1).at("name"), "zz.tif");
  EXPECT_EQ(report.at("scans").at(1).at("status"), "not loaded");
  EXPECT_EQ(report.at("videos").at(0).at("frames"), GetParam().framesPerScan);
  EXPECT_EQ(report.at("errors").size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Programs, Outputs, testing::ValuesIn(e2e::kPrograms), e2e::programName);

// tarvel1m and tarvel1d write video.avi in one folder at the same time;
// drawing pictures slows tarvel1m, so that tarvel1d finishes while it writes.
TEST(TwoRuns, InOneFolderBothEndWithAWholeVideo) {
  e2e::TempDir folder;
  e2e::copyFiles(e2e::generatedScans("single", 5, {"--channels", "3", "--scale", "2", "--seed", "4"}), folder.path);
  for (int attempt = 0; attempt < 3; ++attempt) {
    auto runOf = [&](const char* program, std::vector<std::string> args) {
      return std::async(std::launch::async, [&folder, program, args] {
        e2e::RunOptions options;
        options.args = args;
        return e2e::runProgram(e2e::programPath(program), folder.path, options);
      });
    };
    auto m = runOf("tarvel1m", {"--overlay", "pictures"}), d = runOf("tarvel1d", {});
    const e2e::RunResult first = m.get(), second = d.get();
    EXPECT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(second.status, 0) << second.err;
    const e2e::VideoInfo info = e2e::probeVideo(folder.file("video.avi"));
    EXPECT_EQ(info.frames, 5);
    EXPECT_EQ(info.headerFrames, 5);
  }
}

}  // namespace
