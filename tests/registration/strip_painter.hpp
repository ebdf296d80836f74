// A film strip painted for the frame finder's own hard cases: holes that show
// the lid on a dark base or the light on a clear base, edge letters beside the
// holes, torn and missing holes, dark scenes at the frame line's level, a
// picture edge hidden under a bright figure, splices and uneven light.
// Geometry follows the gauges' published sizes in millimetres; the scan is
// the strip turned by the tilt about the scan's centre, background across,
// cut off at both ends along.
#pragma once

#include "registration/registration.hpp"

#include <opencv2/core.hpp>

#include <array>
#include <cstdint>
#include <vector>

namespace strip {

enum class Stock { Print, Reversal, Negative };

struct Request {
  registration::Gauge gauge = registration::Gauge::Film35;
  int frames = 1;            // 1: one whole picture in the middle; 4: four whole pictures
  double dpi = 900;
  double tiltDegrees = 0;
  int channels = 1;
  Stock stock = Stock::Print;
  bool lid = false;          // holes and background show the scanner's lid (dark) instead of its light
  bool soundTrack = false;   // 35 mm and 16 mm
  bool letters = true;       // edge lettering beside the holes
  bool damage = true;        // dust, scratches, a torn and a missing hole, uneven light, grain
  bool darkScenes = false;   // pictures nearly as dark as the frame line
  uint64_t seed = 1;
};

struct Picture {
  std::array<cv::Point2d, 4> corners;  // tl, tr, br, bl in scan pixels
  bool whole = false;
};

struct Scan {
  cv::Mat image;
  std::vector<Picture> pictures;  // in order of x
  double perforationPitch = 0, framePitch = 0;
};

Scan paint(const Request& request);

}  // namespace strip
