// Frames placed by the film's perforations.
//
//   registerFrames  finds the perforation row(s), the pitch, the tilt and the
//                   gauge, then every frame's picture from the frame lines
//                   and the picture's edges; prints nothing, never throws
//   cutPicture      the picture of a placed frame, turned upright when tilted
//   cornersOf       the four corners of a placed frame in scan pixels
//   gaugeName       "35 mm", "16 mm", "Super 8", "8 mm" or "unknown"
//
// Coordinates are those of the scan as loaded: the strip runs along x, y is
// across it, pixel centres at integer coordinates. Every length is measured
// on the scan itself from the perforation pitch; no resolution is assumed.
#pragma once

#include <opencv2/core.hpp>

#include <array>
#include <string>
#include <vector>

namespace registration {

enum class Gauge { Unknown, Film35, Film16, Super8, Regular8 };

struct Perforation {
  cv::Point2d centre;
  cv::Size2d size;  // width along x, height across
};

struct PlacedFrame {
  cv::Point2d centre;             // of the picture, scan pixels
  double along = 0, across = 0;   // the window's size in pixels, along and across the strip
  double angleDegrees = 0;        // the strip's tilt: the along axis turned by it from the x axis
  bool whole = false;             // the window lies wholly inside the scan
};

// Once a gauge fits the perforations, the gauge, perforations, pitches and
// tilt are filled in even when no frame could be placed (registered false).
struct Registration {
  bool registered = false;
  std::string missing;            // when not registered: what was missing, in words
  Gauge gauge = Gauge::Unknown;
  std::vector<Perforation> perforations;
  int perforationsPerFrame = 0;
  int perforationRows = 0;        // 1 or 2: rows of perforations found along the strip
  double perforationPitch = 0, framePitch = 0;  // pixels along the strip
  double tiltDegrees = 0;
  std::vector<PlacedFrame> frames;   // every frame the scan touches, in order of x, cut-off ones too
  std::vector<double> frameLines;    // scan x, on the strip's middle line, of the frame lines used
  double frameLineWidth = 0;      // pixels along the strip between two pictures
};

Registration registerFrames(const cv::Mat& scan);
cv::Mat cutPicture(const cv::Mat& scan, const PlacedFrame& frame);
std::array<cv::Point2d, 4> cornersOf(const PlacedFrame& frame);
const char* gaugeName(Gauge gauge);

}  // namespace registration
