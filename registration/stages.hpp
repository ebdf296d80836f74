// The finder's stages and the records they hand on. The holes, the pitch,
// the strip's edges and the gauge are found on the reduced gray copy
// (reduce_scan.cpp) and in its coordinates; from the priors on, everything
// is in the scan's own pixels, on the strip's axes.
//
//   reduceScan          gray copy reduced by a whole factor, and that factor
//   findHoleRows        rows of hole-shaped blobs at a common pitch, best first;
//                       `fine` cuts finer, for a scan where the usual cuts find no film
//   islandBoxes         the boxes of a copy's islands above a level, for findHoleRows
//   offStepCount        how many distances lie off whole steps of a pitch, for findHoleRows
//   measurePitch        pitch along the strip and tilt from the hole centres
//   findStripEdges      the strip's two edges across, where scanner background shows
//   identifyGauge       the gauge whose perforations and width fit the measurements
//   priorsOf            the gauge's published geometry, in millimetres
//   framePriors         where that geometry puts the frames on this scan
//   sampleAlong         the scan itself sampled along the strip, for the measures below
//   rebateOf            how bright unexposed film shows, between the holes
//   measureFrameLines   the frame lines' ends, measured about their priors
//   measurePictureEdges the pictures' long edges, measured about their priors
//   pictureContrast, pictureTexture, variationThroughLines  which way the Academy picture sits
//   placeFrames         every frame the scan touches, as windows inside the pictures
#pragma once

#include "registration.hpp"

#include <opencv2/core.hpp>

#include <cmath>
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

std::vector<HoleRow> findHoleRows(const cv::Mat& gray, bool fine = false);

// The 4-connected islands of an 8-bit image's pixels above `level`: each
// one's box (inclusive corners) and pixel count, in raster order of its
// first pixel.
struct IslandBox {
  int x0 = 1 << 30, y0 = 1 << 30, x1 = -1, y1 = -1, area = 0;
};
std::vector<IslandBox> islandBoxes(const cv::Mat& image, int level);

// How many distances o between island centres (which lie on half pixels),
// given doubled, lie further than a tenth of a step off whole steps of the
// pitch d / k: o / (d / k) further than 0.1 from a whole number, as a
// division in doubles finds it.
size_t offStepCount(const std::vector<float>& twiceOffsets, double d, int k);

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
// The copy's row means in slices along the strip, once for every row of holes tried.
struct SliceProfiles {
  std::vector<std::vector<double>> profiles;  // per slice, per row of the copy
  std::vector<double> middles;                 // x of each slice's middle
};
SliceProfiles sliceProfiles(const cv::Mat& gray);
StripEdges findStripEdges(const SliceProfiles& slices, double slope, bool slopeKnown, const HoleRow& row);

struct Aperture {
  const char* name;
  double along, across;  // the picture's size
  double middle;         // across, from the reference edge: the perforated one, on 35 mm the sound track's
};
struct Priors {
  Gauge gauge;
  double width, pitch;
  int perforationsPerFrame;
  double holeAlong, holeAcross, holeEdge;  // the hole's size, its outer side from the film's edge
  int minRows, maxRows;
  double lineFromHole;                     // the frame line's middle from a hole's centre, in pitches
  std::vector<Aperture> apertures;
  double holeCentre() const { return holeEdge + holeAcross / 2; }
};
const std::vector<Priors>& allPriors();
const Priors* priorsOf(Gauge gauge);

// How far real film strays from the published geometry: a picture's size
// (cameras' apertures, a print's shrinking), its middle across (the gate's
// guide) and the frame line along (the pin against the holes).
constexpr double kSizeTolerance = 0.04;      // share of the size
constexpr double kMiddleToleranceMm = 0.15;
constexpr double kLineTolerance = 0.025;     // share of the hole pitch
// How far the scanner's light drifts along the strip from one place to one
// nearby (a frame line and the picture beside it): a share of the level.
constexpr double kLightDrift = 0.015;
struct GaugeMeasure {
  cv::Size2d holeSize;        // along, across
  double pitch = 0;           // along the strip; 0 when one hole per row
  int rows = 1;
  double rowSpacing = 0;      // across, between two rows
  double stripWidth = 0;      // across, 0 when an edge is missing
  double holeFromEdge = 0;    // across, the hole row's centre from its nearer edge; 0 when unknown
  bool edgeMayBeFar = false;  // only one edge found: it may be the one beyond the pictures
};
struct GaugeFit {
  Gauge gauge = Gauge::Unknown;
  double pixelsPerMm = 0;
  double pitch = 0;           // along the strip, measured or from the scale
  double misfit = 0;          // largest relative disagreement between the measures
  int measures = 0;           // how many measures the fit rests on
};
GaugeFit identifyGauge(const GaugeMeasure& m);

// What the holes and the strip's edges tell, on the scan's own pixels (the
// reduced copy's axes carried over): the measures the priors are scaled by.
struct StripMeasure {
  StripAxes axes;
  double pitch = 0;                  // the hole pitch along the strip, true length
  bool pitchMeasured = false;        // from two holes or more; else the gauge fit's scale
  std::vector<double> rowT;          // t of each row of holes
  std::optional<double> top, bottom; // t of the strip's edges, where the background shows
  std::vector<Perforation> holes;
};

// One way the picture may sit across: its aperture and its middle (t).
struct AcrossPrior {
  int aperture = 0;
  double middle = 0;
};
// Where the frame lines may lie: the middle of one (s, scan pixels), the
// frame pitch, the line's width (the pitch less the picture's length) and
// how far each of the line's ends may stray from the published place.
struct LinePrior {
  double middle = 0, period = 0, width = 0, slack = 0;
  double middleSlack = 0;  // how far the line's middle may stray
  double leastWidth = 0;   // the thinnest frame line a camera leaves
  int aperture = 0;
  // When the pitch is known only roughly (a lone hole), the lines measure
  // the period, within this share of it, spreading from `anchor`.
  double periodSlack = 0, anchor = 0;
};
// How whoever scanned the strip framed its pictures: a one-frame scan on
// its picture's middle, a longer one on as many whole pictures as it holds.
struct Framing {
  double centre = NAN;               // on a one-frame scan, the s its picture is centred on; NaN otherwise
  double from = 0, to = 0;           // s on the strip's middle line between which a picture lies wholly on the scan
};

// Where the gauge's published geometry puts the frames on this scan, and
// how far the measures may move them.
struct FramePriors {
  double mmS = 0, mmT = 0;           // s and t units a millimetre
  double middle = 0;                 // t of the strip's middle, as the reference edge puts it
  std::vector<AcrossPrior> ways;     // every way the aperture may sit
  std::vector<LinePrior> lines;      // every place the frame lines may lie: apertures by gaps
  double lo = -1e300, hi = 1e300;    // t the picture's edges may lie in: on the film, clear of the holes
  Framing framing;
};
FramePriors framePriors(const StripMeasure& m, const Priors& p, cv::Size scan);

// Film the camera never exposed, on the rows of holes between the holes:
// its level (the median, NaN where no row is known), and whether it is a
// colour negative's orange-masked base.
struct Rebate {
  double level = NAN;
  bool masked = false;
};
Rebate rebateOf(const cv::Mat& scan, const StripMeasure& m);

// Gray means of the scan along lines parallel to the strip, on the scan
// itself (scan pixels, strip axes): row i of the result follows the line at
// t = ts[i] (or `thickness` neighbouring lines about it, averaged); column
// j holds the mean of its pixels whose s lies in [s0 + j bin, s0 + (j + 1)
// bin). NaN where no pixel falls, and everywhere on a scan neither gray
// nor colour. 32-bit floats.
cv::Mat sampleAlong(const cv::Mat& scan, const StripAxes& axes, const std::vector<double>& ts, double s0, double bin,
                    int bins, int thickness = 1);

// One edge of the pictures: where the priors put it, or where the scan shows it clearly.
struct Edge {
  double at = 0;
  bool measured = false;
};

struct FrameLines {
  int candidate = -1;          // which prior fitted
  double middle = 0, period = 0;
  Edge start, end;             // the line's two ends, as offsets from its middle
  double score = 0;            // how clearly the scan shows the lines
};
// Frame lines measured on the scan about each prior in turn; the prior whose
// lines the scan shows best, with each end measured where it is clear and
// left at the prior where it is not. `ts`: lines across the pictures' inner
// part. `framing`: how the scan was framed on its pictures, which decides
// between priors the scan itself cannot.
// `rebate`: how bright the film the camera never exposed shows (level NaN
// where unknown), above which a run of columns is scene, not line; on a
// colour negative's masked base, well below which it is scene too.
FrameLines measureFrameLines(const cv::Mat& scan, const StripAxes& axes, const std::vector<double>& ts,
                             const std::vector<LinePrior>& priors, const Framing& framing, const Rebate& rebate);

// The pictures' long edges across the strip (t, scan pixels), each measured
// about its prior where the scan shows it clearly.
struct PictureAcross {
  Edge top, bottom;
  double score = 0;
};
struct AcrossWindow {
  double prior = 0, from = 0, to = 0;   // t
};
PictureAcross measurePictureEdges(const cv::Mat& scan, const StripAxes& axes, const FrameLines& lines,
                                  const AcrossWindow& top, const AcrossWindow& bottom);

// How far the pictures' columns stand from the frame lines' over the rows
// [from, to] of t: the median of each against the other, less the light's
// drift. Outside the pictures both show the same film (the margin, or the
// sound track, whose stripes the medians pass over); NaN where the lines are
// too thin to sample. `eachPicture`: each picture's median on its own, the
// most any shows (a scene as flat as the film hides in the median over all
// of them, while one picture of another shot shows where pictures lie).
double pictureContrast(const cv::Mat& scan, const StripAxes& axes, const FrameLines& lines, double from, double to,
                       bool eachPicture = false);

// How much the mean of the lines [from, to] of t moves along the strip over
// a twelfth of a picture within the pictures, less what it moves within the
// frame lines (never below 0): the darkest scene keeps a texture that
// unexposed film beside it lacks, and a sound track's wave, which runs on
// through the lines, is taken off. NaN where no picture can be sampled.
double pictureTexture(const cv::Mat& scan, const StripAxes& axes, const FrameLines& lines, double from, double to);

// How much the strip varies along its length over the lines [from, to] of
// t within the frame lines, as a quarter of those lines show it, when that
// is no less than half of how much it varies within the pictures (else 0):
// a sound track's stripes or wave run on through the lines, a picture stops
// at them, and a scratch along the strip lies in one line only.
double variationThroughLines(const cv::Mat& scan, const StripAxes& axes, const FrameLines& lines, double from,
                             double to);

// A window for every frame the scan touches, drawn in from the pictures'
// edges a little where an edge was measured and a little more where it was
// not (along, only on gauges of one perforation a frame).
std::vector<PlacedFrame> placeFrames(const StripAxes& axes, const FrameLines& lines, const PictureAcross& across,
                                     int perforationsPerFrame, cv::Size scanSize);

}  // namespace registration
