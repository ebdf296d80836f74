// One frame of a wide strip per scan, 900 dpi.
//
// Across the strip (turned columns, from the left): carrier rail, then the
// 3.5 cm film: 57 px clear edge, perforations 99 px wide, 2 px base, sound
// band 71 px, base gap, picture 744 px (2.1 cm), base, perforations, edge,
// then rail again. Along the strip (turned rows): frames of 539 px picture
// (1.52 cm) and 134 px dark frame line, pitch 673 px (1.9 cm), four
// perforations of 70 px per frame, the whole cut off by the carrier's end
// plates with a thin gap of light at each cut end.
//
// The frame stage takes the frame's first column as the last sound-band edge
// column plus 5 % of the strip length, so the base gap between sound band and
// picture is made exactly that wide; it grows with --scale.
#include "scangen.h"

#include <opencv2/core.hpp>

#include <cmath>
#include <stdexcept>

namespace scangen {

namespace {

constexpr int kBaseWidth = 1200, kBaseHeight = 1400;  // scan at scale 1
constexpr int kFilmWidth = 1240;
constexpr int kPerfFrom = 57, kPerfWidth = 99, kPerfLength = 70;
constexpr double kPerfPitch = 673.2 / 4;
constexpr int kSoundFrom = 158, kSoundWidth = 71;
constexpr int kPictureWidth = 744, kPictureLength = 539, kFramePitch = 673;
constexpr int kScenePad = 24;

int jitter(cv::RNG& rng, int reach) { return rng.uniform(-reach, reach + 1); }

struct Layout {
    int width, height;        // loaded scan
    int left, right;          // light gaps at the cut ends: the crop edges
    int filmLeft, soundLeft, pictureLeft, pictureTop;  // turned coordinates
};

Layout planLayout(double scale, cv::RNG& rng)
{
    Layout l;
    l.width = int(std::lround(kBaseWidth * scale));
    l.height = int(std::lround(kBaseHeight * scale));
    // Cut ends well inside the outer 7 % of the width, where the cropping
    // stage looks for them.
    const int end = int(std::lround(0.035 * l.width));
    l.left = end + jitter(rng, 8);
    l.right = l.width - 1 - end + jitter(rng, 8);
    const int length = l.right - l.left + 1;
    l.filmLeft = int(std::lround(0.08 * l.height)) + jitter(rng, 10);
    l.soundLeft = l.filmLeft + kSoundFrom;
    l.pictureLeft = l.soundLeft + kSoundWidth - 1 + int(std::lround(0.05 * length));
    l.pictureTop = int(std::lround(0.22 * length)) + jitter(rng, 15);
    if (l.pictureLeft + kPictureWidth > l.filmLeft + kFilmWidth - kPerfFrom - kPerfWidth)
        throw std::runtime_error("scale too large: the picture would run into the perforations");
    return l;
}

void paintFrames(cv::Mat strip, const Layout& l, const FilmTone& tone, cv::RNG& rng)
{
    const cv::Mat scene = makeScene({kPictureWidth + 2 * kScenePad, kPictureLength + 2 * kScenePad}, rng);
    const cv::Point pan(rng.uniform(-3, 4), rng.uniform(-3, 4));
    const cv::Range columns(l.pictureLeft, l.pictureLeft + kPictureWidth);
    for (int k = -3; k <= 4; ++k) {
        const int top = l.pictureTop + k * kFramePitch;
        const cv::Range line(top - (kFramePitch - kPictureLength), top), picture(top, top + kPictureLength);
        if (picture.end <= 0 || line.start >= strip.rows)
            continue;
        cv::Rect cut(kScenePad + k * pan.x, kScenePad + k * pan.y, kPictureWidth, kPictureLength);
        cv::Rect rows(columns.start, picture.start, kPictureWidth, kPictureLength);
        cv::Rect inside = rows & cv::Rect(0, 0, strip.cols, strip.rows);
        if (!inside.empty())
            paintPicture(strip(inside), scene(cut)(cv::Rect(inside.tl() - rows.tl(), inside.size())), tone, rng);
        cv::Range lineRows(std::max(line.start, 0), std::min(line.end, strip.rows));
        if (lineRows.start < lineRows.end)
            fillShade(strip.rowRange(lineRows).colRange(columns), tone.frameLine, tone.tint, rng);
    }
}

void paintFilm(cv::Mat strip, const Layout& l, const FilmTone& tone, cv::RNG& rng)
{
    fillShade(strip.colRange(l.filmLeft, l.filmLeft + kFilmWidth), tone.base, tone.tint, rng);
    paintSoundTrack(strip.colRange(l.soundLeft, l.soundLeft + kSoundWidth), 0, tone, rng);
    const int rightPerfs = l.filmLeft + kFilmWidth - kPerfFrom - kPerfWidth;
    for (int j = -12; j <= 12; ++j) {
        const int top = l.pictureTop + 50 + int(std::lround(j * kPerfPitch));
        for (int left : {l.filmLeft + kPerfFrom, rightPerfs})
            paintHole(strip, cv::Rect(left, top, kPerfWidth, kPerfLength), rng);
    }
    paintFrames(strip, l, tone, rng);
}

}  // namespace

Scan makeSingleScan(const ScanRequest& request)
{
    cv::RNG rng(request.seed);
    const Layout l = planLayout(request.scale, rng);
    // Canvas rows are scan columns; the turned scan is rows left..right.
    cv::Mat canvas = newCanvas(l.width, l.height, request.channels, rng);
    cv::Mat turned = canvas.rowRange(l.left, l.right + 1);
    paintFilm(turned, l, filmTone(request.film, true), rng);
    const cv::Range film(l.filmLeft, l.filmLeft + kFilmWidth);
    paintCarrierEnd(canvas, 0, l.left, l.left, film, rng);
    paintCarrierEnd(canvas, l.right + 1, canvas.rows, l.right, film, rng);

    Scan scan;
    // A gray scan is turned a quarter clockwise for framing, a colour scan is
    // transposed: undo whichever applies.
    if (request.channels == 1)
        cv::rotate(canvas, scan.image, cv::ROTATE_90_COUNTERCLOCKWISE);
    else
        cv::transpose(canvas, scan.image);
    scan.cropLeft = l.left;
    scan.cropRight = l.right;
    scan.winRow = l.pictureTop - 1;  // the last frame-line row: the rise comes right after it
    scan.winCol = l.pictureLeft;
    scan.level = meanLevel(turned);
    return scan;
}

}  // namespace scangen
