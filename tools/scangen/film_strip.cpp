// Paints the straight strip onto the canvas, back to front: the scanner's
// surround, the film base, the printed area around the pictures (frame lines
// and margins), the sound track, the pictures, wear, and last the holes and
// the edge lettering, which no picture or scratch covers.
#include "film_stages.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace scangen {

namespace {

cv::Rect canvasRect(const cv::Mat& canvas) { return {0, 0, canvas.cols, canvas.rows}; }

cv::Mat rowBand(cv::Mat canvas, cv::Range rows, int padY)
{
    const int from = std::clamp(rows.start + padY, 0, canvas.rows), to = std::clamp(rows.end + padY, 0, canvas.rows);
    return canvas.rowRange(from, std::max(from, to));
}

// One frame's picture: its cut of the shot, developed on the stock at the
// shot's small size, enlarged straight into the canvas (only the part the
// canvas holds), its corners then rounded off into the frame line.
void paintPicture(cv::Mat canvas, const StripPlan& plan, const FramePlace& frame, const Shot& shot,
                  cv::Size small)
{
    const cv::Rect area = frame.picture + plan.pad;
    const cv::Rect inside = area & canvasRect(canvas);
    if (inside.empty())
        return;
    const int spanX = shot.scene.cols - small.width, spanY = shot.scene.rows - small.height;
    const cv::Point at(std::clamp(shot.margin + int(std::lround(frame.index * shot.pan.x)), 0, spanX),
                       std::clamp(shot.margin + int(std::lround(frame.index * shot.pan.y)), 0, spanY));
    const cv::Mat developed = developScene(shot.scene(cv::Rect(at, small)), plan.look, plan.channels);
    // Enlarging with pixel centres kept as a resize keeps them: x_small + 0.5
    // = (x + 0.5) / scale, here for the part of the picture in `inside`.
    const double sx = double(area.width) / small.width, sy = double(area.height) / small.height;
    const cv::Matx23d enlarge(sx, 0, 0.5 * sx - 0.5 + area.x - inside.x, 0, sy, 0.5 * sy - 0.5 + area.y - inside.y);
    cv::Mat target = canvas(inside);
    cv::warpAffine(developed, target, enlarge, inside.size(), cv::INTER_LINEAR, cv::BORDER_REPLICATE);

    const int r = std::clamp(plan.layout.pictureRadius, 0, (std::min(area.width, area.height) - 1) / 2);
    if (r == 0)
        return;
    // Outside a quarter circle in each corner square: the frame line.
    cv::Mat outside(2 * r + 1, 2 * r + 1, CV_8U, cv::Scalar(255));
    cv::circle(outside, {r, r}, r, cv::Scalar(0), cv::FILLED);
    const cv::Scalar line = tinted(plan.look, plan.look.frameArea, plan.channels);
    const int right = area.x + area.width - 1 - r, bottom = area.y + area.height - 1 - r;
    const cv::Rect quarters[4] = {{0, 0, r, r}, {r + 1, 0, r, r}, {0, r + 1, r, r}, {r + 1, r + 1, r, r}};
    const cv::Point corners[4] = {{area.x, area.y}, {right + 1, area.y}, {area.x, bottom + 1}, {right + 1, bottom + 1}};
    for (int i = 0; i < 4; ++i) {
        const cv::Rect square = cv::Rect(corners[i], quarters[i].size()) & canvasRect(canvas);
        if (!square.empty())
            canvas(square).setTo(line, outside(cv::Rect(quarters[i].tl() + square.tl() - corners[i], square.size())));
    }
}

}  // namespace

void fillRounded(cv::Mat image, const cv::Rect& area, int radius, const cv::Scalar& colour)
{
    if (area.width <= 0 || area.height <= 0)
        return;
    radius = std::clamp(radius, 0, (std::min(area.width, area.height) - 1) / 2);
    cv::rectangle(image, cv::Rect(area.x + radius, area.y, area.width - 2 * radius, area.height), colour, cv::FILLED);
    cv::rectangle(image, cv::Rect(area.x, area.y + radius, area.width, area.height - 2 * radius), colour, cv::FILLED);
    if (radius == 0)
        return;
    const int right = area.x + area.width - 1 - radius, bottom = area.y + area.height - 1 - radius;
    for (cv::Point corner : {cv::Point(area.x + radius, area.y + radius), cv::Point(right, area.y + radius),
                             cv::Point(area.x + radius, bottom), cv::Point(right, bottom)})
        cv::circle(image, corner, radius, colour, cv::FILLED);
}

void paintStrip(cv::Mat canvas, const StripPlan& plan, const std::vector<Shot>& shots, int cutAt, cv::RNG& rng)
{
    const FilmLayout& l = plan.layout;
    const StockLook& look = plan.look;
    // Each row once: surround above and below the film, base on it.
    const cv::Scalar surround = cv::Scalar::all(look.surround);
    rowBand(canvas, {-plan.pad.y, l.filmTop}, plan.pad.y).setTo(surround);
    rowBand(canvas, {l.filmBottom, canvas.rows - plan.pad.y}, plan.pad.y).setTo(surround);
    rowBand(canvas, {l.filmTop, l.filmBottom}, plan.pad.y).setTo(tinted(look, look.base, plan.channels));
    rowBand(canvas, l.frameArea, plan.pad.y).setTo(tinted(look, look.frameArea, plan.channels));
    if (l.sound)
        paintFilmSound(rowBand(canvas, l.soundRows, plan.pad.y), l.alongScale, look, l.perforationPitch, rng);

    // Shots are made at one small size; every picture is enlarged from it.
    const cv::Size small(shots.front().scene.cols - 2 * shots.front().margin,
                         shots.front().scene.rows - 2 * shots.front().margin);
    for (const FramePlace& frame : l.frames)
        paintPicture(canvas, plan, frame, frame.index < cutAt ? shots.front() : shots.back(), small);

    if (plan.damage) {
        paintSplice(canvas, plan, rng);
        paintScratchesAndDust(canvas, plan, rng);
    }
    paintPerforations(canvas, plan);
    paintEdgeLettering(canvas, plan, rng);
}

}  // namespace scangen
