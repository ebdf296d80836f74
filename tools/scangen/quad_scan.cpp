// Four consecutive frames of a narrow strip per scan, 900 dpi.
//
// Across the strip (turned columns, from the left): carrier rail, then the
// 567 px (1.6 cm) film: 18 px edge, sound band 90 px, picture 248 px (0.7 cm),
// base, one perforation of 65 x 45 px per frame centred on the frame line,
// 24 px edge, then rail. Along the strip (turned rows, which run from the
// scan's right edge to its left): pictures of 230 px and 40 px frame lines,
// pitch 270 px (7.62 mm).
//
// The scan is 1300 px along the strip whatever the scale: the pitch is
// measured from frame starts in fixed fractions of that length (one in the
// upper part, the fourth-next in the last tenth), so only the background
// across the strip grows with --scale.
#include "scangen.h"

#include <opencv2/core.hpp>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace scangen {

namespace {

constexpr int kScanWidth = 1300, kBaseHeight = 700;
constexpr int kFilmWidth = 567;
constexpr int kSoundFrom = 18, kSoundWidth = 90, kPictureWidth = 248;
constexpr int kPerfFrom = 478, kPerfWidth = 65, kPerfLength = 45;
constexpr int kPitch = 270, kPictureLength = 230;
constexpr int kScenePad = 24;

int floatRounded(double v) { return int(std::lround(double(float(v)))); }

// Rows where the first of the four pictures may start. Calibration takes the
// pitch from the strongest rise of the row share in each of two ranges of
// the lower 80 %: the second picture must start alone in the first range
// (rows 0.2 H to 0.45 H), the fifth alone in the last (0.9 H to the bottom)
// and one row clear of the bottom, where the light gap at the cut end rises
// too. Window location wants the first start within 0.01 H to 0.18 H.
cv::Range frameStartRange(int length)
{
    const int lower = floatRounded(0.2 * length);  // first row of the measured part
    const int firstEnd = lower + floatRounded(0.25 * length), lastStart = lower + floatRounded(0.7 * length);
    // A picture starting at row a shows as a rise at difference index a - 1 - lower,
    // so range bounds in rows are the index bounds plus lower + 1.
    int lo = std::max({int(0.01 * length) + 1, lower + 2 - kPitch, firstEnd + 1 - 2 * kPitch,
                       lastStart + 1 - 4 * kPitch});
    int hi = std::min({int(0.18 * length), firstEnd - kPitch, lastStart - 3 * kPitch, length - 2 - 4 * kPitch});
    return {lo, hi};
}

struct Layout {
    int height;               // loaded scan; its width is kScanWidth
    int left, right;          // crop edges, scan columns
    int firstRow;             // canvas row of turned row 0
    int length;               // turned scan height
    int soundEnd;             // last sound-band column: the window's first column
    int filmLeft, pictureTop; // turned coordinates
};

Layout planLayout(double scale, cv::RNG& rng)
{
    Layout l;
    l.height = int(std::lround(kBaseHeight * scale));
    l.left = 13 + rng.uniform(-5, 6);  // inside the leftmost 2 %
    l.right = int(std::floor(0.98 * kScanWidth)) - 1;
    l.firstRow = kScanWidth - 1 - l.right;
    l.length = l.right - l.left + 1;
    const cv::Range starts = frameStartRange(l.length);
    if (starts.start > starts.end)
        throw std::runtime_error("no room for four frames");
    const int spread = (starts.end - starts.start) / 4;
    l.pictureTop = (starts.start + starts.end) / 2 + rng.uniform(-spread, spread + 1);
    l.soundEnd = int(std::lround(0.25 * l.height)) + rng.uniform(-6, 7);
    l.filmLeft = l.soundEnd + 1 - kSoundFrom - kSoundWidth;
    return l;
}

void paintFrames(cv::Mat strip, const Layout& l, const FilmTone& tone, cv::RNG& rng)
{
    const cv::Mat scene = makeScene({kPictureWidth + 2 * kScenePad, kPictureLength + 2 * kScenePad}, rng);
    const cv::Point pan(rng.uniform(-3, 4), rng.uniform(-3, 4));
    const int pictureLeft = l.soundEnd + 1;
    for (int k = -2; k <= 5; ++k) {
        const int top = l.pictureTop + k * kPitch;
        const cv::Rect rows(pictureLeft, top, kPictureWidth, kPictureLength);
        const cv::Rect inside = rows & cv::Rect(0, 0, strip.cols, strip.rows);
        if (!inside.empty()) {
            cv::Rect cut(kScenePad + k * pan.x, kScenePad + k * pan.y, kPictureWidth, kPictureLength);
            paintPicture(strip(inside), scene(cut)(cv::Rect(inside.tl() - rows.tl(), inside.size())), tone, rng);
        }
        // Frame line below this picture, and the perforation centred on it.
        const int lineFrom = std::max(top + kPictureLength, 0), lineTo = std::min(top + kPitch, strip.rows);
        if (lineFrom < lineTo)
            fillShade(strip.rowRange(lineFrom, lineTo).colRange(pictureLeft, pictureLeft + kPictureWidth),
                      tone.frameLine, tone.tint, rng);
        const int centre = top + (kPictureLength + kPitch) / 2;
        paintHole(strip, cv::Rect(l.filmLeft + kPerfFrom, centre - kPerfLength / 2, kPerfWidth, kPerfLength), rng);
    }
}

}  // namespace

Scan makeQuadScan(const ScanRequest& request)
{
    cv::RNG rng(request.seed);
    const Layout l = planLayout(request.scale, rng);
    const FilmTone tone = filmTone(request.film, false);
    // Canvas rows are scan columns from right to left: turned row t is
    // canvas row firstRow + t.
    cv::Mat canvas = newCanvas(kScanWidth, l.height, request.channels, rng);
    cv::Mat strip = canvas.rowRange(l.firstRow, l.firstRow + l.length);
    fillShade(strip.colRange(l.filmLeft, l.filmLeft + kFilmWidth), tone.base, tone.tint, rng);
    paintSoundTrack(strip.colRange(l.filmLeft + kSoundFrom, l.filmLeft + kSoundFrom + kSoundWidth), 0, tone, rng);
    paintFrames(strip, l, tone, rng);
    const cv::Range film(l.filmLeft, l.filmLeft + kFilmWidth);
    // Left cut end: turned bottom row; right end just outside the crop.
    paintCarrierEnd(canvas, l.firstRow + l.length, canvas.rows, l.firstRow + l.length - 1, film, rng);
    paintCarrierEnd(canvas, 0, l.firstRow - 1, l.firstRow - 1, film, rng);

    Scan scan;
    cv::rotate(canvas, scan.image, cv::ROTATE_90_CLOCKWISE);  // undo the quarter turn
    scan.cropLeft = l.left;
    scan.cropRight = l.right;
    scan.winRow = l.pictureTop - 1;
    scan.winCol = l.soundEnd;
    scan.pitch = kPitch;
    scan.level = meanLevel(strip);
    return scan;
}

}  // namespace scangen
