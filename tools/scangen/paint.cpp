#include "scangen.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace scangen {

const Shade kCarrierEnd{1.0, 0.7, 0, 2};
const Shade kCarrierRail{7.0, 1.2, 5, 9};
const Shade kOpenLight{249.0, 3.0, 238, 255};

// Bright films keep every area either at or below 40 or at or above 70, both
// clear of the 51 and 63.75 thresholds; dark films keep black areas at or
// below 3 and everything else at or above 5 (gray 4 after the converters'
// truncating gray conversion), clear of 3.825.
FilmTone filmTone(Film film, bool opaqueBase)
{
    const cv::Scalar warm(0.93, 0.98, 1.05);
    switch (film) {
    case Film::Medium:
        return {{84, 4, 72, 110}, {22, 4, 8, 38}, {20, 4, 8, 36}, {150, 5, 120, 190},
                72, 140, 5, 72, warm};
    case Film::Light:
        return {{205, 4, 185, 230}, {28, 4, 12, 40}, {26, 4, 10, 38}, {225, 5, 200, 245},
                95, 240, 5, 72, warm};
    case Film::Dark:
        break;
    }
    const Shade base = opaqueBase ? Shade{2, 0.6, 1, 3} : Shade{9, 1.5, 6, 12};
    return {base, {1.5, 0.7, 0, 3}, {9, 1.5, 6, 12}, {45, 4, 30, 60},
            6, 32, 1.5, 5, cv::Scalar(1.02, 0.99, 0.97)};
}

namespace {

void clampInto(cv::Mat& m, int lo, int hi)
{
    cv::max(m, cv::Scalar::all(lo), m);
    cv::min(m, cv::Scalar::all(hi), m);
}

cv::Scalar channelTint(const cv::Mat& area, const cv::Scalar& tint)
{
    return area.channels() == 1 ? cv::Scalar::all(1) : tint;
}

// Smooth random field: cubic upsampling of coarse uniform noise.
cv::Mat smoothNoise(cv::Size size, int cell, cv::RNG& rng)
{
    cv::Mat coarse(size.height / cell + 3, size.width / cell + 3, CV_32F);
    rng.fill(coarse, cv::RNG::UNIFORM, 0.0, 1.0);
    cv::Mat up;
    cv::resize(coarse, up, cv::Size(coarse.cols * cell, coarse.rows * cell), 0, 0, cv::INTER_CUBIC);
    return up(cv::Rect(cell, cell, size.width, size.height)).clone();
}

}  // namespace

void fillShade(cv::Mat area, const Shade& shade, const cv::Scalar& tint, cv::RNG& rng)
{
    if (area.empty())
        return;
    cv::Mat noise(area.size(), CV_32FC(area.channels()));
    rng.fill(noise, cv::RNG::NORMAL, shade.level * channelTint(area, tint), cv::Scalar::all(shade.grain));
    cv::Mat samples;
    noise.convertTo(samples, area.type());
    clampInto(samples, shade.lo, shade.hi);
    samples.copyTo(area);
}

cv::Mat makeScene(cv::Size size, cv::RNG& rng)
{
    // A landscape: sky fading towards a wavy horizon, textured ground, a few
    // dark and light objects standing on it, fine texture over everything.
    const cv::Mat wobble = smoothNoise(size, 96, rng), ground = smoothNoise(size, 32, rng);
    const cv::Mat fine = smoothNoise(size, 4, rng);
    const double horizon = size.height * rng.uniform(0.35, 0.6);
    cv::Mat lum(size, CV_32F), sky(size, CV_32F);
    for (int r = 0; r < size.height; ++r)
        for (int c = 0; c < size.width; ++c) {
            const bool above = r < horizon + 60 * (wobble.at<float>(r, c) - 0.5);
            sky.at<float>(r, c) = above ? 1.f : 0.f;
            lum.at<float>(r, c) = above ? float(0.9 - 0.3 * r / horizon)
                                        : float(0.25 + 0.35 * ground.at<float>(r, c));
        }
    for (int i = 0; i < 6; ++i) {
        const int width = rng.uniform(size.width / 20, size.width / 5);
        const int height = rng.uniform(size.height / 8, size.height / 2);
        const cv::Point foot(rng.uniform(0, size.width), int(horizon) + rng.uniform(0, size.height / 3));
        const cv::Scalar shade(rng.uniform(0.0, 1.0) < 0.7 ? rng.uniform(0.05, 0.3) : rng.uniform(0.7, 0.95));
        if (i % 2)
            cv::rectangle(lum, cv::Rect(foot.x - width / 2, foot.y - height, width, height), shade, cv::FILLED);
        else
            cv::ellipse(lum, foot - cv::Point(0, height / 2), cv::Size(width / 2, height / 2), 0, 0, 360,
                        shade, cv::FILLED, cv::LINE_AA);
    }
    cv::GaussianBlur(lum, lum, cv::Size(0, 0), 1.5);
    lum += 0.12 * (fine - 0.5);
    clampInto(lum, 0, 1);

    // Blue sky, green-brown ground, and a little colour noise.
    std::vector<cv::Mat> bgr{lum + 0.12 * sky - 0.04, lum + 0.03, lum - 0.08 * sky + 0.03};
    for (auto& channel : bgr) {
        channel += 0.08 * (smoothNoise(size, 48, rng) - 0.5);
        clampInto(channel, 0, 1);
    }
    cv::Mat scene;
    cv::merge(bgr, scene);
    return scene;
}

void paintPicture(cv::Mat area, const cv::Mat& scene, const FilmTone& tone, cv::RNG& rng)
{
    cv::Mat values;
    if (area.channels() == 1)
        cv::transform(scene, values, cv::Matx13f(1.f / 3, 1.f / 3, 1.f / 3));
    else
        values = scene.clone();
    values = values * (tone.pictureHi - tone.pictureLo) + cv::Scalar::all(tone.pictureLo);
    values = values.mul(cv::Mat(values.size(), values.type(), channelTint(area, tone.tint)));
    cv::Mat grain(values.size(), values.type());
    rng.fill(grain, cv::RNG::NORMAL, cv::Scalar::all(0), cv::Scalar::all(tone.pictureGrain));
    values += grain;
    cv::Mat samples;
    values.convertTo(samples, area.type());
    clampInto(samples, tone.pictureFloor, 255);
    samples.copyTo(area);
}

void paintSoundTrack(cv::Mat band, int firstRow, const FilmTone& tone, cv::RNG& rng)
{
    fillShade(band, tone.soundDark, tone.tint, rng);
    cv::Mat trace(band.size(), band.type());
    fillShade(trace, tone.soundTrace, tone.tint, rng);

    // The trace stays 5 columns clear of either border, so the band's edge
    // columns are dark along the whole strip.
    const double centre = (band.cols - 1) / 2.0, reach = band.cols / 2.0 - 5;
    const double phase1 = rng.uniform(0.0, 6.3), phase2 = rng.uniform(0.0, 6.3);
    cv::Mat mask = cv::Mat::zeros(band.size(), CV_8U);
    for (int r = 0; r < band.rows; ++r) {
        const double t = firstRow + r;
        double amp = 0.5 + 0.3 * std::sin(t / 6.1 + phase1) + 0.15 * std::sin(t / 1.9 + phase2);
        int half = int(std::lround(reach * std::clamp(amp, 0.05, 1.0)));
        int c0 = int(std::lround(centre)) - half, c1 = int(std::lround(centre)) + half;
        mask.row(r).colRange(std::max(c0, 5), std::min(c1, band.cols - 6) + 1) = 255;
    }
    trace.copyTo(band, mask);
}

void paintHole(cv::Mat canvas, const cv::Rect& hole, cv::RNG& rng)
{
    cv::Rect inside = hole & cv::Rect(0, 0, canvas.cols, canvas.rows);
    if (inside.empty())
        return;
    // Rounded corners, as punched.
    cv::Mat shape = cv::Mat::zeros(hole.size(), CV_8U);
    const int radius = std::min(hole.width, hole.height) / 6;
    cv::rectangle(shape, cv::Rect(radius, 0, hole.width - 2 * radius, hole.height), 255, cv::FILLED);
    cv::rectangle(shape, cv::Rect(0, radius, hole.width, hole.height - 2 * radius), 255, cv::FILLED);
    for (cv::Point corner : {cv::Point(radius, radius), cv::Point(hole.width - 1 - radius, radius),
                             cv::Point(radius, hole.height - 1 - radius),
                             cv::Point(hole.width - 1 - radius, hole.height - 1 - radius)})
        cv::circle(shape, corner, radius, 255, cv::FILLED);
    cv::Mat light(hole.size(), canvas.type());
    fillShade(light, kOpenLight, cv::Scalar::all(1), rng);
    cv::Rect local(inside.tl() - hole.tl(), inside.size());
    light(local).copyTo(canvas(inside), shape(local));
}

void paintCarrierEnd(cv::Mat canvas, int from, int to, int lightRow, cv::Range film, cv::RNG& rng)
{
    from = std::max(from, 0);
    to = std::min(to, canvas.rows);
    if (from < to)
        fillShade(canvas.rowRange(from, to), kCarrierEnd, cv::Scalar::all(1), rng);
    fillShade(canvas.row(lightRow).colRange(film), kOpenLight, cv::Scalar::all(1), rng);
}

cv::Mat newCanvas(int rows, int cols, int channels, cv::RNG& rng)
{
    cv::Mat canvas(rows, cols, CV_8UC(channels));
    fillShade(canvas, kCarrierRail, cv::Scalar::all(1), rng);
    return canvas;
}

double meanLevel(const cv::Mat& turned)
{
    return cv::mean(turned)[turned.channels() - 1];
}

uint64_t mixSeed(uint64_t seed, uint64_t salt)
{
    // splitmix64 finaliser: neighbouring seeds give unrelated streams.
    uint64_t z = seed * 0x9E3779B97F4A7C15ull + salt + 0x632BE59BD9B4E019ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return z ? z : 1;
}

}  // namespace scangen
