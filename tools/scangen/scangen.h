// Synthetic film scans with ground truth, for testing the scan converters.
//
// Every scan is painted first on a "strip canvas" whose rows run along the
// strip and whose columns run across it, in the orientation the converters
// work in after cropping and turning; the canvas is then turned into the
// orientation of a scanner file. Painting in the converters' own coordinates
// keeps every truth position a plain number instead of a chain of mirrors.
#pragma once

#include <opencv2/core.hpp>

#include <cstdint>

namespace scangen {

// Film stock. Medium and Light are the bright films: their mean level lies
// between 32 and 100 (Medium) or above 100 at scale 1 (Light). Dark stays
// below 32, where the converters switch to their low threshold.
enum class Film { Medium, Light, Dark };

struct ScanRequest {
    int channels = 1;     // 1 (gray) or 3 (BGR)
    Film film = Film::Medium;
    double scale = 1.0;   // 1 to 2: more scanner background around the strip
    uint64_t seed = 1;
};

struct Scan {
    cv::Mat image;        // as written to the file: the strip runs along the width
    int cropLeft = 0;     // scan columns the cropping stage keeps, inclusive
    int cropRight = 0;
    int winRow = 0;       // top-left of the (first) frame window, turned scan
    int winCol = 0;
    int pitch = 0;        // frame pitch in rows, four-frame scans only
    double level = 0;     // mean of the turned scan's last channel
};

Scan makeSingleScan(const ScanRequest& request);
Scan makeQuadScan(const ScanRequest& request);

// ---- painting shared by both kinds (paint.cpp) ----

// A uniform area with grain: gray level, grain sigma and the band that every
// sample is clamped into. The bands keep each kind of area on its own side of
// the converters' thresholds (dark films: 3.8, bright films: 51 and 63.75),
// so grain never flips a pixel of the 0/1 copies they take.
struct Shade {
    double level, grain;
    int lo, hi;
};

struct FilmTone {
    Shade base, frameLine, soundDark, soundTrace;
    double pictureLo, pictureHi, pictureGrain;
    int pictureFloor;
    cv::Scalar tint;      // colour cast of the stock (B, G, R factors)
};

// opaqueBase: a dark film whose base outside the picture is nearly black.
FilmTone filmTone(Film film, bool opaqueBase);

extern const Shade kCarrierEnd;   // the holder's end plates: darkest of all
extern const Shade kCarrierRail;  // the holder beside the strip
extern const Shade kOpenLight;    // light through a perforation or a gap

void fillShade(cv::Mat area, const Shade& shade, const cv::Scalar& tint, cv::RNG& rng);
// Film picture content, channels in [0, 1], larger than any one frame so that
// successive frames can be cut from it with a small pan.
cv::Mat makeScene(cv::Size size, cv::RNG& rng);
void paintPicture(cv::Mat area, const cv::Mat& scene, const FilmTone& tone, cv::RNG& rng);
// A bilateral variable-area track; firstRow keeps the waveform continuous.
void paintSoundTrack(cv::Mat band, int firstRow, const FilmTone& tone, cv::RNG& rng);
void paintHole(cv::Mat canvas, const cv::Rect& hole, cv::RNG& rng);
// End plate over canvas rows [from, to) with a one-row gap of light across the
// film's width at lightRow, where the strip's cut end leaves the plate open.
void paintCarrierEnd(cv::Mat canvas, int from, int to, int lightRow, cv::Range film, cv::RNG& rng);

cv::Mat newCanvas(int rows, int cols, int channels, cv::RNG& rng);
double meanLevel(const cv::Mat& turned);
uint64_t mixSeed(uint64_t seed, uint64_t salt);

}  // namespace scangen
