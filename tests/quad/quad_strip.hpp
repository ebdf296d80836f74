// Synthetic four-frame scans for the tests, built in the turned frame (rows
// along the strip, columns across it) and turned back to how a scanner lays
// the strip: along the scan's width, with black scanner bed on the left.
//
//   StripLayout     where the frames, lines, sprocket holes and sound track lie
//   turnedStrip     the strip as the stages see it after cropping and turning
//   scanOfStrip     the scan a scanner would give for it
//   expectedFrame   a frame window of the turned strip scaled bicubic to 640 x 480
#pragma once

#include <opencv2/core/mat.hpp>

namespace quadtest {

// Defaults: a bright strip whose first picture starts at row 60 of the
// turned strip, frames every 280 rows after 20-row frame lines, the picture
// from column 100 to 348 of 400, holes at columns 40 to 70, a sound track
// from column 349, a bright leader at the end of the strip.
struct StripLayout {
  int rows = 1264;          // along the strip, after cropping
  int columns = 400;        // across the strip: the scan's height
  int firstPicture = 60;    // first row of frame 1's picture
  int pitch = 280;
  int lineRows = 20;        // dark frame line before every picture
  int pictureLeft = 100;
  int pictureRight = 348;
  int leaderRows = 24;      // bright leader at the bottom of the turned strip
  int bedColumns = 10;      // black scanner bed left of the strip in the scan
  int channels = 3;
};

cv::Mat turnedStrip(const StripLayout& layout);
cv::Mat scanOfStrip(const cv::Mat& turned, const StripLayout& layout);
cv::Mat expectedFrame(const cv::Mat& turned, int top, int left, int rows, int columns);

}  // namespace quadtest
