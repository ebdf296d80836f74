// The gray levels and colour of one scan's film stock, and the development
// of a scene into film levels.
//
// A print's unexposed edges are clear, its frame lines and printed margins
// black; reversal film is black wherever no picture was taken, with the edge
// lettering clear; a negative is an orange-masked base, clear where unexposed
// and darker where the scene was bright. The holes and the surround show the
// scanner's light or, on a lidded flatbed, its lid; a reversal strip's black
// base only ever lies on the light, else its holes would vanish.
#include "film_stages.h"

#include <opencv2/imgproc.hpp>

namespace scangen {

namespace {

cv::Scalar colourCast(cv::RNG& rng, cv::Scalar stock, double amount)
{
    cv::Scalar c;
    for (int i = 0; i < 3; ++i)
        c[i] = stock[i] * (1 + rng.uniform(-amount, amount));
    const double mean = (c[0] + c[1] + c[2]) / 3;
    return c / mean;
}

}  // namespace

StockLook planLook(Stock stock, cv::RNG& rng)
{
    StockLook k;
    const double lightDraw = rng.uniform(0.0, 1.0), surroundDraw = rng.uniform(0.0, 1.0);
    k.grain = rng.uniform(2.0, 5.5);
    switch (stock) {
    case Stock::Print:
        k.base = rng.uniform(150.0, 212.0);  // a step below the light, however faint
        k.frameArea = rng.uniform(0.0, 1.0) < 0.75 ? rng.uniform(8.0, 40.0) : rng.uniform(40.0, 95.0);
        k.letters = rng.uniform(12.0, 45.0);
        k.pictureLo = rng.uniform(8.0, 24.0);
        k.pictureHi = rng.uniform(185.0, 240.0);
        k.gamma = rng.uniform(0.8, 1.35);
        k.soundDark = rng.uniform(10.0, 35.0);
        k.soundClear = rng.uniform(170.0, 235.0);
        k.tint = colourCast(rng, {1, 1, 1}, 0.05);
        break;
    case Stock::Reversal:
        k.base = rng.uniform(8.0, 30.0);
        k.frameArea = k.base + rng.uniform(-4.0, 6.0);
        k.letters = rng.uniform(150.0, 230.0);
        k.pictureLo = rng.uniform(6.0, 18.0);
        k.pictureHi = rng.uniform(175.0, 240.0);
        k.gamma = rng.uniform(0.8, 1.3);
        k.soundDark = k.base;
        k.soundClear = rng.uniform(150.0, 220.0);
        k.tint = colourCast(rng, {1, 1, 1}, 0.1);  // dyes fade unevenly
        break;
    case Stock::Negative:
        k.negative = true;
        k.base = rng.uniform(100.0, 160.0);
        k.frameArea = k.base * rng.uniform(0.97, 1.03);
        k.letters = k.base * rng.uniform(0.15, 0.35);
        k.negativeDepth = rng.uniform(0.55, 0.78);
        k.soundDark = k.base * 0.3;
        k.soundClear = k.base;
        k.tint = colourCast(rng, {0.55, 0.95, 1.5}, 0.06);
        break;
    }
    k.backlit = stock == Stock::Reversal || lightDraw < 0.75;
    k.surround = k.backlit ? 236 + 16 * surroundDraw : 3 + 11 * surroundDraw;
    return k;
}

cv::Scalar tinted(const StockLook& look, double level, int channels)
{
    return channels == 1 ? cv::Scalar::all(level) : look.tint * level;
}

cv::Mat developScene(const cv::Mat& scene, const StockLook& look, int channels)
{
    cv::Mat s;
    if (channels == 1)
        cv::transform(scene, s, cv::Matx13f(0.114f, 0.587f, 0.299f));
    else
        s = scene.clone();
    cv::Mat levels;
    if (look.negative) {
        // The base darkens by negativeDepth where the scene is white.
        cv::multiply(s, tinted(look, -look.base * look.negativeDepth, channels), levels);
        levels += tinted(look, look.base, channels);
    } else {
        cv::pow(s, look.gamma, s);
        cv::multiply(s, tinted(look, look.pictureHi - look.pictureLo, channels), levels);
        levels += tinted(look, look.pictureLo, channels);
    }
    cv::Mat out;
    levels.convertTo(out, CV_8U);
    return out;
}

}  // namespace scangen
