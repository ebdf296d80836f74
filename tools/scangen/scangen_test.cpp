// Checks that generated scans carry what their truth promises: the scan is
// turned here the way the converters turn it, and the truth positions must
// land on the edges the converters' profiles react to.
#include "scangen.h"

#include <opencv2/core.hpp>

#include <cmath>
#include <cstdio>
#include <string>

using namespace scangen;

namespace {

int failures = 0;

void expect(bool ok, const std::string& what)
{
    if (!ok) {
        ++failures;
        std::printf("FAIL %s\n", what.c_str());
    }
}

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

void checkCropEdges(const Scan& scan, bool quad, const std::string& name)
{
    const int border = quad ? int(std::floor(0.02 * scan.image.cols)) : int(std::floor(0.07 * scan.image.cols));
    double brightest = 0;
    int at = -1;
    for (int c = 0; c < border; ++c)
        if (columnMean(scan.image, c) > brightest)
            brightest = columnMean(scan.image, c), at = c;
    expect(at == scan.cropLeft, name + ": left crop edge is the brightest border column");
    expect(columnMean(scan.image, scan.cropLeft - 1) < 3, name + ": carrier left of the crop");
    if (quad)
        expect(scan.cropRight == int(std::floor(0.98 * scan.image.cols)) - 1, name + ": fixed right edge");
    else
        expect(columnMean(scan.image, scan.cropRight) > 100 && columnMean(scan.image, scan.cropRight + 1) < 3,
               name + ": right crop edge is light followed by carrier");
}

// A frame starts after row `row`: dark over the picture columns, then light.
void checkFrameStart(const cv::Mat& ones, int row, cv::Range picture, const std::string& name)
{
    expect(share(ones.row(row).colRange(picture)) == 0 && share(ones.row(row + 1).colRange(picture)) == 1,
           name + ": frame starts after row " + std::to_string(row));
}

void checkScan(bool quad, int channels, Film film, double scale)
{
    const std::string name = std::string(quad ? "quad" : "single") + " ch" + std::to_string(channels) + " film"
                           + std::to_string(int(film)) + " scale" + std::to_string(scale);
    const Scan scan = quad ? makeQuadScan({channels, film, scale, 7}) : makeSingleScan({channels, film, scale, 7});
    expect(scan.image.channels() == channels && scan.image.depth() == CV_8U, name + ": sample format");
    const cv::Size size = quad ? cv::Size(1300, int(std::lround(700 * scale)))
                               : cv::Size(int(std::lround(1200 * scale)), int(std::lround(1400 * scale)));
    expect(scan.image.size() == size, name + ": scan size");
    checkCropEdges(scan, quad, name);

    const cv::Mat turned = turnedScan(scan, quad);
    const double level = meanLevel(turned);
    expect(std::abs(level - scan.level) < 1e-9, name + ": level matches the turned scan");
    const bool dark = film == Film::Dark;
    if (dark)
        expect(level < 32, name + ": dark level");
    else
        expect(level > 32 && (film == Film::Medium ? level < 100 : scale > 1 || level > 100), name + ": bright level band");

    const cv::Mat gray = grayOf(turned);
    if (!dark) {
        // Nothing may sit between the bright-film thresholds' safe bands.
        cv::Mat between = (gray > 40) & (gray < 70);
        expect(cv::countNonZero(between) == 0, name + ": no gray between 41 and 69");
    }
    const cv::Mat ones = gray > (dark ? 3.825 : 51.0);

    const int length = turned.rows, width = turned.cols;
    const cv::Range picture = quad ? cv::Range(scan.winCol + 1, scan.winCol + 249)
                                   : cv::Range(scan.winCol, scan.winCol + 744);
    checkFrameStart(ones, scan.winRow, picture, name);
    // The column edge the window is found from: the sound band's inner edge.
    const int edge = quad ? scan.winCol : scan.winCol - int(std::lround(0.05 * length));
    const cv::Range inner(1, length - 1);
    expect(share(ones.col(edge).rowRange(inner)) == (dark ? 1 : 0), name + ": sound band border");
    if (quad) {
        const double next = share(ones.col(edge + 1));
        expect(next > 0.5 && next < 1, name + ": picture column after the border");
        for (int k = 1; k <= 4; ++k)
            checkFrameStart(ones, scan.winRow + k * scan.pitch, picture, name);
        expect(scan.winRow + 4 * scan.pitch - 4 < length && scan.winCol + 248 < width, name + ": four windows fit");
    } else {
        expect(share(ones.col(edge + 1).rowRange(inner)) == (dark ? 0 : 1), name + ": base gap after the band");
        expect(scan.winRow + 539 <= length && scan.winCol + 744 < width, name + ": window fits");
    }
}

void checkDeterminism()
{
    const ScanRequest request{3, Film::Light, 1.0, 42};
    for (bool quad : {false, true}) {
        auto make = [quad](const ScanRequest& r) { return quad ? makeQuadScan(r) : makeSingleScan(r); };
        const Scan a = make(request), b = make(request);
        expect(cv::norm(a.image, b.image, cv::NORM_INF) == 0 && a.winRow == b.winRow && a.winCol == b.winCol,
               "same seed gives the same scan");
        ScanRequest other = request;
        other.seed = 43;
        expect(cv::norm(a.image, make(other).image, cv::NORM_INF) > 0, "another seed gives another scan");
    }
    expect(mixSeed(1, 1) != mixSeed(1, 2) && mixSeed(1, 2) != mixSeed(2, 1), "scan seeds differ by seed and index");
}

}  // namespace

int main()
{
    checkDeterminism();
    for (bool quad : {false, true})
        for (int channels : {1, 3})
            for (Film film : {Film::Medium, Film::Light, Film::Dark})
                for (double scale : {1.0, 2.0})
                    checkScan(quad, channels, film, scale);
    std::printf("%s\n", failures ? "scangen_test: FAILED" : "scangen_test: ok");
    return failures ? 1 : 0;
}
