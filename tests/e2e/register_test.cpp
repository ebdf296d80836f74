// --register end to end, for every program, on film-true scans: the windows
// the lines print and the report gives are right on the film's pictures, the
// video shows them turned as without the option, and a scan without
// perforations is cut as without it, with a warning.

#include "film.h"
#include "film_truth.h"
#include "support/e2e.hpp"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

using nlohmann::json;

// A reported window's corners: its rectangle turned by its tilt about its centre.
std::array<cv::Point2d, 4> cornersOf(const json& w) {
  const double x = w.at("x"), y = w.at("y"), width = w.at("width"), height = w.at("height");
  const double angle = w.at("tilt").get<double>() * CV_PI / 180;
  const cv::Point2d centre(x + width / 2 - 0.5, y + height / 2 - 0.5);
  const cv::Point2d a = cv::Point2d(std::cos(angle), std::sin(angle)) * (width / 2);
  const cv::Point2d n = cv::Point2d(-std::sin(angle), std::cos(angle)) * (height / 2);
  return {centre - a - n, centre + a - n, centre + a + n, centre - a + n};
}

cv::Point2d centreOf(const scangen::PictureTruth& p) { return (p.corners[0] + p.corners[2]) * 0.5; }

// The pictures a program should cut: the whole one nearest the middle, or
// four from the first whole one down the turned strip (right to left).
std::vector<scangen::PictureTruth> expected(const scangen::FilmScan& scan, bool quad) {
  std::vector<scangen::PictureTruth> pictures = scan.pictures;
  const cv::Point2d middle(scan.image.cols / 2.0, scan.image.rows / 2.0);
  if (!quad) {
    std::vector<scangen::PictureTruth> whole;
    std::copy_if(pictures.begin(), pictures.end(), std::back_inserter(whole), [](const auto& p) { return p.whole; });
    return {*std::min_element(whole.begin(), whole.end(), [&](const auto& a, const auto& b) {
      return cv::norm(centreOf(a) - middle) < cv::norm(centreOf(b) - middle);
    })};
  }
  std::sort(pictures.begin(), pictures.end(), [](const auto& a, const auto& b) { return centreOf(a).x > centreOf(b).x; });
  const auto first = std::find_if(pictures.begin(), pictures.end(), [](const auto& p) { return p.whole; });
  return {first, first + std::min<long>(4, pictures.end() - first)};
}

// The window as the video shows it: cut upright, turned as the program turns its strip, scaled.
cv::Mat asShown(const cv::Mat& scan, const json& w, bool quad) {
  const std::array<cv::Point2d, 4> c = cornersOf(w);
  const int width = w.at("width"), height = w.at("height");
  const cv::Point2f from[] = {c[0], c[1], c[3]};
  const cv::Point2f to[] = {{-0.5f, -0.5f}, {width - 0.5f, -0.5f}, {-0.5f, height - 0.5f}};
  cv::Mat upright, turned, shown;
  cv::warpAffine(scan, upright, cv::getAffineTransform(from, to), cv::Size(width, height), cv::INTER_LINEAR);
  if (quad) cv::rotate(upright, turned, cv::ROTATE_90_COUNTERCLOCKWISE);
  else if (scan.channels() == 1) cv::rotate(upright, turned, cv::ROTATE_90_CLOCKWISE);
  else cv::transpose(upright, turned);
  cv::resize(turned, shown, cv::Size(640, 480), 0, 0, cv::INTER_CUBIC);
  if (shown.channels() == 1) cv::cvtColor(shown, shown, cv::COLOR_GRAY2BGR);
  return shown;
}

class Register : public e2e::ProgramTest {};

TEST_P(Register, WindowsLieOnThePicturesTurnedAsWithoutTheOption) {
  const bool quad = std::string(GetParam().kind) == "quad";
  std::vector<scangen::FilmScan> scans;
  for (int i = 0; i < 2; ++i) {
    scangen::FilmRequest request;
    request.gauge = quad ? scangen::Gauge::Super8 : scangen::Gauge::Film35;
    request.frames = quad ? 4 : 1;
    request.dpi = i ? 1500 : 800;
    request.tiltDegrees = i ? -0.6 : 0.4;
    request.channels = i ? 3 : 1;
    request.seed = 40 + i;
    // The finder's accuracy over every kind of film is the registration
    // tests' table; here plain scenes on clean film, to check what the
    // programs make of the frames found.
    request.scene = scangen::SceneKind::Landscape;
    request.damage = false;
    scans.push_back(scangen::makeFilmScan(request));
    ASSERT_TRUE(cv::imwrite(folder.file("scan_" + std::to_string(i + 1) + ".tif"), scans.back().image));
  }
  const e2e::RunResult r = run({"--register", "--report", "run.json"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.find("frameCorrection"), std::string::npos);  // no profile was searched
  const json report = json::parse(e2e::readFile(folder.file("run.json")));
  const std::vector<cv::Mat> frames = e2e::decodeFrames(video());
  ASSERT_EQ(frames.size(), scans.size() * GetParam().framesPerScan);
  size_t frame = 0;
  for (size_t i = 0; i < scans.size(); ++i) {
    SCOPED_TRACE(testing::Message() << "scan " << i + 1);
    const json& scan = report.at("scans").at(i);
    EXPECT_TRUE(scan.at("registration").at("registered"));
    const std::vector<scangen::PictureTruth> pictures = expected(scans[i], quad);
    const json& windows = scan.at("windows");
    ASSERT_EQ(windows.size(), quad ? 4u : 1u);
    for (size_t k = 0; k < windows.size(); ++k) {
      const json& w = windows.at(k);
      if (k < pictures.size() && pictures[k].whole) {
        EXPECT_TRUE(scangen::windowIsRight(cornersOf(w), pictures[k])) << "window " << k + 1 << ": " << w.dump();
      }
      char line[96];
      std::snprintf(line, sizeof line, "picture %zu x=%d y=%d width=%d height=%d\n", k + 1, w.at("x").get<int>(),
                    w.at("y").get<int>(), w.at("width").get<int>(), w.at("height").get<int>());
      EXPECT_NE(r.out.find(line), std::string::npos) << line;
      const cv::Mat shown = asShown(scans[i].image, w, quad);
      for (int copy = 0; copy < w.at("copies").get<int>(); ++copy)
        EXPECT_TRUE(e2e::imagesAgree(frames.at(frame++), shown, 26)) << "video frame " << frame - 1;
    }
  }
}

TEST_P(Register, AScanWithoutPerforationsIsCutAsWithoutTheOption) {
  ASSERT_TRUE(cv::imwrite(folder.file("plain.tif"), cv::Mat(600, 900, CV_8UC1, cv::Scalar(120))));
  const e2e::RunResult plain = run(), registered = run({"--register"});
  EXPECT_EQ(registered.status, 0);
  EXPECT_EQ(registered.out, plain.out);
  EXPECT_NE(registered.err.find("\"plain.tif\" does not register: "), std::string::npos) << registered.err;
}

INSTANTIATE_TEST_SUITE_P(Programs, Register, testing::ValuesIn(e2e::kPrograms), e2e::programName);

}  // namespace
