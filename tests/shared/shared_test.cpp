// The layer the programs share: rounding, listing order, loading as stored,
// window cutting.

#include "shared/rounding.hpp"
#include "shared/scan_listing.hpp"
#include "shared/scan_loading.hpp"
#include "shared/window_cut.hpp"
#include "support/e2e.hpp"

#include <gtest/gtest.h>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

// Runs `body` with the current folder set to `dir`.
template <typename Body>
void inFolder(const std::string& dir, Body&& body) {
  const fs::path before = fs::current_path();
  fs::current_path(dir);
  body();
  fs::current_path(before);
}

cv::Mat cutWindow(const imaging::TurnedView& scan, int top, int left, int rows, int columns,
                  std::vector<std::string>* warnings = nullptr) {
  shared::FrameWindow window;
  window.top = top, window.left = left, window.rows = rows, window.columns = columns;
  std::vector<std::string> given;
  cv::Mat cut = shared::cutWindow(scan, window, given);
  EXPECT_EQ(window.outside, !given.empty());
  if (warnings) *warnings = given;
  return cut;
}

}  // namespace

TEST(Rounding, HalvesGoAwayFromZero) {
  EXPECT_EQ(shared::roundNearest(2.5), 3);
  EXPECT_EQ(shared::roundNearest(-2.5), -3);
  EXPECT_EQ(shared::roundNearest(2.4999), 2);
  EXPECT_EQ(shared::roundNearest(-0.4), 0);
  EXPECT_EQ(shared::roundNearest(0.06 * 900), 54);
  // 0.15 x 10 is just above 1.5 in double but exactly 1.5 as a float: 2 either way;
  // 0.35 x 700 is just below 245, 244.99999999999997 rounds to 245.
  EXPECT_EQ(shared::roundNearestFloat(0.15 * 10), 2);
  EXPECT_EQ(shared::roundNearest(0.35 * 700), 245);
  // A product that only the float step carries over the half.
  EXPECT_EQ(shared::roundNearest(2.4999999), 2);
  EXPECT_EQ(shared::roundNearestFloat(2.4999999), 3);
}

TEST(Listing, FoldsCaseTakesOnlyTifAndBreaksTiesByBytes) {
  e2e::TempDir dir;
  for (const char* name : {"b.tif", "A.TIF", "a.tif", "C.Tif", "d.tiff", "e.tif.bak", "_x.tif", "video.avi"})
    std::ofstream(dir.file(name)) << "x";
  fs::create_directory(dir.file("f.tif"));
  std::vector<std::string> names;
  inFolder(dir.path, [&] { names = shared::listScans().names; });
  // '_' (0x5F) sorts after the upper-case letters it is compared with.
  EXPECT_EQ(names, (std::vector<std::string>{"A.TIF", "a.tif", "b.tif", "C.Tif", "f.tif", "_x.tif"}));
}

TEST(Loading, TakesTheRasterAsStoredWhateverItsOrientationTag) {
  e2e::TempDir dir;
  cv::Mat stored(5, 8, CV_8UC3);
  cv::randu(stored, 0, 256);
  for (int orientation = 1; orientation <= 8; ++orientation) {
    const std::string path = dir.file("o.tif");
    ASSERT_TRUE(cv::imwrite(path, stored));
    ASSERT_EQ(e2e::runTool(e2e::kTiffset, {"-s", "274", std::to_string(orientation), path}).status, 0);
    const cv::Mat loaded = shared::loadScan(path).image;
    ASSERT_EQ(loaded.size(), stored.size()) << orientation;
    EXPECT_TRUE(e2e::imagesAgree(loaded, stored)) << orientation;
  }
}

TEST(Loading, GivesEightBitsWithOneOrThreeChannels) {
  e2e::TempDir dir;
  cv::Mat colour(4, 6, CV_8UC3);
  cv::randu(colour, 0, 256);
  cv::Mat deep, withAlpha;
  colour.convertTo(deep, CV_16U, 257);
  cv::cvtColor(colour, withAlpha, cv::COLOR_BGR2BGRA);
  ASSERT_TRUE(cv::imwrite(dir.file("deep.tif"), deep));
  ASSERT_TRUE(cv::imwrite(dir.file("alpha.tif"), withAlpha));
  for (const char* name : {"deep.tif", "alpha.tif"}) {
    const cv::Mat loaded = shared::loadScan(dir.file(name)).image;
    ASSERT_EQ(loaded.type(), CV_8UC3) << name;
    EXPECT_TRUE(e2e::imagesAgree(loaded, colour)) << name;
  }
  std::ofstream(dir.file("empty.tif"));
  EXPECT_TRUE(shared::loadScan(dir.file("empty.tif")).image.empty());
  EXPECT_TRUE(shared::loadScan(dir.file("missing.tif")).image.empty());
  EXPECT_TRUE(shared::loadScan(dir.path).image.empty());
}

TEST(CutWindow, KeepsItsSizeAndBlacksOutWhatLiesOutside) {
  cv::Mat scan(4, 5, CV_8UC3, cv::Scalar(9, 8, 7));
  const cv::Mat inside = cutWindow(scan, 1, 1, 3, 4);
  EXPECT_EQ(inside.size(), cv::Size(4, 3));
  EXPECT_TRUE(e2e::imagesAgree(inside, cv::Mat(3, 4, CV_8UC3, cv::Scalar(9, 8, 7))));
  std::vector<std::string> warnings;
  const cv::Mat outside = cutWindow(scan, -1, 3, 3, 4, &warnings);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_EQ(warnings[0], "frame window rows -1 to 1, columns 3 to 6 reaches outside the 5 x 4 scan; the part "
                         "outside is black");
  ASSERT_EQ(outside.size(), cv::Size(4, 3));
  EXPECT_EQ(cv::countNonZero(outside.reshape(1)), 2 * 2 * 3);  // rows 0-1, columns 3-4 of the scan
  EXPECT_EQ(outside.at<cv::Vec3b>(1, 0), cv::Vec3b(9, 8, 7));
  EXPECT_EQ(outside.at<cv::Vec3b>(0, 0), cv::Vec3b(0, 0, 0));
  EXPECT_EQ(cutWindow(scan, 100, 100, 2, 2).size(), cv::Size(2, 2));
  EXPECT_TRUE(cutWindow(scan, 0, 0, 0, 3).empty());
}

// Windows of a turned view, inside, across every edge and wholly outside,
// equal those of the turned copy, warning included (in turned coordinates).
TEST(CutWindow, OfATurnedViewEqualsTheWindowOfTheTurnedCopy) {
  cv::Mat source(7, 5, CV_8UC3);
  cv::randu(source, 1, 256);
  for (const imaging::Turn turn :
       {imaging::Turn::Transpose, imaging::Turn::Clockwise, imaging::Turn::CounterClockwise}) {
    const imaging::TurnedView view{source, turn};
    const cv::Mat turned = imaging::turnedCopy(view);
    for (const cv::Vec4i& w : {cv::Vec4i(1, 2, 3, 4), cv::Vec4i(-2, -1, 4, 3), cv::Vec4i(3, 5, 4, 4),
                              cv::Vec4i(0, 0, 5, 7), cv::Vec4i(9, 9, 2, 2)}) {
      SCOPED_TRACE(testing::Message() << "turn " << static_cast<int>(turn) << ", window " << w);
      std::vector<std::string> viewWarning, copyWarning;
      const cv::Mat fromView = cutWindow(view, w[0], w[1], w[2], w[3], &viewWarning);
      const cv::Mat fromCopy = cutWindow(turned, w[0], w[1], w[2], w[3], &copyWarning);
      EXPECT_EQ(viewWarning, copyWarning);
      ASSERT_EQ(fromView.size(), fromCopy.size());
      EXPECT_TRUE(e2e::imagesAgree(fromView, fromCopy));
    }
  }
}
