// What the pictures show: shots made upright, as a camera sees them, then
// turned a quarter so that the picture's height runs along the strip, as it
// does on motion-picture film. A horizon is therefore a step along the strip,
// and "the top of the picture" is one of its edges at a frame line.
//
// Shots are small (a few hundred pixels); the strip painter enlarges each
// frame's cut to the scan's resolution.
#include "film_stages.h"
#include "scangen.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>

namespace scangen {

namespace {

// Smooth random field in [0, 1]: cubic enlargement of coarse noise.
cv::Mat smoothField(cv::Size size, int cell, cv::RNG& rng)
{
    cell = std::max(cell, 2);
    cv::Mat coarse(size.height / cell + 3, size.width / cell + 3, CV_32F);
    rng.fill(coarse, cv::RNG::UNIFORM, 0.0, 1.0);
    cv::Mat up;
    cv::resize(coarse, up, cv::Size(coarse.cols * cell, coarse.rows * cell), 0, 0, cv::INTER_CUBIC);
    return up(cv::Rect(cell, cell, size.width, size.height)).clone();
}

void figure(cv::Mat lum, cv::Point foot, int height, double value)
{
    // A standing person: head and rounded body.
    const int body = std::max(2, height / 4), head = std::max(1, height / 9);
    const cv::Scalar v(value);
    cv::rectangle(lum, cv::Rect(foot.x - body / 2, foot.y - height + 2 * head, body, height - 2 * head), v, cv::FILLED);
    cv::circle(lum, {foot.x, foot.y - height + head}, head, v, cv::FILLED, cv::LINE_AA);
}

cv::Mat night(cv::Size size, cv::RNG& rng)
{
    cv::Mat lum = 0.02 + 0.08 * smoothField(size, size.width / 6, rng);
    for (int i = rng.uniform(3, 10); i > 0; --i)
        cv::circle(lum, {rng.uniform(0, size.width), rng.uniform(0, size.height)},
                   rng.uniform(1, std::max(2, size.width / 40)), cv::Scalar(rng.uniform(0.7, 1.0)), cv::FILLED,
                   cv::LINE_AA);
    if (rng.uniform(0, 2)) {
        const cv::Size window(size.width / rng.uniform(6, 12), size.height / rng.uniform(6, 12));
        cv::rectangle(lum, cv::Rect({rng.uniform(0, size.width), rng.uniform(0, size.height)}, window),
                      cv::Scalar(rng.uniform(0.6, 0.9)), cv::FILLED);
    }
    return lum;
}

cv::Mat highKey(cv::Size size, cv::RNG& rng)
{
    cv::Mat lum = 0.72 + 0.22 * smoothField(size, size.width / 5, rng);
    for (int i = rng.uniform(1, 4); i > 0; --i)
        cv::ellipse(lum, cv::Point(rng.uniform(0, size.width), rng.uniform(size.height / 3, size.height)),
                    cv::Size(rng.uniform(2, size.width / 6), rng.uniform(2, size.height / 5)), 0, 0, 360,
                    cv::Scalar(rng.uniform(0.1, 0.35)), cv::FILLED, cv::LINE_AA);
    return lum;
}

cv::Mat figures(cv::Size size, cv::RNG& rng)
{
    cv::Mat lum = rng.uniform(0.12, 0.35) + 0.12 * smoothField(size, size.width / 4, rng);
    for (int i = rng.uniform(2, 6); i > 0; --i)
        figure(lum, {rng.uniform(0, size.width), rng.uniform(size.height / 2, size.height + size.height / 4)},
               rng.uniform(size.height / 4, size.height * 3 / 4), rng.uniform(0.75, 1.0));
    return lum;
}

// A dark scene with a bright band that starts a little inside the picture's
// top or bottom edge (a lit sign, a sky under a canopy) and spans most of its
// width: its edge is a step much like the frame line's.
cv::Mat edgeFigure(cv::Size size, cv::Rect picture, cv::RNG& rng)
{
    cv::Mat lum = night(size, rng) * 0.8;
    const int inset = int(picture.height * rng.uniform(0.03, 0.08));
    const int depth = int(picture.height * rng.uniform(0.1, 0.3));
    const int wide = int(picture.width * rng.uniform(0.6, 0.95));
    const int x = picture.x + rng.uniform(0, std::max(1, picture.width - wide + 1));
    const bool top = rng.uniform(0, 2);
    const int y = top ? picture.y + inset : picture.br().y - inset - depth;
    cv::rectangle(lum, cv::Rect(x, y, wide, depth), cv::Scalar(rng.uniform(0.8, 1.0)), cv::FILLED);
    // Its far side frays into the dark, the near side is the straight step.
    for (int i = 0; i < 6; ++i)
        cv::circle(lum, {x + rng.uniform(0, wide), top ? y + depth : y}, std::max(1, depth / 3),
                   cv::Scalar(rng.uniform(0.6, 0.9)), cv::FILLED, cv::LINE_AA);
    return lum;
}

// A bright band (sky between dark ground and a dark canopy, a lit wall)
// across the whole width between two dark parts: its steps are far stronger
// than the faint frame lines between dark parts of neighbouring pictures,
// however thin those lines are.
cv::Mat innerRise(cv::Size size, cv::Rect picture, double& darkSide, cv::RNG& rng)
{
    darkSide = rng.uniform(0.02, 0.1);
    const double bright = rng.uniform(0.7, 0.95);
    const double from = rng.uniform(0.2, 0.55), to = from + rng.uniform(0.2, 0.85 - from);
    cv::Mat lum(size, CV_32F, cv::Scalar(darkSide));
    lum.rowRange(picture.y + int(picture.height * from), picture.y + int(picture.height * to)) = bright;
    lum += 0.04 * (smoothField(size, size.width / 8, rng) - 0.5);
    return lum;
}

cv::Mat colourise(const cv::Mat& lum, cv::RNG& rng)
{
    std::vector<cv::Mat> bgr(3);
    for (auto& channel : bgr) {
        channel = lum * rng.uniform(0.88, 1.12) + 0.06 * (smoothField(lum.size(), lum.cols / 3, rng) - 0.5);
        cv::max(channel, 0, channel);
        cv::min(channel, 1, channel);
    }
    cv::Mat scene;
    cv::merge(bgr, scene);
    return scene;
}

}  // namespace

SceneKind drawSceneKind(cv::RNG& rng)
{
    const double d = rng.uniform(0.0, 1.0);
    return d < 0.3    ? SceneKind::Landscape
         : d < 0.45   ? SceneKind::Night
         : d < 0.55   ? SceneKind::HighKey
         : d < 0.7    ? SceneKind::Figures
         : d < 0.85   ? SceneKind::EdgeFigure
                      : SceneKind::InnerRise;
}

Shot makeShot(SceneKind kind, cv::Size picture, cv::RNG& rng)
{
    Shot shot;
    shot.kind = kind == SceneKind::Mixed ? drawSceneKind(rng) : kind;
    shot.margin = std::max(4, picture.width * 6 / 100);
    // Upright: the picture's across size is its width.
    const cv::Size upright(picture.height + 2 * shot.margin, picture.width + 2 * shot.margin);
    const cv::Rect inner(shot.margin, shot.margin, picture.height, picture.width);
    cv::Mat scene;
    switch (shot.kind) {
    case SceneKind::Mixed:
    case SceneKind::Landscape:
        scene = makeScene(upright, rng);
        break;
    case SceneKind::Night:
        scene = colourise(night(upright, rng), rng);
        break;
    case SceneKind::HighKey:
        scene = colourise(highKey(upright, rng), rng);
        break;
    case SceneKind::Figures:
        scene = colourise(figures(upright, rng), rng);
        break;
    case SceneKind::EdgeFigure:
        scene = colourise(edgeFigure(upright, inner, rng), rng);
        break;
    case SceneKind::InnerRise:
        scene = colourise(innerRise(upright, inner, shot.darkSide, rng), rng);
        break;
    }
    cv::GaussianBlur(scene, scene, cv::Size(0, 0), 0.6);
    cv::rotate(scene, shot.scene, rng.uniform(0, 2) ? cv::ROTATE_90_CLOCKWISE : cv::ROTATE_90_COUNTERCLOCKWISE);
    // Traps hold still so that every frame keeps them where they trip.
    const bool still = shot.kind == SceneKind::EdgeFigure || shot.kind == SceneKind::InnerRise;
    const double reach = still ? 0.002 : 0.012;
    shot.pan = {rng.uniform(-reach, reach) * picture.width, rng.uniform(-reach, reach) * picture.height};
    return shot;
}

}  // namespace scangen
