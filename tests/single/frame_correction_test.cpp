#include "program/scan_lines.hpp"
#include "single/stages.hpp"
#include "support/e2e.hpp"

#include <opencv2/core.hpp>

#include <vector>

namespace {

// A gray scan whose every row is `columns`: its column profile is `columns` itself.
cv::Mat scanOfProfile(const std::vector<uchar>& columns, int rows) {
  cv::Mat row(1, static_cast<int>(columns.size()), CV_8UC1, const_cast<uchar*>(columns.data()));
  return cv::repeat(row, rows, 1);
}

struct Crop {
  cv::Mat image;
  std::string out;
  std::string err;
};

// The crop, its lines as tarvel1m and tarvel1d print them, and its warnings.
Crop crop(const cv::Mat& scan) {
  Crop c;
  shared::ScanRecord record;
  std::vector<std::string> warnings;
  c.image = single::frameCorrection(scan, record.crop.emplace(), warnings);
  c.out = program::singleScanLines(record);
  for (const std::string& warning : warnings) c.err += warning + "\n";
  return c;
}

testing::AssertionResult keepsColumns(const cv::Mat& cropped, const cv::Mat& scan, int x, int y) {
  return e2e::imagesAgree(cropped, scan.colRange(x, y + 1));
}

// 1000 columns: a holder shadow ending in a valley at column 20, the strip
// from column 30 (a second rise to the same value at 41), and two equally
// steep falls at 979 and 989 in the right margin.
std::vector<uchar> stripWithEdgesInBothMargins() {
  std::vector<uchar> p(1000, 200);
  for (int i = 0; i < 20; ++i) p[i] = 100;
  for (int i = 20; i < 30; ++i) p[i] = 10;
  p[40] = 150;
  for (int i = 980; i < 1000; ++i) p[i] = 10;
  p[985] = p[986] = p[987] = p[988] = p[989] = 200;
  return p;
}

}  // namespace

TEST(FrameCorrection, FindsBothEdgesInTheMarginsLowestColumnWinning) {
  const cv::Mat scan = scanOfProfile(stripWithEdgesInBothMargins(), 900);
  const Crop c = crop(scan);
  EXPECT_EQ(c.out, "frameCorrection x=30\nframeCorrection1 y=979\n");
  EXPECT_TRUE(keepsColumns(c.image, scan, 30, 979));
  EXPECT_EQ(c.err, "");
}

TEST(FrameCorrection, ProfileAveragesRows134To764OfA900RowScan) {
  // Darkening one sample of the strip's first column lowers that column's
  // mean, so the margin's highest value is first reached one column later.
  for (const auto& [row, x] : {std::pair{133, 30}, {134, 31}, {764, 31}, {765, 30}}) {
    cv::Mat scan = scanOfProfile(stripWithEdgesInBothMargins(), 900);
    scan.at<uchar>(row, 30) = 0;
    EXPECT_EQ(crop(scan).out, "frameCorrection x=" + std::to_string(x) + "\nframeCorrection1 y=979\n")
        << "row " << row;
  }
}

TEST(FrameCorrection, ShallowMarginValleysKeepTheOuterParts) {
  std::vector<uchar> p(1000, 200);
  p[10] = 150, p[300] = 20, p[960] = 150, p[700] = 20;
  const cv::Mat scan = scanOfProfile(p, 60);
  Crop c = crop(scan);
  EXPECT_EQ(c.out, "frameCorrection x=1\nframeCorrection3 y=999\n");
  EXPECT_TRUE(keepsColumns(c.image, scan, 1, 999));

  // Margin valleys of exactly twice the half's: no test holds, same crop, no lines.
  p[10] = 100, p[300] = 50, p[960] = 100, p[700] = 50;
  c = crop(scanOfProfile(p, 60));
  EXPECT_EQ(c.out, "");
  EXPECT_TRUE(keepsColumns(c.image, scanOfProfile(p, 60), 1, 999));
}

TEST(FrameCorrection, SearchesThatFindNothingFallBackSilently) {
  // Left margin only falling (no rise, no zero column): x is the margin's end, 70.
  // Right half flat: the fall search finds no column, y is the last column.
  std::vector<uchar> p(1000, 200);
  for (int i = 0; i < 70; ++i) p[i] = static_cast<uchar>(200 - i);
  const cv::Mat scan = scanOfProfile(p, 50);
  const Crop c = crop(scan);
  EXPECT_EQ(c.out, "");
  EXPECT_TRUE(keepsColumns(c.image, scan, 70, 999));
}

