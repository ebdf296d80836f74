// Lays out one scan's strip: the gauge's perforations, pictures, frame lines
// and sound track in straight scan pixels, from the gauge's published sizes
// varied a few percent (prints shrink, scanners stretch each axis their own
// way), and the scan's extent around them.
//
// Across the strip millimetres count from the "top" edge: the one with the
// only row of perforations, or on 35 mm the one beside the sound track. A
// scan may show the strip either way up. Along it they count from the first
// whole frame's frame line; a frame runs from its frame line to the next.
#include "film_stages.h"

#include <algorithm>
#include <cmath>

namespace scangen {

namespace {

struct GaugeSizes {
    double width;                   // film, mm
    double perforationPitch;        // mm
    int perforationsPerFrame;
    double perfAlong, perfAcross;   // the hole, mm
    double perfEdge;                // film edge to the hole's outer side, mm
    double perfRadius;              // punched corners, mm
    bool twoRows;                   // a row at each edge, else at the top only
    double pictureAlong, pictureAcross, pictureCentre;  // camera aperture; centre from the top edge
    double perfFromLine;            // first perforation centre after the frame line, perforation pitches
    double soundFrom, soundWidth;   // across from the top edge, mm; width 0: none
};

// The perforation sits at the frame line on 16 mm and regular 8 mm, beside
// the middle of the picture on Super 8, and on 35 mm the frame line falls
// between two of the frame's four.
GaugeSizes gaugeSizes(Gauge gauge, bool sound, bool fullAperture)
{
    switch (gauge) {
    case Gauge::Film35:
        if (fullAperture)
            return {35.0, 4.75, 4, 1.98, 2.79, 2.01, 0.51, true, 18.67, 24.89, 17.5, 0.5, 0, 0};
        return {35.0, 4.75, 4, 1.98, 2.79, 2.01, 0.51, true, 16.0, 21.95, 18.75, 0.5, 5.05, sound ? 2.3 : 0};
    case Gauge::Film16:
        if (sound)
            return {16.0, 7.62, 1, 1.27, 1.83, 0.9, 0.25, false, 7.49, 10.26, 8.0, 0.0, 13.4, 2.0};
        return {16.0, 7.62, 1, 1.27, 1.83, 0.9, 0.25, true, 7.49, 10.26, 8.0, 0.0, 0, 0};
    case Gauge::Super8:
        return {8.0, 4.234, 1, 1.143, 0.914, 0.51, 0.13, false, 4.01, 5.79, 4.5, 0.5, 0, 0};
    case Gauge::Regular8:
        break;
    }
    return {8.0, 3.81, 1, 1.27, 1.83, 0.9, 0.25, false, 3.68, 4.88, 5.34, 0.0, 0, 0};
}

// The pixel index just past an edge at e: edges snap to the nearest pixel
// boundary (a half-integer), so that painted areas are whole pixels.
int boundary(double e) { return int(std::lround(e + 0.5)); }

cv::Range rows(double from, double to) { return {boundary(from), boundary(to)}; }

cv::Rect box(double x0, double x1, double y0, double y1)
{
    return {boundary(x0), boundary(y0), boundary(x1) - boundary(x0), boundary(y1) - boundary(y0)};
}

// Across the strip, mm: where pictures may go (clear of holes and track).
struct Clearance {
    double above, below;
};

Clearance clearance(const GaugeSizes& g, double perfAcross)
{
    const double holeInner = g.perfEdge + perfAcross;
    Clearance c{holeInner, g.twoRows ? g.width - holeInner : g.width - 0.15};
    if (g.soundWidth > 0) {
        if (g.soundFrom < g.width / 2)
            c.above = g.soundFrom + g.soundWidth;
        else
            c.below = g.soundFrom;
    }
    return c;
}

}  // namespace

cv::Point canvasPad(cv::Size scan, double tiltDegrees)
{
    const double a = std::abs(tiltDegrees) * CV_PI / 180, c = std::cos(a), s = std::sin(a);
    const double halfX = (scan.width * c + scan.height * s) / 2, halfY = (scan.width * s + scan.height * c) / 2;
    return {int(std::ceil(halfX - scan.width / 2.0)) + 2, int(std::ceil(halfY - scan.height / 2.0)) + 2};
}

FilmLayout planFilm(const FilmRequest& request, cv::RNG& rng)
{
    // Every draw happens whatever the request, in one order, so that the
    // same seed lays out the same film at any dpi, tilt or stock.
    const double apertureDraw = rng.uniform(0.0, 1.0);
    const bool full = request.gauge == Gauge::Film35
                   && (request.aperture == Aperture::Full
                       || (request.aperture == Aperture::Auto && !request.soundTrack && apertureDraw < 0.5));
    const bool sound = request.soundTrack && !full
                    && (request.gauge == Gauge::Film35 || request.gauge == Gauge::Film16);
    const GaugeSizes g = gaugeSizes(request.gauge, sound, full);

    const double mmToPx = request.dpi / 25.4, shrink = rng.uniform(0.985, 1.0);
    FilmLayout l;
    l.alongScale = mmToPx * shrink * rng.uniform(0.985, 1.02);
    l.acrossScale = mmToPx * shrink * rng.uniform(0.985, 1.02);
    const double perfAlong = g.perfAlong * rng.uniform(0.97, 1.03), perfAcross = g.perfAcross * rng.uniform(0.97, 1.03);
    const double frameMm = g.perforationPitch * g.perforationsPerFrame;
    const double pictureAlong = std::min(g.pictureAlong * rng.uniform(0.96, 1.02), frameMm - 0.1);
    double pictureAcross = g.pictureAcross * rng.uniform(0.96, 1.02);
    double pictureCentre = g.pictureCentre + rng.uniform(-0.1, 0.1);
    const double perfFromLine = g.perfFromLine + rng.uniform(-0.02, 0.02);
    const bool flip = rng.uniform(0, 2) == 1;
    const double lengthDraw = rng.uniform(0.0, 1.0), placeDraw = rng.uniform(0.0, 1.0);
    const double marginTopDraw = rng.uniform(0.03, 0.15), marginBottomDraw = rng.uniform(0.03, 0.15);
    const double frameAreaDraw[2] = {rng.uniform(0.0, 1.0), rng.uniform(0.0, 1.0)};
    const double pictureRadiusDraw = rng.uniform(0.02, 0.06);

    // Keep the picture clear of holes and track, however the sizes varied.
    const Clearance free = clearance(g, perfAcross);
    pictureAcross = std::min(pictureAcross, free.below - free.above - 0.16);
    pictureCentre = std::clamp(pictureCentre, free.above + 0.08 + pictureAcross / 2, free.below - 0.08 - pictureAcross / 2);

    // The scan's extent: along, one frame and parts of its neighbours or the
    // asked number of frames and some; across, the film and the scanner's
    // background, room enough that the strip stays in at the steepest tilt.
    const double lengthMm = request.frames <= 1 ? frameMm * (1.45 + 0.4 * lengthDraw)
                                                : frameMm * (request.frames + 0.35 + 0.55 * lengthDraw);
    const double slant = 0.5 * lengthMm * std::sin(CV_PI / 180) + 0.2;
    const double marginTop = marginTopDraw * g.width + slant, marginBottom = marginBottomDraw * g.width + slant;
    l.scan = {int(std::lround(lengthMm * l.alongScale)),
              int(std::lround((g.width + marginTop + marginBottom) * l.acrossScale))};

    // Across: mm from the top edge to straight rows, either way up.
    const double filmEdge = marginTop * l.acrossScale - 0.5;
    auto across = [&](double mm) { return filmEdge + (flip ? g.width - mm : mm) * l.acrossScale; };
    auto acrossRows = [&](double fromMm, double toMm) {
        const double a = across(fromMm), b = across(toMm);
        return rows(std::min(a, b), std::max(a, b));
    };
    l.filmTop = boundary(across(flip ? g.width : 0));
    l.filmBottom = boundary(across(flip ? 0 : g.width));
    const double pictureTopMm = pictureCentre - pictureAcross / 2, pictureBottomMm = pictureCentre + pictureAcross / 2;
    l.frameArea = acrossRows(pictureTopMm - frameAreaDraw[0] * (pictureTopMm - free.above - 0.05),
                             pictureBottomMm + frameAreaDraw[1] * (free.below - 0.05 - pictureBottomMm));
    l.sound = sound;
    if (sound)
        l.soundRows = acrossRows(g.soundFrom, g.soundFrom + g.soundWidth);
    l.fullAperture = full;
    l.perforationRows = g.twoRows ? 2 : 1;
    l.perforationsPerFrame = g.perforationsPerFrame;
    l.perforationPitch = g.perforationPitch * l.alongScale;
    l.framePitch = frameMm * l.alongScale;
    l.perforationSize = {perfAlong * l.alongScale, perfAcross * l.acrossScale};
    l.perforationRadius = int(std::lround(g.perfRadius * std::min(l.alongScale, l.acrossScale)));
    l.pictureSize = {pictureAlong * l.alongScale, pictureAcross * l.acrossScale};
    l.pictureRadius = int(std::lround(pictureRadiusDraw * pictureAcross * l.acrossScale));

    // Edge lettering: the margins outside each row of perforations and the
    // rows' own band between the holes; on one-row film also the free edge
    // beyond the pictures.
    std::vector<double> rowCentres{g.perfEdge + perfAcross / 2};
    if (g.twoRows)
        rowCentres.push_back(g.width - g.perfEdge - perfAcross / 2);
    for (double centre : rowCentres) {
        const bool top = centre < g.width / 2;
        l.letterRows.push_back(top ? acrossRows(0.12, g.perfEdge - 0.08)
                                   : acrossRows(g.width - g.perfEdge + 0.08, g.width - 0.12));
        l.letterRows.push_back(acrossRows(centre - 0.4 * perfAcross, centre + 0.4 * perfAcross));
    }
    if (!g.twoRows && !sound && g.width - pictureBottomMm > 0.45)
        l.letterRows.push_back(acrossRows(pictureBottomMm + 0.12, g.width - 0.12));

    // Along: the pictures whole in the scan sit where the request wants
    // them, clear of the ends by what the steepest tilt swings them. In
    // millimetres from the scan's left edge, so that any dpi places them alike.
    const double swing = 0.5 * pictureAcross * std::sin(CV_PI / 180) + 0.1;
    double firstLeft;  // the first whole picture's left edge
    if (request.frames <= 1) {
        const double room = std::max(0.0, lengthMm - pictureAlong - 2 * swing);
        firstLeft = (lengthMm - pictureAlong) / 2 + (placeDraw - 0.5) * 0.2 * room;
    } else {
        const double run = (request.frames - 1) * frameMm + pictureAlong;
        firstLeft = swing + placeDraw * std::max(0.0, lengthMm - run - 2 * swing);
    }
    // Straight x of the first whole frame's frame line (the scan's left edge is x = -0.5).
    const double line0 = (firstLeft - (frameMm - pictureAlong) / 2) * l.alongScale - 0.5;
    const double picturePx = l.pictureSize.width;

    const cv::Point pad = canvasPad(l.scan, request.tiltDegrees);
    const int kFrom = int(std::floor((-pad.x - line0) / l.framePitch)) - 1;
    const int kTo = int(std::ceil((l.scan.width + pad.x - line0) / l.framePitch)) + 1;
    const cv::Range pictureRows = acrossRows(pictureTopMm, pictureBottomMm);
    for (int k = kFrom; k <= kTo; ++k) {
        const double line = line0 + k * l.framePitch;
        const double left = line + (l.framePitch - picturePx) / 2;
        l.frames.push_back({k, box(left, left + picturePx, pictureRows.start - 0.5, pictureRows.end - 0.5)});
        for (int j = 0; j < g.perforationsPerFrame; ++j) {
            const double x = line + (perfFromLine + j) * l.perforationPitch;
            for (double centre : rowCentres) {
                const double y = across(centre);
                l.perforations.push_back(box(x - l.perforationSize.width / 2, x + l.perforationSize.width / 2,
                                             y - l.perforationSize.height / 2, y + l.perforationSize.height / 2));
            }
        }
    }
    return l;
}

}  // namespace scangen
