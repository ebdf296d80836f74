// Checks that film-true scans carry what their truth promises: perforation
// centres on holes at the gauge's pitch and place, picture corners on the
// pictures' edges, truth that turns with the tilt and scales with the dpi;
// and the measure of a right window on hand-made cases.
#include "film.h"
#include "film_truth.h"
#include "scangen.h"
#include "support/e2e.hpp"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

using namespace scangen;

namespace {

cv::Mat grayOf(const cv::Mat& image)
{
    cv::Mat gray;
    if (image.channels() == 1)
        gray = image;
    else
        cv::cvtColor(image, gray, cv::COLOR_BGR2GRAY);
    return gray;
}

double sampleAt(const cv::Mat& gray, cv::Point2d p)
{
    cv::Mat one;
    cv::getRectSubPix(gray, {1, 1}, cv::Point2f(float(p.x), float(p.y)), one, CV_32F);
    return one.at<float>(0);
}

bool inImage(const cv::Mat& image, cv::Point2d p)
{
    return p.x >= 1 && p.y >= 1 && p.x <= image.cols - 2 && p.y <= image.rows - 2;
}

cv::Rect boxAround(cv::Point2d centre, cv::Size2d size, double share)
{
    return {int(std::lround(centre.x - share * size.width / 2)), int(std::lround(centre.y - share * size.height / 2)),
            int(std::lround(share * size.width)), int(std::lround(share * size.height))};
}

// A hole: very bright or very dark, even, and unlike the film around it.
void expectHole(const cv::Mat& gray, cv::Point2d centre, cv::Size2d size)
{
    const cv::Rect inner = boxAround(centre, size, 0.7), ring = boxAround(centre, size, 1.4);
    const cv::Rect whole(0, 0, gray.cols, gray.rows);
    if ((ring & whole) != ring)
        return;  // cut by the scan's edge
    cv::Scalar mean, sigma;
    cv::meanStdDev(gray(inner), mean, sigma);
    EXPECT_TRUE(mean[0] >= 180 || mean[0] <= 40) << "hole at " << centre << " shows " << mean[0];
    EXPECT_LT(sigma[0], 12) << "hole at " << centre;
    cv::Mat around = cv::Mat::ones(ring.size(), CV_8U);
    around(boxAround(centre - cv::Point2d(ring.tl()), size, 1.15)).setTo(0);
    EXPECT_GT(std::abs(cv::mean(gray(ring), around)[0] - mean[0]), 15) << "film around the hole at " << centre;
}

// Along each edge (corners left out), 1.5 pixels inside the picture the two
// scenes differ, 1.5 pixels outside they agree.
void expectEdgesOnPicture(const cv::Mat& difference, const PictureTruth& p)
{
    const cv::Point2d middle = (p.corners[0] + p.corners[2]) / 2;
    for (int i = 0; i < 4; ++i) {
        const cv::Point2d a = p.corners[i], b = p.corners[(i + 1) % 4];
        const cv::Point2d along = (b - a) / cv::norm(b - a);
        cv::Point2d out(along.y, -along.x);
        if (out.dot(a - middle) < 0)
            out = -out;
        double inside = 0, outside = 0;
        int n = 0;
        for (double t = 0.15; t <= 0.85; t += 0.05) {
            const cv::Point2d q = a + t * (b - a);
            if (!inImage(difference, q - 1.5 * out) || !inImage(difference, q + 1.5 * out))
                continue;
            inside += sampleAt(difference, q - 1.5 * out);
            outside += sampleAt(difference, q + 1.5 * out);
            ++n;
        }
        if (n == 0)
            continue;
        EXPECT_GT(inside / n, 30) << "inside edge " << i << " of the picture at " << middle;
        EXPECT_LT(outside / n, 3) << "outside edge " << i << " of the picture at " << middle;
    }
}

// Perforations in rows (by y), each row in order of x.
std::vector<std::vector<cv::Point2d>> perforationRows(const FilmScan& scan)
{
    std::vector<std::vector<cv::Point2d>> rows;
    for (const cv::Point2d& p : scan.perforations) {
        auto row = std::find_if(rows.begin(), rows.end(), [&](const std::vector<cv::Point2d>& r) {
            return std::abs(r.front().y - p.y) < scan.filmWidth / 3;
        });
        if (row == rows.end())
            rows.push_back({p});
        else
            row->push_back(p);
    }
    return rows;
}

struct FilmCase {
    Gauge gauge;
    int frames;
    double dpi, tilt;
    int channels;
    Stock stock;
    bool sound, damage;
    double pitchMm;             // the gauge's perforation pitch
    int perFrame, rows;
    double perforationAfterLine; // perforation centre after the frame line's middle, perforation pitches
};

const FilmCase kCases[] = {
    {Gauge::Film35, 1, 900, 0.0, 1, Stock::Print, true, false, 4.75, 4, 2, 0.5},
    {Gauge::Film35, 4, 600, -0.7, 3, Stock::Negative, false, true, 4.75, 4, 2, 0.5},
    {Gauge::Film35, 1, 2400, 0.5, 1, Stock::Reversal, false, false, 4.75, 4, 2, 0.5},
    {Gauge::Film16, 4, 900, 1.0, 1, Stock::Reversal, true, true, 7.62, 1, 1, 0.0},
    {Gauge::Film16, 1, 1200, -0.3, 3, Stock::Print, false, false, 7.62, 1, 2, 0.0},
    {Gauge::Super8, 4, 600, 0.8, 1, Stock::Print, false, true, 4.234, 1, 1, 0.5},
    {Gauge::Super8, 1, 1800, -1.0, 3, Stock::Negative, false, false, 4.234, 1, 1, 0.5},
    {Gauge::Regular8, 4, 900, -0.5, 3, Stock::Reversal, false, false, 3.81, 1, 1, 0.0},
    {Gauge::Regular8, 1, 600, 0.2, 1, Stock::Print, false, true, 3.81, 1, 1, 0.0},
};

void PrintTo(const FilmCase& c, std::ostream* os)
{
    *os << gaugeName(c.gauge) << " x" << c.frames << " " << c.dpi << " dpi, tilt " << c.tilt;
}

class FilmTruthHolds : public testing::TestWithParam<FilmCase> {};

FilmRequest requestOf(const FilmCase& c, SceneKind scene, uint64_t seed)
{
    FilmRequest r;
    r.gauge = c.gauge;
    r.frames = c.frames;
    r.dpi = c.dpi;
    r.tiltDegrees = c.tilt;
    r.channels = c.channels;
    r.stock = c.stock;
    r.soundTrack = c.sound;
    r.damage = c.damage;
    r.scene = scene;
    r.seed = seed;
    return r;
}

TEST_P(FilmTruthHolds, PerforationsAreHolesAtTheGaugesPitchAndPlace)
{
    const FilmCase& c = GetParam();
    const FilmScan scan = makeFilmScan(requestOf(c, SceneKind::Mixed, 11));
    ASSERT_EQ(scan.image.channels(), c.channels);
    EXPECT_NEAR(scan.perforationPitch / (c.dpi / 25.4), c.pitchMm, 0.04 * c.pitchMm);
    EXPECT_EQ(scan.perforationsPerFrame, c.perFrame);
    EXPECT_DOUBLE_EQ(scan.framePitch, c.perFrame * scan.perforationPitch);
    EXPECT_EQ(scan.perforationRows, c.rows);

    const cv::Mat gray = grayOf(scan.image);
    for (const cv::Point2d& centre : scan.perforations)
        expectHole(gray, centre, scan.perforationSize);
    const auto rows = perforationRows(scan);
    ASSERT_EQ(int(rows.size()), c.rows);
    for (const auto& row : rows) {
        // None missing: a pitch apart, and at most a pitch from either end.
        EXPECT_LT(row.front().x, scan.perforationPitch + 1);
        EXPECT_GT(row.back().x, scan.image.cols - 1 - scan.perforationPitch - 1);
        for (size_t i = 1; i < row.size(); ++i)
            EXPECT_NEAR(row[i].x - row[i - 1].x, scan.perforationPitch, 1.05);
    }
    // The perforation's place along the frame, from the frame line's middle,
    // measured along the strip.
    ASSERT_GE(scan.pictures.size(), 2u);
    const PictureTruth &before = scan.pictures[0], &after = scan.pictures[1];
    const cv::Point2d line = (before.corners[1] + before.corners[2] + after.corners[0] + after.corners[3]) / 4;
    const double a = c.tilt * CV_PI / 180;
    const cv::Point2d along(std::cos(a), std::sin(a));
    double nearest = 1;
    for (const cv::Point2d& p : rows.front()) {
        const double offset = (p - line).dot(along) / scan.perforationPitch - c.perforationAfterLine;
        nearest = std::min(nearest, std::abs(offset - std::round(offset)));
    }
    EXPECT_LT(nearest, 0.05);
}

TEST_P(FilmTruthHolds, PictureCornersLieOnThePicturesEdges)
{
    const FilmCase& c = GetParam();
    // The layout does not depend on the scene: two scenes differ only on the pictures.
    const FilmScan bright = makeFilmScan(requestOf(c, SceneKind::HighKey, 12));
    const FilmScan dark = makeFilmScan(requestOf(c, SceneKind::Night, 12));
    cv::Mat difference;
    cv::absdiff(grayOf(bright.image), grayOf(dark.image), difference);

    const int whole = int(std::count_if(bright.pictures.begin(), bright.pictures.end(),
                                        [](const PictureTruth& p) { return p.whole; }));
    if (c.frames == 1) {
        EXPECT_EQ(whole, 1);
    } else {
        EXPECT_GE(whole, c.frames);
    }
    for (size_t i = 0; i < bright.pictures.size(); ++i) {
        const PictureTruth& p = bright.pictures[i];
        EXPECT_NEAR(cv::norm(p.corners[1] - p.corners[0]), bright.pictureSize.width, 1.01);
        EXPECT_NEAR(cv::norm(p.corners[3] - p.corners[0]), bright.pictureSize.height, 1.01);
        if (i > 0) {
            EXPECT_NEAR(p.corners[0].x - bright.pictures[i - 1].corners[0].x, bright.framePitch, 1.05);
        }
        expectEdgesOnPicture(difference, p);
    }
}

INSTANTIATE_TEST_SUITE_P(Gauges, FilmTruthHolds, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<FilmCase>& info) {
                             const FilmCase& c = info.param;
                             return std::string(gaugeName(c.gauge)) + "mm_" + (c.frames == 1 ? "single" : "quad")
                                  + "_" + std::to_string(int(c.dpi)) + "dpi_" + stockName(c.stock)
                                  + std::to_string(c.channels) + "ch";
                         });

cv::Point2d turned(cv::Point2d p, double degrees, cv::Point2d centre)
{
    const double a = degrees * CV_PI / 180;
    const cv::Point2d d = p - centre;
    return centre + cv::Point2d(d.x * std::cos(a) - d.y * std::sin(a), d.x * std::sin(a) + d.y * std::cos(a));
}

std::vector<PictureTruth> wholeOnes(const FilmScan& scan)
{
    std::vector<PictureTruth> whole;
    std::copy_if(scan.pictures.begin(), scan.pictures.end(), std::back_inserter(whole),
                 [](const PictureTruth& p) { return p.whole; });
    return whole;
}

// ---- the scenes a profile-reading frame finder trips on ----

struct TrapCase {
    Gauge gauge;
    Stock stock;
    SceneKind scene;
};

void PrintTo(const TrapCase& c, std::ostream* os) { *os << gaugeName(c.gauge) << " " << sceneName(c.scene); }

class Traps : public testing::TestWithParam<TrapCase> {};

// Along the untilted whole picture: the mean over its middle rows, and the
// step four pixels wide at each x.
TEST_P(Traps, TheStrongestStepIsNotTheFrameLines)
{
    const TrapCase& c = GetParam();
    FilmRequest request;
    request.gauge = c.gauge;
    request.stock = c.stock;
    request.scene = c.scene;
    request.dpi = 1200;
    request.damage = false;
    const FilmScan scan = makeFilmScan(request);
    ASSERT_EQ(scan.scene, c.scene);
    const auto whole = wholeOnes(scan);
    ASSERT_EQ(whole.size(), 1u);
    const int x0 = int(std::ceil(whole[0].corners[0].x)), x1 = int(std::floor(whole[0].corners[1].x));
    const double top = whole[0].corners[0].y, height = whole[0].corners[3].y - top;
    const cv::Mat middle = grayOf(scan.image).rowRange(int(top + 0.1 * height), int(top + 0.9 * height));
    cv::Mat profile;
    cv::reduce(middle, profile, 0, cv::REDUCE_AVG, CV_64F);
    auto step = [&](int x) { return std::abs(profile.at<double>(x + 2) - profile.at<double>(x - 2)); };
    const double leftEdge = std::max({step(x0 - 1), step(x0), step(x0 + 1)});
    const double rightEdge = std::max({step(x1 - 1), step(x1), step(x1 + 1)});
    const int length = x1 - x0;
    int strongest = x0 + 4;
    for (int x = x0 + 4; x <= x1 - 4; ++x)
        if (step(x) > step(strongest))
            strongest = x;
    const double inset = std::min(strongest - x0, x1 - strongest) / double(length);
    if (c.scene == SceneKind::InnerRise) {
        EXPECT_GT(step(strongest), 3 * std::max(leftEdge, rightEdge)) << "the faint frame lines' steps";
    } else {
        EXPECT_GT(inset, 0.02);
        EXPECT_LT(inset, 0.095);
        EXPECT_GT(step(strongest), strongest - x0 < x1 - strongest ? leftEdge : rightEdge);
    }
}

const TrapCase kTraps[] = {
    {Gauge::Film35, Stock::Print, SceneKind::InnerRise},      {Gauge::Film35, Stock::Negative, SceneKind::InnerRise},
    {Gauge::Super8, Stock::Reversal, SceneKind::InnerRise},   {Gauge::Film16, Stock::Print, SceneKind::EdgeFigure},
    {Gauge::Regular8, Stock::Negative, SceneKind::EdgeFigure}, {Gauge::Film35, Stock::Reversal, SceneKind::EdgeFigure},
};

INSTANTIATE_TEST_SUITE_P(Scenes, Traps, testing::ValuesIn(kTraps), [](const testing::TestParamInfo<TrapCase>& info) {
    return std::string(gaugeName(info.param.gauge)) + "mm_" + stockName(info.param.stock) + "_"
         + (info.param.scene == SceneKind::InnerRise ? "inner_rise" : "edge_figure");
});

TEST(FilmTruth, TurnsWithTheTiltAboutTheScansMiddle)
{
    FilmRequest request;
    request.gauge = Gauge::Film16;
    request.seed = 21;
    const FilmScan straight = makeFilmScan(request);
    request.tiltDegrees = 0.8;
    const FilmScan tilted = makeFilmScan(request);
    ASSERT_EQ(straight.image.size(), tilted.image.size());
    const cv::Point2d middle(straight.image.cols / 2.0, straight.image.rows / 2.0);
    const auto a = wholeOnes(straight), b = wholeOnes(tilted);
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i)
        for (int k = 0; k < 4; ++k)
            EXPECT_LT(cv::norm(turned(a[i].corners[k], 0.8, middle) - b[i].corners[k]), 1e-9);
    for (const cv::Point2d& p : straight.perforations) {
        const cv::Point2d q = turned(p, 0.8, middle);
        if (inImage(tilted.image, q)) {
            EXPECT_TRUE(std::any_of(tilted.perforations.begin(), tilted.perforations.end(),
                                    [&](const cv::Point2d& t) { return cv::norm(t - q) < 1e-9; }))
                << "perforation at " << q;
        }
    }
}

TEST(FilmTruth, ScalesWithTheDpi)
{
    FilmRequest request;
    request.gauge = Gauge::Super8;
    request.frames = 4;
    request.tiltDegrees = 0.5;
    request.dpi = 600;
    const FilmScan low = makeFilmScan(request);
    request.dpi = 1500;
    const FilmScan high = makeFilmScan(request);
    const double k = 1500.0 / 600;
    EXPECT_NEAR(high.image.cols, low.image.cols * k, k);
    EXPECT_NEAR(high.perforationPitch, low.perforationPitch * k, 1e-9);
    const auto a = wholeOnes(low), b = wholeOnes(high);
    ASSERT_EQ(a.size(), b.size());
    // Pixel centres at integers: a length in pixels runs from -0.5; every
    // edge snaps to the nearest pixel boundary at either resolution.
    for (size_t i = 0; i < a.size(); ++i)
        for (int j = 0; j < 4; ++j) {
            const cv::Point2d error = (a[i].corners[j] + cv::Point2d(0.5, 0.5)) * k - (b[i].corners[j] + cv::Point2d(0.5, 0.5));
            EXPECT_LT(std::max(std::abs(error.x), std::abs(error.y)), 0.5 * k + 0.6) << "picture " << i << " corner " << j;
        }
}

TEST(FilmTruth, LargeFullAperturePicturesOutgrowTheFixedWindow)
{
    FilmRequest request;
    request.aperture = Aperture::Full;
    for (uint64_t seed = 1; seed <= 3; ++seed) {
        request.seed = seed;
        const FilmScan scan = makeFilmScan(request);
        EXPECT_TRUE(scan.fullAperture);
        EXPECT_GT(scan.pictureSize.width, 539);
        EXPECT_GT(scan.pictureSize.height, 744);
    }
}

TEST(FilmTruth, TheSeedAloneDecidesTheScan)
{
    FilmRequest request;
    request.gauge = Gauge::Regular8;
    request.channels = 3;
    request.stock = Stock::Negative;
    const FilmScan a = makeFilmScan(request), b = makeFilmScan(request);
    EXPECT_TRUE(e2e::imagesAgree(a.image, b.image));
    request.seed = 2;
    EXPECT_FALSE(e2e::imagesAgree(a.image, makeFilmScan(request).image));
}

// ---- the measure of a right window ----

struct WindowCase {
    const char* name;
    std::array<cv::Point2d, 4> window;
    bool right;
};

// The picture: 539 x 744 pixels from (100, 50).
std::array<cv::Point2d, 4> rectangle(double x, double y, double w, double h)
{
    return {cv::Point2d(x, y), cv::Point2d(x + w, y), cv::Point2d(x + w, y + h), cv::Point2d(x, y + h)};
}

std::array<cv::Point2d, 4> turnedBy(std::array<cv::Point2d, 4> corners, double degrees)
{
    const cv::Point2d middle = (corners[0] + corners[2]) / 2;
    for (auto& c : corners)
        c = turned(c, degrees, middle);
    return corners;
}

const WindowCase kWindows[] = {
    {"exact", rectangle(100, 50, 539, 744), true},
    {"exact_counterclockwise", {cv::Point2d(100, 50), cv::Point2d(100, 794), cv::Point2d(639, 794), cv::Point2d(639, 50)}, true},
    {"one_percent_along", rectangle(105, 50, 539, 744), true},
    {"three_percent_along", rectangle(116, 50, 539, 744), false},
    {"shifted_by_a_frame_line", rectangle(234, 50, 539, 744), false},
    {"a_little_small", rectangle(110, 65, 519, 714), true},
    {"too_small", rectangle(150, 120, 431, 595), false},
    {"too_large", rectangle(84, 28, 571, 788), false},
    {"turned_a_degree", turnedBy(rectangle(100, 50, 539, 744), 1.0), true},
    {"turned_three_degrees", turnedBy(rectangle(100, 50, 539, 744), 3.0), false},
    {"a_point", rectangle(300, 300, 0, 0), false},
    {"crossed", {cv::Point2d(100, 50), cv::Point2d(639, 794), cv::Point2d(639, 50), cv::Point2d(100, 794)}, false},
};

void PrintTo(const WindowCase& c, std::ostream* os) { *os << c.name; }

class RightWindow : public testing::TestWithParam<WindowCase> {};

TEST_P(RightWindow, MeetsBothShares)
{
    PictureTruth picture;
    picture.corners = rectangle(100, 50, 539, 744);
    picture.whole = true;
    EXPECT_EQ(windowIsRight(GetParam().window, picture), GetParam().right);
}

INSTANTIATE_TEST_SUITE_P(HandCases, RightWindow, testing::ValuesIn(kWindows),
                         [](const testing::TestParamInfo<WindowCase>& info) { return std::string(info.param.name); });

// ---- make_scans writes film-true sets ----

TEST(MakeScans, WritesFilmScansWithTheirTruthAndSaysSo)
{
    e2e::TempDir folder;
    e2e::RunOptions run;
    run.args = {"--gauge", "16", "--kind", "quad", "--count", "2", "--dpi", "600", "--tilt", "mixed",
                "--stock", "mixed", "--sound", "yes", "--channels", "mixed", "--out", folder.path};
    const e2e::RunResult made = e2e::runProgram(e2e::programPath("make_scans"), "", run);
    ASSERT_EQ(made.status, 0) << made.err;
    EXPECT_EQ(made.out, "make_scans: wrote 2 scans and truth.txt to " + folder.path + "\n");

    std::istringstream truth(e2e::readFile(folder.file("truth.txt")));
    std::map<std::string, int> wholePictures, perforations;
    std::string line;
    while (std::getline(truth, line)) {
        std::istringstream fields(line);
        std::string kind, file, size;
        fields >> kind >> file;
        if (kind == "scan") {
            const size_t at = line.find(" size=") + 6;
            const cv::Mat image = cv::imread(folder.file(file), cv::IMREAD_UNCHANGED);
            EXPECT_EQ(line.substr(at, line.find(' ', at) - at),
                      std::to_string(image.cols) + "x" + std::to_string(image.rows));
            EXPECT_NE(line.find(" sound=yes"), std::string::npos) << line;
        }
        if (kind == "picture" && line.find(" whole ") != std::string::npos)
            ++wholePictures[file];
        if (kind == "perforation")
            ++perforations[file];
    }
    for (const char* file : {"scan_001.tif", "scan_002.tif"}) {
        EXPECT_GE(wholePictures[file], 4) << file;
        EXPECT_GE(perforations[file], 4) << file;
    }

    run.args = {"--kind", "single", "--count", "1", "--dpi", "600", "--out", folder.path};
    EXPECT_EQ(e2e::runProgram(e2e::programPath("make_scans"), "", run).status, 2) << "--dpi needs --gauge";
}

}  // namespace
