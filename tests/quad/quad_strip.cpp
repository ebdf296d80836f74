#include "quad_strip.hpp"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <cmath>

namespace quadtest {
namespace {

constexpr int kBase = 10, kHole = 240, kSound = 150, kLeader = 250;

// Each frame gets its own pattern so that a frame out of order shows.
void paintPicture(cv::Mat& strip, const cv::Rect& area, int frame) {
  cv::Mat picture = strip(area);
  for (int r = 0; r < picture.rows; ++r)
    for (int c = 0; c < picture.cols; ++c) {
      const double wave = std::sin((r * (frame % 3 + 1) + c * (frame % 4)) / 23.0);
      const int v = 170 + static_cast<int>(70 * wave);
      picture.at<cv::Vec3b>(r, c) = {static_cast<uchar>(v), static_cast<uchar>(255 - v / 2),
                                     static_cast<uchar>(120 + (frame * 37 + c) % 130)};
    }
}

}  // namespace

cv::Mat turnedStrip(const StripLayout& s) {
  cv::Mat strip(s.rows, s.columns, CV_8UC3, cv::Scalar::all(kBase));
  strip.colRange(s.pictureRight + 1, s.columns).setTo(cv::Scalar::all(kSound));
  const int pictureRows = s.pitch - s.lineRows;
  const cv::Range across(s.pictureLeft, s.pictureRight + 1);
  const int leaderTop = s.rows - s.leaderRows;
  // Frame 0 is the tail of the frame before the first; frame 5 the head of the next.
  for (int frame = 0; frame <= 5; ++frame) {
    const int top = s.firstPicture + (frame - 1) * s.pitch;
    const int from = std::max(top, 0), to = std::min(top + pictureRows, leaderTop);
    if (from < to) paintPicture(strip, cv::Rect(across.start, from, across.size(), to - from), frame);
    const int holeTop = std::max(top + 100, 0), holeEnd = std::min(top + 180, leaderTop);
    if (holeTop < holeEnd) strip(cv::Range(holeTop, holeEnd), cv::Range(40, 71)).setTo(cv::Scalar::all(kHole));
  }
  // The leader follows the last picture with no frame line before it.
  strip.rowRange(leaderTop, s.rows).setTo(cv::Scalar::all(kLeader));
  if (s.channels == 1) {
    cv::Mat red;
    cv::extractChannel(strip, red, 2);
    return red;
  }
  return strip;
}

cv::Mat scanOfStrip(const cv::Mat& turned, const StripLayout& s) {
  cv::Mat cropped;
  cv::rotate(turned, cropped, cv::ROTATE_90_CLOCKWISE);
  // The right edge of the crop is fixed at 98 % of the scan width, less one.
  int width = s.bedColumns + cropped.cols;
  while (static_cast<int>(std::floor(0.98 * width)) - 1 < s.bedColumns + cropped.cols - 1) ++width;
  cv::Mat scan(cropped.rows, width, cropped.type(), cv::Scalar::all(0));
  cropped.copyTo(scan.colRange(s.bedColumns, s.bedColumns + cropped.cols));
  return scan;
}

cv::Mat expectedFrame(const cv::Mat& turned, int top, int left, int rows, int columns) {
  cv::Mat window = turned(cv::Rect(left, top, columns, rows)), scaled;
  cv::resize(window, scaled, cv::Size(640, 480), 0, 0, cv::INTER_CUBIC);
  if (scaled.channels() == 1) cv::cvtColor(scaled, scaled, cv::COLOR_GRAY2BGR);
  return scaled;
}

}  // namespace quadtest
