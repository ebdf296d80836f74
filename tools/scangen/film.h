// Film-true synthetic scans: a strip of 35 mm, 16 mm, Super 8 or regular 8 mm
// film at any resolution and slant, with the positions of every picture and
// perforation beside it.
//
// The scan is in the orientation the programs load it: the strip runs along
// the scan's width (x along the strip, y across it). Coordinates are scan
// pixels with pixel centres at integers, x to the right, y down. The strip is
// painted straight, then turned by the tilt about the scan's centre, so the
// truth is the painted geometry carried through the same turn.
#pragma once

#include <opencv2/core.hpp>

#include <array>
#include <cstdint>
#include <vector>

namespace scangen {

enum class Gauge { Film35, Film16, Super8, Regular8 };

// Print: clear, bright base with black frame lines; reversal: black base and
// lines, bright edge lettering; negative: dim orange base, clear frame lines,
// pictures with the scene's light and dark swapped.
enum class Stock { Print, Reversal, Negative };

// 35 mm only: Academy (22 x 16 mm, a wide frame line, room for a sound
// track) or full aperture (24.9 x 18.7 mm, a hairline). Auto takes Academy
// on sound film and either at random on silent film.
enum class Aperture { Auto, Academy, Full };

// What the pictures show. Mixed draws one per scan from the seed. EdgeFigure
// and InnerRise are the scenes a frame finder that reads brightness profiles
// trips on: a bright figure just inside the picture's leading edge in a dark
// scene, and a bright band across the middle of a dark picture whose steps
// are far stronger than the faint steps at its frame lines.
enum class SceneKind { Mixed, Landscape, Night, HighKey, Figures, EdgeFigure, InnerRise };

struct FilmRequest {
    Gauge gauge = Gauge::Film35;
    int frames = 1;          // 1: one whole picture near the middle, neighbours cut off;
                             // N > 1: at least N whole pictures, the strip's ends cut off
    double dpi = 900;        // 600 .. 2400 (any value; a resized scan is just another dpi)
    double tiltDegrees = 0;  // -1 .. 1: the strip's along direction is (cos, sin) of it, y down
    int channels = 1;        // 1 or 3
    Stock stock = Stock::Print;
    bool soundTrack = false; // 35 mm, and 16 mm with one row of perforations
    bool damage = true;      // dust, scratches, splices, grain, uneven light
    Aperture aperture = Aperture::Auto;
    SceneKind scene = SceneKind::Mixed;
    uint64_t seed = 1;
};

struct PictureTruth {
    std::array<cv::Point2d, 4> corners;  // top-left, top-right, bottom-right, bottom-left, scan pixels
    bool whole = false;                  // lies wholly inside the scan
};

struct FilmScan {
    cv::Mat image;                           // 8-bit, 1 or 3 channels
    std::vector<PictureTruth> pictures;      // every picture the scan touches, in order of x
    std::vector<cv::Point2d> perforations;   // centres of the perforations whose centre is in the scan, in order of x
    double perforationPitch = 0;             // pixels, along the strip
    double framePitch = 0;                   // pixels, along the strip
    Gauge gauge = Gauge::Film35;
    double tiltDegrees = 0;
    // Beside the agreed fields: what else was drawn, for reports and tests.
    int perforationsPerFrame = 0;
    int perforationRows = 0;                 // 1 or 2
    cv::Size2d perforationSize;              // width along the strip, height across it, pixels
    cv::Size2d pictureSize;                  // along x across, pixels
    double filmWidth = 0;                    // across the strip, pixels
    double dpi = 0;
    Stock stock = Stock::Print;
    bool soundTrack = false;
    bool fullAperture = false;
    SceneKind scene = SceneKind::Landscape;  // what the scan's first shot shows
};

FilmScan makeFilmScan(const FilmRequest& request);

const char* gaugeName(Gauge gauge);          // "35", "16", "super8", "8": make_scans' names
const char* stockName(Stock stock);          // "print", "reversal", "negative"
const char* sceneName(SceneKind scene);      // "mixed", "landscape", ..., "inner-rise"

}  // namespace scangen
