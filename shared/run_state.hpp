// The state a run keeps across its scans.
//
//   StripGeometry       the frame sizes, measured or set on the first scan
//   ScanResolution      dots per inch, always 900 x 900
//   RunState            both, and whether the first scan has set them
#pragma once

namespace shared {

struct StripGeometry {
  int sound_width = 0;
  int image_length = 0;
  int image_width = 0;  // the frame window is image_width + 1 columns wide
};

struct ScanResolution {
  int x = 0;  // dots per inch across the loaded scan's width
  int y = 0;
};

// The scans are taken as 900 dpi both ways; the files are not asked.
constexpr int kScanDotsPerInch = 900;
constexpr ScanResolution kAssumedResolution{kScanDotsPerInch, kScanDotsPerInch};

struct RunState {
  ScanResolution resolution;
  StripGeometry geometry;
  bool calibrated = false;  // set by the first scan; every later scan is cut with its geometry
};

}  // namespace shared
