// Every program run in a folder of synthetic strips: what it prints, byte for
// byte, how it ends, and its videos as a player sees them (container, codec,
// size, rate, and every frame close to the window its scan should give, in
// scan order).

#include "quad_strip.hpp"
#include "support/e2e.hpp"

#include <gtest/gtest.h>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <filesystem>
#include <fstream>
#include <set>

namespace {

namespace fs = std::filesystem;

// Frames decode at about 32 dB (colour) and 38 dB (gray); a window three
// pixels off gives about 25 to 28 dB, blue and red swapped about 15 dB.
constexpr double kMinPsnr = 30.0;

// One-frame strips, built turned (rows along the strip): 1000 columns by 800
// rows, black, with a textured bright picture area in rows 100 to 699 and
// columns 150 to 999 in blocks of 37 pixels coloured from the seed (every
// channel in [110, 250], red above 170). So the crop keeps the whole scan and
// the frame window starts at row 99 and column 149 + 40.
cv::Mat singleStrip(int seed, int channels) {
  cv::Mat strip(800, 1000, CV_8UC3, cv::Scalar::all(0));
  cv::RNG rng(seed);
  for (int r = 100; r < 700; r += 37)
    for (int c = 150; c < 1000; c += 37) {
      const cv::Rect block = cv::Rect(c, r, 37, 37) & cv::Rect(150, 100, 850, 600);
      strip(block).setTo(cv::Scalar(rng.uniform(110, 251), rng.uniform(110, 251), rng.uniform(171, 251)));
    }
  if (channels == 3) return strip;
  cv::Mat gray;
  cv::cvtColor(strip, gray, cv::COLOR_BGR2GRAY);
  return gray;
}

// Four-frame strips are all alike but for gray or colour: the default layout
// puts the left edge at column 10, the pitch at 280, the first window at row
// 59 and column 99.
cv::Mat quadStrip(int channels) {
  quadtest::StripLayout layout;
  layout.channels = channels;
  return quadtest::turnedStrip(layout);
}

// The synthetic scans of a kind: how one is written, the video frames it
// should give, and the lines it prints after its name line.
struct Strips {
  void (*write)(const std::string& path, int seed, int channels);
  std::vector<cv::Mat> (*frames)(int seed, int channels);
  std::string crop, calibration, windows;
};

const Strips kSingle{
    // Gray scans come turned a quarter counter-clockwise, colour scans transposed.
    [](const std::string& path, int seed, int channels) {
      const cv::Mat turned = singleStrip(seed, channels);
      cv::Mat scan;
      if (channels == 1) cv::rotate(turned, scan, cv::ROTATE_90_COUNTERCLOCKWISE);
      else cv::transpose(turned, scan);
      ASSERT_TRUE(cv::imwrite(path, scan));
    },
    [](int seed, int channels) {
      return std::vector<cv::Mat>{quadtest::expectedFrame(singleStrip(seed, channels), 99, 189, 539, 745)};
    },
    "frameCorrection x=0\nframeCorrection3 y=799\n",
    "Picture resolution (dpi) x=900,y=900\nsound_width = 71 image_length = 539 image_width = 744\n",
    "pro = 0.250000\nstr = 40 sto = 280\nod = 60 koniec = 330\nN = 189\nx= 99\ny = 637\nz=933\nN=189\n"};

const Strips kQuad{
    [](const std::string& path, int, int channels) {
      quadtest::StripLayout layout;
      layout.channels = channels;
      ASSERT_TRUE(cv::imwrite(path, quadtest::scanOfStrip(quadStrip(channels), layout)));
    },
    // Frame k of the scan, k = 1 to 4, appended 5 - k times.
    [](int, int channels) {
      const cv::Mat strip = quadStrip(channels);
      std::vector<cv::Mat> frames;
      for (int kk = 1; kk <= 4; ++kk)
        frames.insert(frames.end(), 5 - kk, quadtest::expectedFrame(strip, 59 + (kk - 1) * 279, 99, 280, 249));
      return frames;
    },
    "frameCorrection x=10\nframeCorrection2 y=1273\n",
    "Picture resolution (dpi) x=900,y=900\nmean = 134.756577\npro = 0.200000\npoczatek = 253.000000\n"
    "poczatek1 = 316.000000\npoczatek2 = 632.000000\npoczatek3 = 885.000000\n"
    "max1 = 86 max2 = 50 max3 = 14 max4 = 41\nmax1 = 85 max2 = 365 max3 = 645 max4 = 925\n"
    "maxmax = 280\nmaxmax = 280\nsound_width = 90 image_length = 1120 image_width = 248\n",
    "pro = 0.250000\nstr = 12 sto = 227\nod = 24 koniec = 132\nx= 59\ny = 1178\nz=347\nN=99\n"
    "kk = 1\nkk = 2\nkk = 2\nkk = 3\nkk = 3\nkk = 4\nkk = 4\n"};

struct Scan {
  std::string name;
  int seed;
  int channels;
};

class Driver : public e2e::ProgramTest {
 protected:
  const Strips& strips() const { return std::string(GetParam().kind) == "quad" ? kQuad : kSingle; }

  void write(const std::vector<Scan>& scans) const {
    for (const Scan& s : scans) strips().write(folder.file(s.name), s.seed, s.channels);
  }

  // Calibration and the resolution line come on the first scan only.
  std::string linesOf(const std::vector<Scan>& scans) const {
    std::string out;
    for (const Scan& s : scans)
      out += e2e::nameLine(s.name) + strips().crop + (&s == &scans[0] ? strips().calibration : "") + strips().windows;
    return out;
  }

  void expectVideo(const std::vector<Scan>& scans) const {
    const e2e::VideoInfo info = e2e::probeVideo(video());
    EXPECT_EQ(info.codecTag, GetParam().codec);
    EXPECT_EQ(info.width, 640);
    EXPECT_EQ(info.height, 480);
    EXPECT_EQ(info.frameRate, "25/1");
    std::vector<cv::Mat> expected;
    for (const Scan& s : scans) {
      const std::vector<cv::Mat> frames = strips().frames(s.seed, s.channels);
      expected.insert(expected.end(), frames.begin(), frames.end());
    }
    EXPECT_EQ(info.frames, static_cast<int>(expected.size()));
    const std::vector<cv::Mat> decoded = e2e::expectFrames(video(), expected, kMinPsnr);
    // A scan's last frame must not fit the next scan's first as well: scan order shows.
    const size_t perScan = GetParam().framesPerScan;
    for (size_t i = perScan - 1; expected.size() > 1 && i < decoded.size(); i += perScan)
      EXPECT_FALSE(e2e::imagesAgree(decoded[i], expected[(i + 1) % expected.size()], kMinPsnr)) << "frame " << i;
  }
};

TEST_P(Driver, EmptyFolderSaysSoAndEndsNormally) {
  const e2e::RunResult r = run();
  EXPECT_EQ(r.out, "No tif file in directory");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.err.find("has no frames"), std::string::npos) << r.err;
  EXPECT_TRUE(fs::exists(video()));
}

// Listed by name regardless of letter case (b.TIF before C.tif); a gray scan
// between two colour ones shows the frames stay in scan order. A second video
// is made and finished without a frame.
TEST_P(Driver, ThreeScansInListingOrder) {
  const std::vector<Scan> listed{{"a.tif", 5, 3}, {"b.TIF", 6, 1}, {"C.tif", 7, 3}};
  write({listed[2], listed[0], listed[1]});
  const e2e::RunResult r = run();
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, linesOf(listed) + "No tif file");
  EXPECT_EQ(r.err, "");
  expectVideo(listed);
  std::set<std::string> videos{GetParam().video}, made;
  if (*GetParam().secondVideo) videos.insert(GetParam().secondVideo);
  for (const auto& entry : fs::directory_iterator(folder.path))
    if (entry.path().extension() == ".avi") made.insert(entry.path().filename().string());
  EXPECT_EQ(made, videos);
  if (*GetParam().secondVideo) {
    const e2e::VideoInfo second = e2e::probeVideo(folder.file(GetParam().secondVideo));
    EXPECT_EQ(second.codecTag, GetParam().codec);
    EXPECT_EQ(second.frames, 0);
  }
}

// Gray and colour in turn, gray first (the other runs start with colour).
TEST_P(Driver, ScansPastTheLimitAreLeftWithANote) {
  std::vector<Scan> scans;
  for (int i = 1; i <= GetParam().scanLimit + 2; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "scan_%03d.tif", i);
    scans.push_back({name, i, i % 2 ? 1 : 3});
  }
  write(scans);
  scans.resize(GetParam().scanLimit);
  const e2e::RunResult r = run();
  EXPECT_EQ(r.out, linesOf(scans));
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.err.find("2 left unread: at most " + std::to_string(GetParam().scanLimit) +
                       " a run; --all converts every scan"),
            std::string::npos)
      << r.err;
  expectVideo(scans);
}

// --all, --video, --fps and --size, as ffprobe and GStreamer see the video.
TEST_P(Driver, VideoOptionsGiveTheVideoAskedFor) {
  const struct {
    std::vector<std::string> args;
    std::string file, codec;  // file "": the program's own; codec "": its own FourCC, else the codec's name
    int width, height;
    const char* rate;
  } kCases[] = {
      {{"--all", "--fps", "18"}, "", "", 640, 480, "18/1"},
      {{"--all", "--video", "v.mp4", "--size", "320x240", "--fps", "23.976"}, "v.mp4", "h264", 320, 240, "2997/125"},
      {{"--all", "--video", "v.mkv", "--size", "1280x720"}, "v.mkv", "ffv1", 1280, 720, "25/1"},
  };
  const int count = GetParam().scanLimit + 1;
  for (int i = 1; i <= count; ++i) write({{"scan_" + std::to_string(100 + i) + ".tif", i, 3}});
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    const e2e::RunResult r = run(c.args);
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string file = folder.file(c.file.empty() ? GetParam().video : c.file);
    const e2e::VideoInfo info = e2e::probeVideo(file);
    EXPECT_EQ(c.codec.empty() ? info.codecTag : info.codec, c.codec.empty() ? GetParam().codec : c.codec);
    EXPECT_EQ(cv::Size(info.width, info.height), cv::Size(c.width, c.height));
    EXPECT_EQ(info.frameRate, c.rate);
    EXPECT_EQ(info.frames, count * GetParam().framesPerScan);
    EXPECT_TRUE(e2e::playsInGstreamer(file));
  }
}

// The frames before it stay in a finished video; the run reports failure.
TEST_P(Driver, UnloadableScanEndsTheRunWithStatusOne) {
  const std::vector<Scan> good{{"a.tif", 1, 3}, {"b.tif", 2, 1}};
  write(good);
  std::ofstream(folder.file("c.tif")) << "not an image";
  write({{"d.tif", 4, 3}});
  const e2e::RunResult r = run();
  EXPECT_EQ(r.out, linesOf(good) + e2e::failedLoad("c.tif"));
  EXPECT_EQ(r.status, 1);
  expectVideo(good);
}

// A folder in a video's place: no scan is read, status 1.
TEST_P(Driver, VideoThatCannotBeCreatedStopsBeforeAnyScan) {
  write({{"a.tif", 1, 3}});
  for (const std::string blocked : {GetParam().video, GetParam().secondVideo}) {
    if (blocked.empty()) continue;
    SCOPED_TRACE(blocked);
    fs::remove_all(video());
    if (*GetParam().secondVideo) fs::remove_all(folder.file(GetParam().secondVideo));
    fs::create_directory(folder.file(blocked));
    const e2e::RunResult r = run();
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(blocked), std::string::npos) << r.err;
  }
}

TEST_P(Driver, HelpAndVersionLeaveTheFolderAlone) {
  write({{"a.tif", 1, 3}});
  std::string help;
  for (const char* option : {"--help", "--version"}) {
    const e2e::RunResult r = run({option});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find(GetParam().name), std::string::npos) << option;
    EXPECT_FALSE(fs::exists(video())) << option;
    if (help.empty()) help = r.out;
  }
  for (const char* says : {GetParam().video, "Standard error", "128+N", "(1)"})
    EXPECT_NE(help.find(says), std::string::npos) << says;
}

INSTANTIATE_TEST_SUITE_P(Programs, Driver, testing::ValuesIn(e2e::kPrograms), e2e::programName);

// The frames of one scan differ enough for a wrong window or order to fail.
TEST(Tarvel4, ExpectedFramesAreTellableApart) {
  const std::vector<cv::Mat> colour = kQuad.frames(0, 3), gray = kQuad.frames(0, 1);
  for (int i : {3, 6, 8}) EXPECT_FALSE(e2e::imagesAgree(colour[i], colour[i + 1], kMinPsnr - 10)) << i;
  EXPECT_FALSE(e2e::imagesAgree(colour[0], gray[0], kMinPsnr - 10));
}

// A 4 x 3 scan measures a pitch of 0: the calibration lines, then the run stops.
TEST(Tarvel4, PitchBelowOneStopsAfterCalibration) {
  e2e::TempDir dir;
  ASSERT_TRUE(cv::imwrite(dir.file("tiny.tif"), cv::Mat(3, 4, CV_8UC1, cv::Scalar(90))));
  kQuad.write(dir.file("zz.tif"), 0, 3);
  const e2e::RunResult r = e2e::runProgram(e2e::programPath("tarvel4"), dir.path);
  EXPECT_EQ(r.status, 1);
  const std::string tail = "maxmax = 0\nmaxmax = 0\nsound_width = 90 image_length = 0 image_width = 248\n";
  ASSERT_GE(r.out.size(), tail.size());
  EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail);
  EXPECT_EQ(r.out.find("zz.tif"), std::string::npos);
  EXPECT_NE(r.err.find("frame pitch"), std::string::npos);
  EXPECT_EQ(e2e::probeVideo(dir.file("video3.avi")).frames, 0);
}

}  // namespace
