// makeFilmScan: lays out the strip, paints it straight on a canvas a little
// larger than the scan, turns it by the tilt into the scan, lets the scanner
// add its light and grain, and carries the painted geometry through the same
// turn into the truth.
//
// Each part draws from its own random stream, so the layout (and with it the
// truth, in millimetres) does not change with the dpi, tilt, stock or number
// of channels of a request with the same seed.
#include "film.h"
#include "film_stages.h"
#include "scangen.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace scangen {

namespace {

// Straight pixels to scan pixels: the strip lies half a pixel off the
// scan's grid (so that even an untilted scan samples every painted edge
// between two pixels, softly, as optics do) and turns about the scan's
// middle, (W / 2, H / 2).
struct Turn {
    cv::Matx22d rotation;
    cv::Point2d centre;

    cv::Point2d operator()(cv::Point2d straight) const
    {
        const cv::Vec2d d = rotation * cv::Vec2d(straight.x + 0.5 - centre.x, straight.y + 0.5 - centre.y);
        return {centre.x + d[0], centre.y + d[1]};
    }
};

Turn turnFor(cv::Size scan, double tiltDegrees)
{
    const double a = tiltDegrees * CV_PI / 180, c = std::cos(a), s = std::sin(a);
    return {cv::Matx22d(c, -s, s, c), {scan.width / 2.0, scan.height / 2.0}};
}

// Canvas to scan: canvas pixel q is straight pixel q - pad.
cv::Matx23d warpMatrix(const Turn& turn, cv::Point pad)
{
    const cv::Point2d origin = turn({-double(pad.x), -double(pad.y)});
    return {turn.rotation(0, 0), turn.rotation(0, 1), origin.x, turn.rotation(1, 0), turn.rotation(1, 1), origin.y};
}

PictureTruth pictureTruth(const cv::Rect& picture, const Turn& turn, cv::Size scan)
{
    const double x0 = picture.x - 0.5, x1 = picture.x + picture.width - 0.5;
    const double y0 = picture.y - 0.5, y1 = picture.y + picture.height - 0.5;
    PictureTruth t;
    t.corners = {turn({x0, y0}), turn({x1, y0}), turn({x1, y1}), turn({x0, y1})};
    t.whole = std::all_of(t.corners.begin(), t.corners.end(), [&](const cv::Point2d& p) {
        return p.x >= -0.5 && p.y >= -0.5 && p.x <= scan.width - 0.5 && p.y <= scan.height - 0.5;
    });
    return t;
}

bool touchesScan(const PictureTruth& t, cv::Size scan)
{
    std::vector<cv::Point2f> quad, bounds{{-0.5f, -0.5f}, {scan.width - 0.5f, -0.5f},
                                          {scan.width - 0.5f, scan.height - 0.5f}, {-0.5f, scan.height - 0.5f}};
    for (const cv::Point2d& p : t.corners)
        quad.emplace_back(float(p.x), float(p.y));
    std::vector<cv::Point2f> common;
    return cv::intersectConvexConvex(quad, bounds, common) > 0;
}

double developedLevel(const StockLook& look, double scene)
{
    return look.negative ? look.base * (1 - look.negativeDepth * scene)
                         : look.pictureLo + (look.pictureHi - look.pictureLo) * std::pow(scene, look.gamma);
}

void checkRequest(const FilmRequest& r)
{
    if (r.channels != 1 && r.channels != 3)
        throw std::invalid_argument("film scans have 1 or 3 channels");
    if (!(r.dpi >= 100 && r.dpi <= 10000))
        throw std::invalid_argument("film scans take 100 to 10000 dpi");
    if (!(std::abs(r.tiltDegrees) <= 10))
        throw std::invalid_argument("film scans take a tilt of -10 to 10 degrees");
    if (r.frames < 1 || r.frames > 50)
        throw std::invalid_argument("film scans show 1 to 50 frames");
}

}  // namespace

FilmScan makeFilmScan(const FilmRequest& request)
{
    checkRequest(request);
    cv::RNG layoutRng(mixSeed(request.seed, 101)), lookRng(mixSeed(request.seed, 102));
    cv::RNG sceneRng(mixSeed(request.seed, 103)), paintRng(mixSeed(request.seed, 104));
    cv::RNG lightRng(mixSeed(request.seed, 105));
    const FilmLayout layout = planFilm(request, layoutRng);
    StockLook look = planLook(request.stock, lookRng);

    // Shots are made at most ~480 pixels across and enlarged per frame; a
    // second shot (a cut) follows now and then.
    const double shrink = std::max(1.0, layout.pictureSize.height / 480);
    const cv::Size small(std::max(8, int(std::lround(layout.pictureSize.width / shrink))),
                         std::max(8, int(std::lround(layout.pictureSize.height / shrink))));
    std::vector<Shot> shots{makeShot(request.scene, small, sceneRng)};
    const bool cut = sceneRng.uniform(0.0, 1.0) < 0.3;
    const int cutAt = cut ? sceneRng.uniform(1, std::max(2, request.frames)) : 1 << 30;
    if (cut)
        shots.push_back(makeShot(request.scene, small, sceneRng));
    // The frame line beside an inner rise's dark half is as faint as the
    // stock allows: its level is the dark half's.
    if (shots.front().kind == SceneKind::InnerRise && !look.negative)
        look.frameArea = std::max(0.0, developedLevel(look, shots.front().darkSide) + sceneRng.uniform(-5.0, 5.0));

    const cv::Point pad = canvasPad(layout.scan, request.tiltDegrees);
    cv::Mat canvas(layout.scan.height + 2 * pad.y, layout.scan.width + 2 * pad.x, CV_8UC(request.channels));
    paintStrip(canvas, {layout, look, pad, request.channels, request.damage}, shots, cutAt, paintRng);

    const Turn turn = turnFor(layout.scan, request.tiltDegrees);
    FilmScan scan;
    cv::warpAffine(canvas, scan.image, warpMatrix(turn, pad), layout.scan, cv::INTER_LINEAR, cv::BORDER_REPLICATE);
    if (request.damage)
        scannerLight(scan.image, canvas, request.dpi, look, lightRng);

    for (const FramePlace& frame : layout.frames) {
        const PictureTruth t = pictureTruth(frame.picture, turn, layout.scan);
        if (touchesScan(t, layout.scan))
            scan.pictures.push_back(t);
    }
    for (const cv::Rect& hole : layout.perforations) {
        const cv::Point2d centre = turn({hole.x + (hole.width - 1) / 2.0, hole.y + (hole.height - 1) / 2.0});
        if (centre.x >= -0.5 && centre.y >= -0.5 && centre.x <= layout.scan.width - 0.5
            && centre.y <= layout.scan.height - 0.5)
            scan.perforations.push_back(centre);
    }
    std::sort(scan.perforations.begin(), scan.perforations.end(),
              [](const cv::Point2d& a, const cv::Point2d& b) { return a.x < b.x || (a.x == b.x && a.y < b.y); });
    std::sort(scan.pictures.begin(), scan.pictures.end(), [](const PictureTruth& a, const PictureTruth& b) {
        return a.corners[0].x + a.corners[2].x < b.corners[0].x + b.corners[2].x;
    });

    scan.perforationPitch = layout.perforationPitch;
    scan.framePitch = layout.framePitch;
    scan.gauge = request.gauge;
    scan.tiltDegrees = request.tiltDegrees;
    scan.perforationsPerFrame = layout.perforationsPerFrame;
    scan.perforationRows = layout.perforationRows;
    scan.perforationSize = layout.perforationSize;
    scan.pictureSize = layout.pictureSize;
    scan.filmWidth = layout.filmBottom - layout.filmTop;
    scan.dpi = request.dpi;
    scan.stock = request.stock;
    scan.soundTrack = layout.sound;
    scan.fullAperture = layout.fullAperture;
    scan.scene = shots.front().kind;
    return scan;
}

const char* gaugeName(Gauge gauge)
{
    switch (gauge) {
    case Gauge::Film35: return "35";
    case Gauge::Film16: return "16";
    case Gauge::Super8: return "super8";
    case Gauge::Regular8: return "8";
    }
    return "?";
}

const char* stockName(Stock stock)
{
    switch (stock) {
    case Stock::Print: return "print";
    case Stock::Reversal: return "reversal";
    case Stock::Negative: return "negative";
    }
    return "?";
}

const char* sceneName(SceneKind scene)
{
    switch (scene) {
    case SceneKind::Mixed: return "mixed";
    case SceneKind::Landscape: return "landscape";
    case SceneKind::Night: return "night";
    case SceneKind::HighKey: return "high-key";
    case SceneKind::Figures: return "figures";
    case SceneKind::EdgeFigure: return "edge-figure";
    case SceneKind::InnerRise: return "inner-rise";
    }
    return "?";
}

}  // namespace scangen
