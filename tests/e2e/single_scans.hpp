// Synthetic one-frame scans for the single-frame programs, built from the
// strip as the programs see it after turning (rows along the strip), then
// turned back the way the scanner delivers it.
//
// The turned strip is 1000 columns by 800 rows: black, with a textured bright
// picture area in rows 100 to 699 and columns 150 to 999. So the crop keeps
// the whole scan, the frame window starts at row 99 and column 149 + 40, and
// the expected diagnostic lines follow from that alone.
#pragma once

#include "support/e2e.hpp"

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <string>

namespace single_scans {

constexpr int kWindowRow = 99, kWindowColumn = 189, kWindowRows = 539, kWindowColumns = 745;

// Blocks of 37 pixels in colours from the seed, every channel in [110, 250]
// and red above 170, so the film is bright whatever the seed.
inline cv::Mat turnedStrip(int seed, int channels) {
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

// Gray scans come turned a quarter counter-clockwise, colour scans transposed.
inline cv::Mat asScanned(const cv::Mat& turned) {
  cv::Mat scan;
  if (turned.channels() == 1) cv::rotate(turned, scan, cv::ROTATE_90_COUNTERCLOCKWISE);
  else cv::transpose(turned, scan);
  return scan;
}

inline void writeScan(const std::string& path, int seed, int channels) {
  cv::imwrite(path, asScanned(turnedStrip(seed, channels)));
}

// The video frame a scan should give: its window scaled bicubic, gray as three channels.
inline cv::Mat expectedFrame(int seed, int channels) {
  const cv::Mat window =
      turnedStrip(seed, channels)(cv::Rect(kWindowColumn, kWindowRow, kWindowColumns, kWindowRows));
  cv::Mat scaled, colour;
  cv::resize(window, scaled, cv::Size(640, 480), 0, 0, cv::INTER_CUBIC);
  if (scaled.channels() == 3) return scaled;
  cv::cvtColor(scaled, colour, cv::COLOR_GRAY2BGR);
  return colour;
}

inline std::string nameLine(const std::string& name) {
  std::string line = name;
  if (line.size() < 12) line.append(12 - line.size(), ' ');
  return line + "\n";
}

// Everything a scan prints after its name line.
inline std::string scanLines(bool first) {
  return std::string("frameCorrection x=0\nframeCorrection3 y=799\n") +
         (first ? "Picture resolution (dpi) x=900,y=900\n"
                  "sound_width = 71 image_length = 539 image_width = 744\n"
                : "") +
         "pro = 0.250000\nstr = 40 sto = 280\nod = 60 koniec = 330\n"
         "N = 189\nx= 99\ny = 637\nz=933\nN=189\n";
}

}  // namespace single_scans
