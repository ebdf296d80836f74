// What the scanner adds over the finished scan: uneven light (vignetting and
// one side brighter than the other) and grain with the sensor's noise. (The
// optics' blur comes with the turn into the scan, which samples the canvas
// between its pixels.)
#include "film_stages.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <vector>

namespace scangen {

namespace {

// Light falloff as a gain, 128 = 1, in `gain` (the scan's size and type):
// computed on a small grid and enlarged, since it changes slowly.
void unevenLight(cv::Mat gain, cv::RNG& rng)
{
    const double vignette = rng.uniform(0.03, 0.18), slope = rng.uniform(-0.12, 0.12);
    const double direction = rng.uniform(0.0, 2 * CV_PI);
    const double dx = std::cos(direction), dy = std::sin(direction);
    cv::Mat grid(17, 17, CV_32F);
    for (int r = 0; r < grid.rows; ++r) {
        float* g = grid.ptr<float>(r);
        for (int c = 0; c < grid.cols; ++c) {
            const double x = c / 8.0 - 1, y = r / 8.0 - 1;
            g[c] = float(128 * (1 - vignette * (x * x + y * y) / 2) * (1 + slope * (x * dx + y * dy)));
        }
    }
    cv::Mat small;
    grid.convertTo(small, CV_8U);
    if (gain.channels() == 3)
        cv::merge(std::vector<cv::Mat>{small, small, small}, small);
    cv::resize(small, gain, gain.size(), 0, 0, cv::INTER_LINEAR);
}

}  // namespace

void scannerLight(cv::Mat scan, cv::Mat spare, double dpi, const StockLook& look, cv::RNG& rng)
{
    // `spare` is memory the caller no longer needs: fresh memory for a
    // scan-sized buffer costs more than all the arithmetic on it.
    cv::Mat work(scan.size(), scan.type(), spare.data);
    unevenLight(work, rng);
    cv::multiply(scan, work, scan, 1.0 / 128);
    // Above 1200 dpi a grain clump spans more than a pixel: the grain is
    // drawn at 1200 dpi and enlarged (a little stronger, as enlarging
    // smooths it).
    if (dpi <= 1200) {
        rng.fill(work, cv::RNG::NORMAL, cv::Scalar::all(128), cv::Scalar::all(look.grain));
    } else {
        const double share = 1200 / dpi;
        cv::Mat coarse(std::max(1, int(scan.rows * share)), std::max(1, int(scan.cols * share)), scan.type());
        rng.fill(coarse, cv::RNG::NORMAL, cv::Scalar::all(128), cv::Scalar::all(1.3 * look.grain));
        cv::resize(coarse, work, work.size(), 0, 0, cv::INTER_LINEAR);
    }
    cv::addWeighted(scan, 1, work, 1, -128, scan);
}

}  // namespace scangen
