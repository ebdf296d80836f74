// The finder's stages and the records they hand on, all in the coordinates
// of the reduced gray copy (reduce_scan.cpp) unless a name says otherwise.
//
//   reduceScan          gray copy reduced by a whole factor, and that factor
//   findHoleRows        rows of hole-shaped blobs at a common pitch, best first
//   measurePitch        pitch along the strip and tilt from the hole centres
//   findStripEdges      the strip's two edges across, where scanner background shows
//   identifyGauge       the gauge whose perforations and width fit the measurements
//   roughPictureEdges   a first guess at the picture's extent across, before the lines
//   findFrameLines      where the frame lines cross the strip, and their width (on the scan)
//   findPictureEdges    the picture's extent across the strip
//   placeFrames         every frame the scan touches, as windows inside the pictures
//   priorsOf            the published sizes of a gauge, in millimetres
#pragma once

#include "registration.hpp"

#include <opencv2/core.hpp>

#include <optional>
#include <vector>

namespace registration {

struct Reduced {
  cv::Mat gray;     // 8-bit, one channel
  int factor = 1;   // a reduced pixel covers factor x factor scan pixels
};

// Scan pixel coordinate of a reduced one: pixel centres sit (factor - 1) / 2 in.
inline double toScan(const Reduced& r, double reduced) { return r.factor * reduced + (r.factor - 1) / 2.0; }

struct Hole {
  cv::Point2d centre;
  cv::Size2d size;  // along, across
};

struct HoleRow {
  std::vector<Hole> holes;  // in order of x
  double pitchX = 0;        // x distance between neighbouring holes; 0 for a lone hole
  cv::Size2d size;          // median hole size
  bool bright = true;       // holes brighter than the base around them
  double contrast = 0;      // how far the holes stand out of their row
  double score = 0;
};

// A line along the strip, y = intercept + slope * x.
struct StripLine {
  double intercept = 0, slope = 0;
  double at(double x) const { return intercept + slope * x; }
};

// The strip's own axes. s: where a line across the strip meets y = yMid;
// t: where a line along the strip meets x = xMid. Both are scan-like
// coordinates that a tilt of at most a degree barely scales: true lengths are
// cos(tilt) times their differences.
struct StripAxes {
  double slope = 0, xMid = 0, yMid = 0;
  double s(cv::Point2d p) const { return p.x + slope * (p.y - yMid); }
  double t(cv::Point2d p) const { return p.y - slope * (p.x - xMid); }
  cv::Point2d point(double s, double t) const;
  double cosine() const;
};

cv::Mat toGray(const cv::Mat& scan);
Reduced reduceScan(const cv::Mat& scan);

std::vector<HoleRow> findHoleRows(const cv::Mat& gray);

struct PitchFit {
  double pitchX = 0;   // x distance between neighbouring holes; 0 when it could not be measured
  double slope = 0;    // of the hole rows
  bool slopeMeasured = false;   // false with one hole per row: the slope is left to the strip's edges
  std::vector<cv::Point2d> rowPoints;  // a point on each row's centre line (the mean of its holes)
};
PitchFit measurePitch(const std::vector<const HoleRow*>& rows);

struct StripEdges {
  std::optional<StripLine> top, bottom;
};
StripEdges findStripEdges(const cv::Mat& gray, double slope, bool slopeKnown, const HoleRow& row);

struct Priors {
  Gauge gauge;
  double width, pitch;
  int perforationsPerFrame;
  double holeAcross, holeAlong, holeCentre;  // the hole's centre from its edge
  int minRows, maxRows;
  double pictureAcross, pictureAcrossMin, pictureAcrossMax;
  double pictureAlongMin, pictureAlongMax;
  double pictureCentre;                      // from the perforated edge, for one row
  double aspect;                             // picture across over along
  double wideFrom, wideAspect;               // a picture longer than wideFrom (mm) has wideAspect instead
};
const std::vector<Priors>& allPriors();
const Priors* priorsOf(Gauge gauge);

struct GaugeMeasure {
  cv::Size2d holeSize;        // along, across
  double pitch = 0;           // along the strip; 0 when one hole per row
  int rows = 1;
  double rowSpacing = 0;      // across, between two rows
  double stripWidth = 0;      // across, 0 when an edge is missing
  double holeFromEdge = 0;    // across, the hole row's centre from its nearer edge; 0 when unknown
};
struct GaugeFit {
  Gauge gauge = Gauge::Unknown;
  double pixelsPerMm = 0;
  double pitch = 0;           // along the strip, measured or from the scale
  double misfit = 0;          // largest relative disagreement between the measures
};
GaugeFit identifyGauge(const GaugeMeasure& m);

struct PictureBand {
  double from = 0, to = 0;    // t range that lies inside the pictures
};
struct PictureAcross {
  bool found = false;
  double top = 0, bottom = 0;  // t of the picture's edges
};
// The picture's edges across before the frame lines are known: the pair of
// steps of all columns that fits the windows and the sizes best.
PictureAcross roughPictureEdges(const cv::Mat& gray, const StripAxes& axes, double topFrom, double topTo,
                                double bottomFrom, double bottomTo, double sizeMin, double sizeMax);
struct FrameLines {
  bool found = false;
  double phase = 0;           // s of one frame line's middle
  double width = 0;           // s units
  double period = 0;          // s units
  double rivalShare = 1;      // the best phase elsewhere in the frame, as a share of the lines' score
  double level = 0;           // the lines' mean gray level
};
FrameLines findFrameLines(const cv::Mat& scan, int factor, const StripAxes& axes, const PictureBand& band,
                          const PictureAcross& rough, double periodMin, double periodMax, double widthMin,
                          double widthMax);

PictureAcross findPictureEdges(const cv::Mat& gray, const StripAxes& axes, const FrameLines& lines, double topFrom,
                               double topTo,
                               double bottomFrom, double bottomTo, double sizeMin, double sizeExpected, double sizeMax);

std::vector<PlacedFrame> placeFrames(const StripAxes& axes, const FrameLines& lines, const PictureAcross& across,
                                     const Reduced& reduced, cv::Size scanSize);

}  // namespace registration
