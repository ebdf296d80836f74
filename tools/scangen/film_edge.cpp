// The film's edges: the perforations, showing the scanner's light or lid
// through the base, and the edge lettering printed beside and between them
// (stock names, key numbers, symbols) at irregular spacing, as contrasty as
// the holes. Some symbols are solid blocks near a hole's size: the marks a
// plain threshold takes for perforations.
#include "film_stages.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>

namespace scangen {

namespace {

const std::array<const char*, 12> kWords{"KODAK", "EASTMAN", "SAFETY FILM", "AGFA", "FUJI", "ORWO",
                                         "5247", "7291", "ILFORD", "PANCHRO", "PRINT", "SAFETY"};

std::string edgeText(cv::RNG& rng)
{
    char key[40];
    switch (rng.uniform(0, 5)) {
    case 0:
        return kWords[size_t(rng.uniform(0, int(kWords.size())))];
    case 1:
        std::snprintf(key, sizeof key, "K%c %02d %04d", 'A' + rng.uniform(0, 26), rng.uniform(10, 99),
                      rng.uniform(0, 10000));
        return key;
    case 2:
        std::snprintf(key, sizeof key, "%d", rng.uniform(1, 99999));
        return key;
    case 3:
        return std::to_string(rng.uniform(1, 99));  // short enough to fit between holes
    default:
        return std::string(kWords[size_t(rng.uniform(0, int(kWords.size())))]) + " " + std::to_string(rng.uniform(1, 99));
    }
}

bool touchesHole(const cv::Rect& box, const std::vector<cv::Rect>& holes, int clearance)
{
    for (const cv::Rect& hole : holes)
        if ((box & (hole + cv::Point(-clearance, -clearance) + cv::Size(2 * clearance, 2 * clearance))).area() > 0)
            return true;
    return false;
}

// Lettering in one zone (straight rows), along the whole canvas.
void letterZone(cv::Mat canvas, const StripPlan& plan, cv::Range zone, cv::RNG& rng)
{
    const FilmLayout& l = plan.layout;
    const int height = zone.size();
    if (height < 4)
        return;
    const cv::Scalar ink = tinted(plan.look, plan.look.letters, plan.channels);
    const int clearance = std::max(2, int(0.25 * l.alongScale));  // lettering never touches a hole
    const double mm = l.alongScale;
    double x = -plan.pad.x + rng.uniform(0.0, 6.0) * mm;
    while (x < l.scan.width + plan.pad.x) {
        const int textHeight = std::max(3, int(height * rng.uniform(0.55, 0.9)));
        cv::Rect box;
        if (rng.uniform(0.0, 1.0) < 0.3) {
            // A block or dot mark.
            const cv::Size size(std::max(2, int(l.perforationSize.width * rng.uniform(0.3, 0.8))), textHeight);
            box = cv::Rect(cv::Point(int(x), zone.start + (height - size.height) / 2), size);
            if (!touchesHole(box, l.perforations, clearance))
                fillRounded(canvas, box + plan.pad, rng.uniform(0, 2) ? 0 : size.width / 2, ink);
        } else {
            const int font = rng.uniform(0, 2) ? cv::FONT_HERSHEY_SIMPLEX : cv::FONT_HERSHEY_DUPLEX;
            const int thickness = std::max(1, textHeight / 9);
            const double scale = cv::getFontScaleFromHeight(font, textHeight, thickness);
            const std::string text = edgeText(rng);
            int baseline = 0;
            const cv::Size size = cv::getTextSize(text, font, scale, thickness, &baseline);
            box = cv::Rect(int(x), zone.start + (height - size.height) / 2, size.width, size.height);
            if (!touchesHole(box, l.perforations, clearance)) {
                // Upside down and mirrored when the strip lies base up.
                const bool turned = rng.uniform(0, 2);
                const cv::Point origin = box.tl() + plan.pad + cv::Point(0, turned ? 0 : size.height);
                cv::putText(canvas, text, origin, font, scale, ink, thickness, cv::LINE_AA, turned);
            }
        }
        x += box.width + rng.uniform(0.4, 9.0) * mm;
    }
}

}  // namespace

void paintPerforations(cv::Mat canvas, const StripPlan& plan)
{
    for (const cv::Rect& hole : plan.layout.perforations)
        fillRounded(canvas, hole + plan.pad, plan.layout.perforationRadius, cv::Scalar::all(plan.look.surround));
}

void paintEdgeLettering(cv::Mat canvas, const StripPlan& plan, cv::RNG& rng)
{
    for (const cv::Range& zone : plan.layout.letterRows)
        letterZone(canvas, plan, zone, rng);
}

}  // namespace scangen
