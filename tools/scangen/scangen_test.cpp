// Checks that generated scans carry what their truth promises: the scan is
// turned here the way the converters turn it, and the truth positions must
// land on the edges the converters' profiles react to.
#include "scangen.h"
#include "support/e2e.hpp"

#include <gtest/gtest.h>

#include <opencv2/core.hpp>

#include <cmath>
#include <string>
#include <tuple>

using namespace scangen;

namespace {

// Gray as the converters compute it: weighted sum truncated toward zero.
cv::Mat grayOf(const cv::Mat& image)
{
    if (image.channels() == 1)
        return image.clone();
    cv::Mat gray(image.size(), CV_8U);
    for (int r = 0; r < image.rows; ++r)
        for (int c = 0; c < image.cols; ++c) {
            const cv::Vec3b p = image.at<cv::Vec3b>(r, c);
            gray.at<uchar>(r, c) = uchar((0.59 * p[1] + 0.11 * p[0]) + 0.30 * p[2]);
        }
    return gray;
}

// Single-frame scans: gray turned a quarter clockwise, colour transposed;
// four-frame scans: a quarter counter-clockwise.
cv::Mat turnedScan(const Scan& scan, bool quad)
{
    const cv::Mat cropped = scan.image.colRange(scan.cropLeft, scan.cropRight + 1);
    cv::Mat turned;
    if (quad)
        cv::rotate(cropped, turned, cv::ROTATE_90_COUNTERCLOCKWISE);
    else if (cropped.channels() == 1)
        cv::rotate(cropped, turned, cv::ROTATE_90_CLOCKWISE);
    else
        cv::transpose(cropped, turned);
    return turned;
}

// Share of samples above the threshold in a row or column stretch.
double share(const cv::Mat& ones)
{
    return cv::countNonZero(ones) / double(ones.total());
}

double columnMean(const cv::Mat& image, int column)
{
    const int margin = image.rows * 15 / 100;
    return cv::mean(image.col(column).rowRange(margin, image.rows - margin))[image.channels() - 1];
}

void expectCropEdges(const Scan& scan, bool quad)
{
    const int border = quad ? int(std::floor(0.02 * scan.image.cols)) : int(std::floor(0.07 * scan.image.cols));
    double brightest = 0;
    int at = -1;
    for (int c = 0; c < border; ++c)
        if (columnMean(scan.image, c) > brightest)
            brightest = columnMean(scan.image, c), at = c;
    EXPECT_EQ(at, scan.cropLeft) << "the left crop edge is the brightest border column";
    EXPECT_LT(columnMean(scan.image, scan.cropLeft - 1), 3) << "carrier left of the crop";
    if (quad) {
        EXPECT_EQ(scan.cropRight, int(std::floor(0.98 * scan.image.cols)) - 1) << "fixed right edge";
    } else {
        EXPECT_GT(columnMean(scan.image, scan.cropRight), 100) << "light at the right crop edge";
        EXPECT_LT(columnMean(scan.image, scan.cropRight + 1), 3) << "carrier after the right crop edge";
    }
}

// A frame starts after row `row`: dark over the picture columns, then light.
void expectFrameStart(const cv::Mat& ones, int row, cv::Range picture)
{
    EXPECT_EQ(share(ones.row(row).colRange(picture)), 0) << "frame start after row " << row;
    EXPECT_EQ(share(ones.row(row + 1).colRange(picture)), 1) << "frame start after row " << row;
}

Scan make(bool quad, const ScanRequest& request)
{
    return quad ? makeQuadScan(request) : makeSingleScan(request);
}

class Generated : public testing::TestWithParam<std::tuple<bool, int, Film, double>> {};

TEST_P(Generated, ScanCarriesWhatItsTruthPromises)
{
    const auto [quad, channels, film, scale] = GetParam();
    const Scan scan = make(quad, {channels, film, scale, 7});
    EXPECT_EQ(scan.image.channels(), channels);
    EXPECT_EQ(scan.image.depth(), CV_8U);
    const cv::Size size = quad ? cv::Size(1300, int(std::lround(700 * scale)))
                               : cv::Size(int(std::lround(1200 * scale)), int(std::lround(1400 * scale)));
    EXPECT_EQ(scan.image.size(), size);
    expectCropEdges(scan, quad);

    const cv::Mat turned = turnedScan(scan, quad);
    const double level = meanLevel(turned);
    EXPECT_NEAR(level, scan.level, 1e-9) << "the level is the turned scan's";
    const bool dark = film == Film::Dark;
    if (dark) {
        EXPECT_LT(level, 32);
    } else {
        EXPECT_GT(level, 32);
        if (film == Film::Medium) {
            EXPECT_LT(level, 100);
        } else if (scale <= 1) {
            EXPECT_GT(level, 100);
        }
    }

    const cv::Mat gray = grayOf(turned);
    if (!dark) {
        // Nothing may sit between the bright-film thresholds' safe bands.
        cv::Mat between = (gray > 40) & (gray < 70);
        EXPECT_EQ(cv::countNonZero(between), 0) << "gray between 41 and 69";
    }
    const cv::Mat ones = gray > (dark ? 3.825 : 51.0);

    const int length = turned.rows, width = turned.cols;
    const cv::Range picture = quad ? cv::Range(scan.winCol + 1, scan.winCol + 249)
                                   : cv::Range(scan.winCol, scan.winCol + 744);
    expectFrameStart(ones, scan.winRow, picture);
    // The column edge the window is found from: the sound band's inner edge.
    const int edge = quad ? scan.winCol : scan.winCol - int(std::lround(0.05 * length));
    const cv::Range inner(1, length - 1);
    EXPECT_EQ(share(ones.col(edge).rowRange(inner)), dark ? 1 : 0) << "sound band border";
    if (quad) {
        const double next = share(ones.col(edge + 1));
        EXPECT_GT(next, 0.5) << "picture column after the border";
        EXPECT_LT(next, 1) << "picture column after the border";
        for (int k = 1; k <= 4; ++k)
            expectFrameStart(ones, scan.winRow + k * scan.pitch, picture);
        EXPECT_LT(scan.winRow + 4 * scan.pitch - 4, length) << "four windows fit";
        EXPECT_LT(scan.winCol + 248, width) << "four windows fit";
    } else {
        EXPECT_EQ(share(ones.col(edge + 1).rowRange(inner)), dark ? 0 : 1) << "base gap after the band";
        EXPECT_LE(scan.winRow + 539, length) << "the window fits";
        EXPECT_LT(scan.winCol + 744, width) << "the window fits";
    }
}

std::string caseName(const testing::TestParamInfo<Generated::ParamType>& info)
{
    const auto [quad, channels, film, scale] = info.param;
    const char* films[] = {"medium", "light", "dark"};
    return std::string(quad ? "quad" : "single") + std::to_string(channels) + "ch_" + films[int(film)] + "_scale"
         + std::to_string(int(scale));
}

INSTANTIATE_TEST_SUITE_P(Kinds, Generated,
                         testing::Combine(testing::Bool(), testing::Values(1, 3),
                                          testing::Values(Film::Medium, Film::Light, Film::Dark),
                                          testing::Values(1.0, 2.0)),
                         caseName);

TEST(Seeds, TheSeedAloneDecidesTheScan)
{
    const ScanRequest request{3, Film::Light, 1.0, 42};
    for (bool quad : {false, true}) {
        const Scan a = make(quad, request), b = make(quad, request);
        EXPECT_TRUE(e2e::imagesAgree(a.image, b.image));
        EXPECT_EQ(a.winRow, b.winRow);
        EXPECT_EQ(a.winCol, b.winCol);
        ScanRequest other = request;
        other.seed = 43;
        EXPECT_FALSE(e2e::imagesAgree(a.image, make(quad, other).image)) << "another seed gives another scan";
    }
    EXPECT_NE(mixSeed(1, 1), mixSeed(1, 2));
    EXPECT_NE(mixSeed(1, 2), mixSeed(2, 1));
}

}  // namespace
