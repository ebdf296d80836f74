// Faults of the machine and the folder, for every program: each is reported
// on standard error with a failing status, standard output stays as it would
// be, and a video that exists afterwards is finished (its header counts the
// frames a player decodes).

#include "support/e2e.hpp"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

class Faults : public e2e::ProgramTest {
 protected:
  // The scans of a set ("one": a small scan; "large": five slow enough to be
  // stopped mid-run), each name with `prefix` before it.
  void copyScans(const std::string& set, const std::string& prefix = "") {
    const bool one = set == "one";
    e2e::copyFiles(e2e::generatedScans(GetParam().kind, one ? 1 : 5,
                                       {"--channels", "3", "--scale", one ? "1" : "2", "--seed", "4"}),
                   folder.path, prefix);
  }

  // Finished: ffprobe reads it without error and its header counts the frames decoded.
  int finishedFrames() {
    const e2e::VideoInfo info = e2e::probeVideo(video());
    EXPECT_TRUE(info.readable);
    EXPECT_EQ(info.headerFrames, info.frames);
    return info.frames;
  }
};

TEST_P(Faults, AVideoCutShortByAFullDiskIsAFailure) {
  copyScans("one", "a");
  copyScans("one", "b");
  const auto whole = run();
  e2e::RunOptions options;
  options.fileSizeLimit = 16 * 1024;  // the header and part of the first frame
  const auto cut = run(options);
  EXPECT_EQ(cut.status, 1);
  EXPECT_EQ(cut.out, whole.out);
  EXPECT_NE(cut.err.find(std::string("\"") + GetParam().video + "\" did not reach the disk whole: File too large"),
            std::string::npos)
      << cut.err;
}

TEST_P(Faults, AFifoNamedLikeAScanFailsToLoadWithoutBlocking) {
  copyScans("one");
  const auto alone = run();
  ASSERT_EQ(mkfifo(folder.file("x.tif").c_str(), 0600), 0);  // loaded ahead while the first is cut
  const auto r = run();
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, alone.out.substr(0, alone.out.size() - 11) + e2e::failedLoad("x.tif"));
  EXPECT_NE(r.err.find("\"x.tif\": it is not a regular file but a FIFO"), std::string::npos) << r.err;
  EXPECT_EQ(finishedFrames(), GetParam().framesPerScan);
}

TEST_P(Faults, AStopSignalFinishesTheVideoWithTheScansConverted) {
  copyScans("large");
  const auto whole = run();
  fs::remove(video());
  e2e::RunOptions options;
  options.stopSignal = GetParam().stopSignal;
  // The handlers are in place before the video's file is made.
  options.signalOnceExists = std::string(".") + GetParam().video + ".partial-";
  const auto stopped = run(options);
  EXPECT_EQ(stopped.status, 128 + GetParam().stopSignal);
  EXPECT_NE(stopped.err.find("stopped by SIG"), std::string::npos) << stopped.err;
  const int frames = finishedFrames();
  ASSERT_EQ(frames % GetParam().framesPerScan, 0);
  const int scans = frames / GetParam().framesPerScan;
  ASSERT_LT(scans, 5) << "the run ended before the signal came";
  char next[32];
  std::snprintf(next, sizeof next, "scan_%03d.tif", scans + 1);
  EXPECT_EQ(stopped.out, whole.out.substr(0, whole.out.find(e2e::nameLine(next))));
}

#if !defined(__SANITIZE_ADDRESS__)  // the sanitizer's shadow memory needs more address space than any limit here
TEST_P(Faults, MemoryRunningOutEndsTheRunLikeALoadFailure) {
  copyScans("large");
  bool ranOut = false;
  for (long megabytes = 280; megabytes <= 520; megabytes += 40) {
    e2e::RunOptions options;
    options.addressSpaceLimit = megabytes << 20;
    const auto r = run(options);
    if (r.status == 127) continue;  // too little to start the program at all
    SCOPED_TRACE(testing::Message() << megabytes << " MB: " << r.err);
    ASSERT_TRUE(r.status == 0 || r.status == 1);
    if (r.status == 1) {
      EXPECT_NE(r.err.find(GetParam().name), std::string::npos);
      // A good scan that fails to load for want of memory is not blamed.
      if (r.out.find("Could not load") != std::string::npos) {
        EXPECT_NE(r.err.find("memory ran out"), std::string::npos);
      }
      ranOut = true;
    }
    if (fs::exists(video())) finishedFrames();
    fs::remove(video());
  }
  EXPECT_TRUE(ranOut) << "no limit tried made memory run out";
}
#endif

TEST_P(Faults, AFolderThatCannotBeListedIsAFailure) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run as another user";
  copyScans("one");
  const auto r = runUnprivileged(0333);  // others may enter and write, not read
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "No tif file in directory");
  EXPECT_NE(r.err.find("cannot list the scans of the current folder: Permission denied"), std::string::npos);
  EXPECT_EQ(finishedFrames(), 0);
}

TEST_P(Faults, StandardOutputThatCannotBeWrittenIsAFailureAfterTheVideo) {
  copyScans("one");
  for (const bool closedPipe : {false, true}) {
    e2e::RunOptions options;
    options.stdoutPath = "/dev/full";
    options.stdoutClosedPipe = closedPipe;
    const auto r = run(options);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(closedPipe ? "standard output: Broken pipe" : "standard output: No space left"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(finishedFrames(), GetParam().framesPerScan);
  }
}

// Unknown options and wrong values change nothing; other arguments are ignored with a note.
TEST_P(Faults, AnUnknownOptionOrAWrongValueIsAUsageErrorBeforeAnyFile) {
  copyScans("one");
  std::ofstream(video()) << "kept";
  const std::vector<std::string> kBad[] = {
      {"--bogus"},         {"--fps", "0"},           {"--fps", "fast"},       {"--fps", "24.0001"},
      {"--size", "641x480"}, {"--size", "640"},       {"--video", "v.mov"},    {"--video", "v.mp4", "--size", "8x8"},
      {"--report"},        {"--fps"}};
  for (const auto& args : kBad) {
    const auto bad = run(args);
    EXPECT_EQ(bad.status, 2) << args[0];
    EXPECT_EQ(bad.out, "");
    EXPECT_NE(bad.err.find("Usage: "), std::string::npos);
    EXPECT_NE(bad.err.find("--help"), std::string::npos);
  }
  EXPECT_EQ(e2e::readFile(video()), "kept");
  std::vector<std::string> files;
  for (const auto& entry : fs::directory_iterator(folder.path)) files.push_back(entry.path().filename().string());
  EXPECT_EQ(files.size(), 2u);  // the scan and the video

  const auto plain = run(), extra = run({"scans", "here"});
  EXPECT_EQ(extra.status, 0);
  EXPECT_EQ(extra.out, plain.out);
  EXPECT_NE(extra.err.find("ignoring 2 arguments"), std::string::npos);
}

// A name line prints the name as it is; a message on standard error escapes it.
TEST_P(Faults, MessagesEscapeControlCharactersInNames) {
  const std::string name = "bad\x1b[2J\n.tif";
  std::ofstream(folder.file(name)) << "not a scan";
  const auto r = run();
  EXPECT_EQ(r.out, e2e::failedLoad(name));
  EXPECT_NE(r.err.find("\"bad\\x1b[2J\\n.tif\": it is not an image the library decodes"), std::string::npos)
      << r.err;
}

INSTANTIATE_TEST_SUITE_P(Programs, Faults, testing::ValuesIn(e2e::kPrograms), e2e::programName);

}  // namespace
