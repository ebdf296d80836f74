#include "program/scan_lines.hpp"
#include "single/stages.hpp"
#include "support/e2e.hpp"

#include <opencv2/core.hpp>

namespace {

constexpr int kRows = 700, kCols = 900;  // str 35, sto 244, od 54, column offset 35

struct Cut {
  cv::Mat frame;
  std::string out;
  std::string err;
};

// The frame, the lines as tarvel1m and tarvel1d print them, and the warnings.
Cut cut(const cv::Mat& turned, shared::StripGeometry g = {0, 100, 99}) {
  Cut c;
  shared::ScanRecord record;
  record.geometry = g;
  c.frame = single::extractFrame(turned, g, record);
  c.out = program::singleScanLines(record);
  for (const std::string& warning : record.warnings) c.err += warning + "\n";
  return c;
}

// A turned colour scan, black except a textured bright area: every sample of
// it stays far above any threshold, so only the area's outline is seen.
cv::Mat brightFilm(cv::Rect area = {150, 100, kCols - 150, kRows - 100}) {
  cv::Mat scan(kRows, kCols, CV_8UC3, cv::Scalar::all(0));
  cv::Mat texture(area.size(), CV_8UC3);
  cv::RNG(3).fill(texture, cv::RNG::UNIFORM, 120, 256);
  texture.copyTo(scan(area));
  return scan;
}

std::string windowLines(int x, int n, int length = 100, int width = 99) {
  return "N = " + std::to_string(n) + "\nx= " + std::to_string(x) + "\ny = " +
         std::to_string(x + length - 1) + "\nz=" + std::to_string(n + width) +
         "\nN=" + std::to_string(n) + "\n";
}

}  // namespace

TEST(ExtractFrame, BrightFilmWindowStartsAtTheRisesAndCopiesTheScan) {
  const cv::Mat scan = brightFilm();
  const cv::Mat before = scan.clone();
  const Cut c = cut(scan);
  // The row share rises at row 99 to 100; the column share at column 149 to 150, plus 35.
  EXPECT_EQ(c.out, "pro = 0.250000\nstr = 35 sto = 244\nod = 54 koniec = 297\n" + windowLines(99, 184));
  ASSERT_EQ(c.frame.size(), cv::Size(100, 100));
  EXPECT_TRUE(e2e::imagesAgree(c.frame, scan(cv::Rect(184, 99, 100, 100))));
  EXPECT_TRUE(e2e::imagesAgree(scan, before));
  EXPECT_EQ(c.err, "");
}

TEST(ExtractFrame, DarkFilmUsesTheLowThresholdAndTheLastFall) {
  // Film base (level 20) on the left, black beyond column 199, a faint picture from row 100.
  cv::Mat scan(kRows, kCols, CV_8UC1, cv::Scalar(0));
  scan.colRange(0, 200).setTo(20);
  scan(cv::Rect(300, 100, 600, 600)).setTo(10);
  const Cut c = cut(scan);
  EXPECT_EQ(c.out, "pro = 0.015000\nstr = 35 sto = 244\nod = 54 koniec = 306\n" + windowLines(99, 234));
  EXPECT_EQ(c.frame.channels(), 1);
}

TEST(ExtractFrame, WindowOutsideTheScanKeepsItsSizeAndIsBlackThere) {
  const cv::Mat scan = brightFilm();
  const Cut c = cut(scan, {71, 539, 744});
  ASSERT_EQ(c.frame.size(), cv::Size(745, 539));  // columns 184 to 928 of a 900-column scan
  EXPECT_TRUE(e2e::imagesAgree(c.frame.colRange(0, 716), scan(cv::Rect(184, 99, 716, 539))));
  EXPECT_EQ(cv::countNonZero(c.frame.colRange(716, 745).reshape(1)), 0);
  EXPECT_NE(c.err.find("reaches outside"), std::string::npos);
}

