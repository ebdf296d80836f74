// The optical sound track: a band along the strip, either variable area (a
// clear wave-shaped trace on a dark band, its width following the sound) or
// variable density (stripes across the band, their darkness following it).
// Either way the band looks periodic along the strip at the sound's own
// period, which is drawn clear of every small ratio of the perforation pitch
// so that it never happens to agree with it.
#include "film_stages.h"

#include <opencv2/imgproc.hpp>

#include <cmath>

namespace scangen {

namespace {

double soundPeriod(double pixelsPerMm, double perforationPitch, cv::RNG& rng)
{
    double period = 0;
    for (int attempt = 0; attempt < 50; ++attempt) {
        period = rng.uniform(0.25, 2.5) * pixelsPerMm;
        bool near = false;
        for (int m = 1; m <= 5; ++m)
            for (int n = 1; n <= 5; ++n)
                near = near || std::abs(period - perforationPitch * m / n) < 0.06 * period;
        if (!near)
            break;
    }
    return period;
}

// The sound along the band, -1 to 1: the tone at its period, its loudness
// drifting slowly, a little overtone.
cv::Mat soundWave(int length, double period, cv::RNG& rng)
{
    const double phase = rng.uniform(0.0, 6.3), phase2 = rng.uniform(0.0, 6.3), phase3 = rng.uniform(0.0, 6.3);
    const double slow = period * rng.uniform(7.0, 13.0), overtone = period / rng.uniform(2.2, 3.4);
    cv::Mat wave(1, length, CV_32F);
    float* w = wave.ptr<float>();
    for (int u = 0; u < length; ++u) {
        const double loud = 0.7 + 0.3 * std::sin(2 * CV_PI * u / slow + phase2);
        w[u] = float(loud * (0.85 * std::sin(2 * CV_PI * u / period + phase)
                             + 0.15 * std::sin(2 * CV_PI * u / overtone + phase3)));
    }
    return wave;
}

}  // namespace

void paintFilmSound(cv::Mat band, double pixelsPerMm, const StockLook& look, double perforationPitch, cv::RNG& rng)
{
    if (band.empty())
        return;
    const int channels = band.channels();
    const bool variableArea = rng.uniform(0.0, 1.0) < 0.6;
    const cv::Mat wave = soundWave(band.cols, soundPeriod(pixelsPerMm, perforationPitch, rng), rng);
    if (!variableArea) {
        // Density: the level follows the wave; every row of the band alike.
        cv::Mat levels = (wave * 0.45 + 0.5) * (look.soundClear - look.soundDark) + look.soundDark;
        cv::Mat row;
        levels.convertTo(row, CV_8U);
        if (channels == 3) {
            cv::cvtColor(row, row, cv::COLOR_GRAY2BGR);
            cv::multiply(row, look.tint, row);
        }
        cv::repeat(row, band.rows, 1, band);
        return;
    }
    // Area: a row is clear where its distance from the band's middle (or,
    // unilateral, from one side) is below the wave's reach there.
    const bool bilateral = rng.uniform(0, 2);
    const double reach = bilateral ? 0.46 * band.rows : 0.92 * band.rows;
    cv::Mat halfWidth = (wave * 0.45 + 0.5) * reach;
    cv::Mat distance(band.rows, 1, CV_32F);
    for (int v = 0; v < band.rows; ++v)
        distance.at<float>(v) = float(bilateral ? std::abs(v - (band.rows - 1) / 2.0) : v + 0.5);
    cv::Mat clear;
    cv::compare(cv::repeat(distance, 1, band.cols), cv::repeat(halfWidth, band.rows, 1), clear, cv::CMP_LE);
    band.setTo(tinted(look, look.soundDark, channels));
    band.setTo(tinted(look, look.soundClear, channels), clear);
}

}  // namespace scangen
