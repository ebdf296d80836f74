// Wear on the strip, painted in the strip's own coordinates so that it turns
// with it: now and then a splice (a bright band across the film with the
// cement's edge at each side), scratches running along the strip, dust
// specks and hairs.
#include "film_stages.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <vector>

namespace scangen {

void paintSplice(cv::Mat canvas, const StripPlan& plan, cv::RNG& rng)
{
    const FilmLayout& l = plan.layout;
    const bool spliced = rng.uniform(0.0, 1.0) < 0.18;
    const double centre = rng.uniform(0.05, 0.95) * l.scan.width, width = rng.uniform(0.8, 3.0) * l.alongScale;
    const double opacity = rng.uniform(0.4, 0.8), level = rng.uniform(215.0, 245.0);
    if (!spliced)
        return;
    const cv::Rect band(int(centre - width / 2) + plan.pad.x, l.filmTop + plan.pad.y, int(width),
                        l.filmBottom - l.filmTop);
    const cv::Rect inside = band & cv::Rect(0, 0, canvas.cols, canvas.rows);
    if (inside.empty())
        return;
    cv::Mat area = canvas(inside);
    area.convertTo(area, -1, 1 - opacity, level * opacity);
    const cv::Scalar edge = tinted(plan.look, plan.look.base * 0.5, plan.channels);
    const int thickness = std::max(1, int(0.05 * l.alongScale));
    for (int x : {band.x, band.x + band.width - 1})
        cv::line(canvas, {x, band.y}, {x, band.y + band.height - 1}, edge, thickness);
}

void paintScratchesAndDust(cv::Mat canvas, const StripPlan& plan, cv::RNG& rng)
{
    const FilmLayout& l = plan.layout;
    const double mm = l.alongScale;
    const int filmRows = l.filmBottom - l.filmTop;

    // Scratches: long, thin, wandering a little across; emulsion scratches
    // let light through, base scratches scatter it.
    const int scratches = rng.uniform(0.0, 1.0) < 0.3 ? 0 : rng.uniform(1, 7);
    for (int i = 0; i < scratches; ++i) {
        const double y = l.filmTop + rng.uniform(0, filmRows) + plan.pad.y;
        const double from = rng.uniform(-0.2, 0.8) * canvas.cols, length = rng.uniform(0.3, 1.5) * canvas.cols;
        const cv::Scalar colour = cv::Scalar::all(rng.uniform(0, 2) ? rng.uniform(180.0, 250.0) : rng.uniform(5.0, 40.0));
        const int thickness = std::max(1, int(std::lround(rng.uniform(0.006, 0.02) * mm)));
        std::vector<cv::Point> path;
        double drift = 0;
        for (int s = 0; s <= 8; ++s) {
            drift += rng.uniform(-0.03, 0.03) * mm;
            path.emplace_back(int(from + length * s / 8), int(std::lround(y + drift)));
        }
        cv::polylines(canvas, path, false, colour, thickness, cv::LINE_AA);
    }

    // Dust: dark specks anywhere on the strip, and a few hairs.
    const double areaMm = double(canvas.cols) * filmRows / (mm * l.acrossScale);
    const int specks = int(areaMm * rng.uniform(0.004, 0.04));
    for (int i = 0; i < specks; ++i) {
        const cv::Point at(rng.uniform(0, canvas.cols), l.filmTop + plan.pad.y + rng.uniform(0, std::max(1, filmRows)));
        const cv::Size axes(std::max(1, int(rng.uniform(0.005, 0.05) * mm)), std::max(1, int(rng.uniform(0.005, 0.05) * mm)));
        cv::ellipse(canvas, at, axes, rng.uniform(0.0, 180.0), 0, 360, cv::Scalar::all(rng.uniform(0.0, 60.0)), cv::FILLED,
                    cv::LINE_AA);
    }
    for (int i = rng.uniform(0, 4); i > 0; --i) {
        std::vector<cv::Point> hair{{rng.uniform(0, canvas.cols), l.filmTop + plan.pad.y + rng.uniform(0, std::max(1, filmRows))}};
        double angle = rng.uniform(0.0, 2 * CV_PI);
        const double step = rng.uniform(0.5, 4.0) * mm / 12;
        for (int s = 0; s < 12; ++s) {
            angle += rng.uniform(-0.5, 0.5);
            hair.push_back(hair.back() + cv::Point(int(step * std::cos(angle)), int(step * std::sin(angle))));
        }
        cv::polylines(canvas, hair, false, cv::Scalar::all(rng.uniform(0.0, 50.0)),
                      std::max(1, int(rng.uniform(0.01, 0.02) * mm)), cv::LINE_AA);
    }
}

}  // namespace scangen
