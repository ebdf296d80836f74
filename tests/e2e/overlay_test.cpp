// --overlay DIR and --report FILE, for every program: a picture per scan
// and a report that change nothing else the run does, with each frame
// window drawn and reported where the printed lines put it in the loaded
// scan, the report's windows being the pixels the video shows; and a folder
// that cannot take the pictures refused before anything is read or written.

#include "overlay/picture.hpp"
#include "support/e2e.hpp"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;

// What one scan's lines say of its crop and its first window.
struct Found {
  int left = -1, right = -1, x = -1, n = -1;
};

std::vector<Found> scansOf(const std::string& out) {
  std::vector<Found> scans;
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    int v = 0;
    if (line.rfind("scan_", 0) == 0) scans.emplace_back();
    if (scans.empty()) continue;
    Found& f = scans.back();
    if (std::sscanf(line.c_str(), "frameCorrection x=%d", &v) == 1) f.left = v;
    if (std::sscanf(line.c_str(), "frameCorrection%*1d y=%d", &v) == 1) f.right = v;
    if (std::sscanf(line.c_str(), "x= %d", &v) == 1) f.x = v;
    if (std::sscanf(line.c_str(), "N=%d", &v) == 1) f.n = v;
  }
  return scans;
}

// The first window in loaded-scan pixels, from the lines, undoing the turn:
// four-frame scans were turned counter-clockwise, gray single-frame scans
// clockwise, colour ones transposed.
cv::Rect firstWindow(const Found& f, const cv::Mat& scan, bool quad, cv::Size window) {
  const int croppedWidth = f.right - f.left + 1;
  if (quad) return {f.left + croppedWidth - f.x - window.height, f.n, window.height, window.width};
  if (scan.channels() == 1) return {f.left + f.x, scan.rows - f.n - window.width, window.height, window.width};
  return {f.left + f.x, f.n, window.height, window.width};
}

cv::Rect rectOf(const nlohmann::json& w) {
  return {w.at("x").get<int>(), w.at("y").get<int>(), w.at("width").get<int>(), w.at("height").get<int>()};
}

// A rectangle of the scan as the video shows it: black outside the scan,
// turned as the program turns the strip, scaled to the video's size.
cv::Mat asShown(const cv::Mat& scan, cv::Rect r, bool quad) {
  cv::Mat cut(r.size(), scan.type(), cv::Scalar::all(0));
  const cv::Rect inside = r & cv::Rect(0, 0, scan.cols, scan.rows);
  if (!inside.empty()) scan(inside).copyTo(cut(inside - r.tl()));
  cv::Mat turned, shown, colour;
  if (quad) cv::rotate(cut, turned, cv::ROTATE_90_COUNTERCLOCKWISE);
  else if (scan.channels() == 1) cv::rotate(cut, turned, cv::ROTATE_90_CLOCKWISE);
  else cv::transpose(cut, turned);
  cv::resize(turned, shown, cv::Size(640, 480), 0, 0, cv::INTER_CUBIC);
  if (shown.channels() == 3) return shown;
  cv::cvtColor(shown, colour, cv::COLOR_GRAY2BGR);
  return colour;
}

// Three generated scans: gray bright, gray dark, colour bright.
class Overlay : public e2e::ProgramTest {
 protected:
  void SetUp() override {
    e2e::makeScans(folder.path, GetParam().kind, 3, {"--channels", "mixed", "--film", "mixed", "--seed", "9"});
  }
};

TEST_P(Overlay, PicturesChangeNothingElseAndShowTheWindowsWhereTheLinesPutThem) {
  const auto plain = run(std::vector<std::string>{});
  const std::string plainVideo = e2e::readFile(video());
  const auto drawn = run({"--overlay", folder.file("pictures/of/run"), "--report", folder.file("run.json")});
  EXPECT_EQ(drawn.status, plain.status);
  EXPECT_EQ(drawn.out, plain.out);
  EXPECT_EQ(drawn.err, plain.err);
  EXPECT_EQ(e2e::readFile(video()), plainVideo);

  const bool quad = std::string(GetParam().kind) == "quad";
  const std::vector<Found> scans = scansOf(drawn.out);
  ASSERT_EQ(scans.size(), 3u);
  const nlohmann::json report = nlohmann::json::parse(e2e::readFile(folder.file("run.json")));
  EXPECT_EQ(report.at("status"), 0);
  ASSERT_EQ(report.at("scans").size(), 3u);
  const std::vector<cv::Mat> frames = e2e::decodeFrames(video());
  ASSERT_EQ(frames.size(), 3u * GetParam().framesPerScan);
  size_t frame = 0;
  const cv::Size window = quad ? cv::Size(249, 270) : cv::Size(745, 539);  // the generator's pitch of 270
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(testing::Message() << "scan " << i + 1);
    const std::string name = "scan_00" + std::to_string(i + 1);
    const cv::Mat picture = cv::imread(folder.file("pictures/of/run/" + name + ".png"), cv::IMREAD_COLOR);
    ASSERT_EQ(picture.size(), cv::Size(overlay::kPictureWidth, overlay::kPictureHeight));
    const cv::Mat scan = cv::imread(folder.file(name + ".tif"), cv::IMREAD_ANYCOLOR);
    const cv::Rect w = firstWindow(scans[i], scan, quad, window);
    const nlohmann::json& reported = report.at("scans").at(i);
    EXPECT_EQ(reported.at("name"), name + ".tif");
    ASSERT_EQ(reported.at("windows").size(), quad ? 4u : 1u);
    EXPECT_EQ(rectOf(reported.at("windows").at(0)), w);
    for (const nlohmann::json& shown : reported.at("windows")) {
      const cv::Mat expected = asShown(scan, rectOf(shown), quad);
      for (int copy = 0; copy < shown.at("copies").get<int>(); ++copy)
        EXPECT_TRUE(e2e::imagesAgree(frames.at(frame++), expected, 30)) << "video frame " << frame - 1;
    }
    const overlay::ScanPlacement place = overlay::placeScan(scan.size());
    for (const cv::Point corner : {w.tl(), w.br(), cv::Point(w.x, w.br().y), cv::Point(w.br().x, w.y)}) {
      // The first window is outlined in green, two pixels wide.
      const cv::Point at = place.at(corner.x, corner.y);
      cv::Mat near = picture(cv::Rect(at - cv::Point(2, 2), cv::Size(5, 5)));
      cv::Mat green;
      cv::inRange(near, cv::Scalar(0, 250, 0), cv::Scalar(5, 255, 5), green);
      EXPECT_GT(cv::countNonZero(green), 0) << "corner " << corner << " drawn at " << at;
    }
  }
}

TEST_P(Overlay, AFolderThatCannotTakePicturesIsRefusedBeforeAnyScan) {
  std::ofstream(folder.file("plain-file")) << "not a folder";
  const auto r = run({"--overlay", folder.file("plain-file/pictures")});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("cannot write pictures into the folder"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(video()));
}

// A picture that cannot be written is a failure at the end; the video is whole.
TEST_P(Overlay, APictureThatCannotBeWrittenFailsTheRunAfterTheVideo) {
  fs::create_directories(folder.file("pictures/scan_001.png"));
  const auto r = run({"--overlay", folder.file("pictures")});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("scan_001.png"), std::string::npos) << r.err;
  EXPECT_TRUE(fs::exists(folder.file("pictures/scan_002.png")));
  const e2e::VideoInfo info = e2e::probeVideo(video());
  EXPECT_EQ(info.frames, 3 * GetParam().framesPerScan);
}

INSTANTIATE_TEST_SUITE_P(Programs, Overlay, testing::ValuesIn(e2e::kPrograms), e2e::programName);

}  // namespace
