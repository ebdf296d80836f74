// The perforation finder on painted strips with hard holes, on images that
// are not film, the pitch and the gauge from their measures, and its
// windows' corners and cuts.

#include "registration/registration.hpp"
#include "registration/stages.hpp"
#include "strip_painter.hpp"

#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <string>

using registration::Gauge;

namespace {

struct HardStrip {
  Gauge gauge;
  double dpi;
  strip::Stock stock;
  bool lid;  // holes show the lid: black holes on black reversal base, beside a black band
};

}  // namespace

// Holes nearly the base's level (light on a clear print, the lid on reversal
// film beside an unexposed band as dark as it), with edge lettering, a torn
// and a taped-over hole, dust and uneven light: the gauge, the pitch to a
// percent and the tilt to a tenth of a degree, in all but one strip in
// eight (faint holes under a light that falls off by a sixth are beyond it).
TEST(PaintedStrips, PerforationsGivePitchGaugeAndTilt) {
  int right = 0, strips = 0;
  const HardStrip cases[] = {
      {Gauge::Film35, 600, strip::Stock::Print, false},    {Gauge::Film35, 1200, strip::Stock::Reversal, true},
      {Gauge::Film16, 900, strip::Stock::Negative, true},  {Gauge::Film16, 2400, strip::Stock::Print, false},
      {Gauge::Super8, 600, strip::Stock::Reversal, true},  {Gauge::Super8, 1200, strip::Stock::Print, false},
      {Gauge::Regular8, 900, strip::Stock::Print, false},  {Gauge::Regular8, 2400, strip::Stock::Reversal, true},
  };
  uint64_t seed = 100;
  for (const HardStrip& c : cases)
    for (double tilt : {0.7, -0.4}) {
      strip::Request r;
      r.gauge = c.gauge, r.dpi = c.dpi, r.frames = 4, r.tiltDegrees = tilt, r.stock = c.stock, r.lid = c.lid;
      r.channels = seed % 2 ? 3 : 1, r.seed = ++seed;
      const strip::Scan scan = strip::paint(r);
      const auto reg = registration::registerFrames(scan.image);
      const bool ok = reg.gauge == c.gauge && std::abs(reg.perforationPitch / scan.perforationPitch - 1) <= 0.01 &&
                      std::abs(reg.tiltDegrees - tilt) <= 0.1;
      if (!ok)
        std::printf("%s at %.0f dpi, seed %llu: %s, pitch %.1f of %.1f, tilt %.2f of %.2f\n", registration::gaugeName(c.gauge),
                    c.dpi, static_cast<unsigned long long>(seed), registration::gaugeName(reg.gauge), reg.perforationPitch,
                    scan.perforationPitch, reg.tiltDegrees, tilt);
      right += ok, ++strips;
    }
  EXPECT_GE(right * 8, strips * 7);
}

// Scenes as dark as their frame lines, which show no line to measure: the
// holes and the gauge still place every frame by the published geometry.
TEST(PaintedStrips, DarkScenesArePlacedByThePriors) {
  uint64_t seed = 300;
  for (Gauge gauge : {Gauge::Film35, Gauge::Film16, Gauge::Super8, Gauge::Regular8}) {
    strip::Request r;
    r.gauge = gauge, r.frames = 4, r.dpi = 1200, r.darkScenes = true, r.letters = false, r.seed = ++seed;
    const auto reg = registration::registerFrames(strip::paint(r).image);
    EXPECT_TRUE(reg.registered) << registration::gaugeName(gauge) << ": " << reg.missing;
    EXPECT_EQ(reg.gauge, gauge);
    EXPECT_GE(reg.frames.size(), 4u) << registration::gaugeName(gauge);
  }
}

// The published geometry is one film: each aperture lies on the film, clear
// of the holes, and shorter than its frame; the frame line falls on a hole or between two.
TEST(GaugePriors, PicturesFitBetweenTheHolesAndTheEdge) {
  for (const registration::Priors& p : registration::allPriors()) {
    SCOPED_TRACE(registration::gaugeName(p.gauge));
    const double holeInner = p.holeEdge + p.holeAcross;
    for (const registration::Aperture& a : p.apertures) {
      const double from = a.middle - a.across / 2, to = a.middle + a.across / 2;
      EXPECT_GT(from, holeInner);
      EXPECT_LT(to, p.maxRows == 2 ? p.width - holeInner : p.width);
      EXPECT_LT(a.along, p.pitch * p.perforationsPerFrame);
      EXPECT_GT(a.across, a.along);
    }
    EXPECT_TRUE(p.lineFromHole == 0 || p.lineFromHole == 0.5);
  }
}

// The strip sampled along lines turned by the tilt: a scan whose level is
// its s coordinate gives each bin the s of its middle, whatever the line's
// t, gray or colour, up to the last bin.
TEST(SampleAlong, BinsTheStripsOwnCoordinate) {
  const registration::StripAxes axes{0.012, 199.5, 99.5};
  for (const int type : {CV_8UC1, CV_8UC3}) {
    cv::Mat scan(200, 400, type);
    for (int y = 0; y < scan.rows; ++y)
      for (int x = 0; x < scan.cols; ++x) {
        const uchar level = cv::saturate_cast<uchar>(axes.s({double(x), double(y)}) / 2);
        if (type == CV_8UC1) scan.at<uchar>(y, x) = level;
        else scan.at<cv::Vec3b>(y, x) = cv::Vec3b::all(level);
      }
    const cv::Mat m = registration::sampleAlong(scan, axes, {20.0, 100.0, 180.0}, 40, 8, 40, 2);
    for (int r = 0; r < m.rows; ++r)
      for (int j = 1; j < 40; ++j) EXPECT_NEAR(m.at<float>(r, j), (40 + 8 * j + 3.5) / 2, 0.75) << "line " << r << " bin " << j;
    EXPECT_TRUE(std::isnan(registration::sampleAlong(scan, axes, {-50.0}, 40, 8, 40).at<float>(0, 5)));
  }
}

// A scene's texture counts in the pictures only: flat film shows none, and a
// wave that runs on through the frame lines (a sound track) is taken off.
TEST(PictureTexture, IsWhatThePicturesShowAndTheLinesDoNot) {
  const registration::StripAxes axes{0, 599.5, 199.5};
  registration::FrameLines lines;
  lines.middle = 150, lines.period = 300, lines.start = {-20, true}, lines.end = {20, true};
  auto inLine = [&](int x) { return std::abs(std::remainder(x - lines.middle, lines.period)) <= 20; };
  // Flat film, a scene in the pictures, a wave through pictures and lines alike.
  auto textureOf = [&](bool scene, bool wave) {
    cv::Mat scan(400, 1200, CV_8UC1);
    for (int x = 0; x < scan.cols; ++x) {
      const bool textured = wave || (scene && !inLine(x));
      scan.col(x).setTo(cv::saturate_cast<uchar>(60 + (textured ? 8 * std::sin(2 * CV_PI * x / 60) : 0)));
    }
    return registration::pictureTexture(scan, axes, lines, 100, 200);
  };
  const double scene = textureOf(true, false);
  EXPECT_EQ(textureOf(false, false), 0);
  EXPECT_GT(scene, 3);
  EXPECT_LT(textureOf(false, true), 0.5 * scene);
}

// The film between the holes, though the holes take most of the row; nothing without a row.
TEST(RebateLevel, IsTheFilmBetweenTheHolesNotTheHoles) {
  cv::Mat scan(60, 400, CV_8UC1, cv::Scalar(120));
  registration::StripMeasure m;
  m.axes = {0, 199.5, 29.5};
  m.rowT = {19.5};
  for (int x = 10; x + 28 <= scan.cols; x += 40) {
    scan(cv::Rect(x, 12, 28, 16)).setTo(250);
    m.holes.push_back({{x + 13.5, 19.5}, {28, 16}});
  }
  EXPECT_EQ(registration::rebateOf(scan, m).level, 120);
  EXPECT_FALSE(registration::rebateOf(scan, m).masked);
  m.rowT.clear();
  EXPECT_TRUE(std::isnan(registration::rebateOf(scan, m).level));
}

// Only a colour negative's orange base is masked: not a print's clear base
// with a cast, nor reversal film's black base gone red.
TEST(RebateLevel, TellsTheOrangeMaskedBase) {
  struct Base { cv::Scalar bgr; bool masked; };
  for (const Base& b : {Base{{60, 105, 165}, true}, Base{{150, 158, 168}, false}, Base{{9, 12, 30}, false}}) {
    cv::Mat scan(60, 400, CV_8UC3, b.bgr);
    registration::StripMeasure m;
    m.axes = {0, 199.5, 29.5};
    m.rowT = {19.5};
    for (int x = 10; x + 28 <= scan.cols; x += 40) {
      scan(cv::Rect(x, 12, 28, 16)).setTo(cv::Scalar(250, 250, 250));
      m.holes.push_back({{x + 13.5, 19.5}, {28, 16}});
    }
    EXPECT_EQ(registration::rebateOf(scan, m).masked, b.masked) << b.bgr;
  }
}

// Blurred noise holds, at one cut or another, two blobs of like size at a
// pitch some gauge allows; without the strip's edges or a second row that
// is no film, whether found at the usual cuts (seed 4) or the fine ones (6).
TEST(NotFilm, TwoBlobsOfBlurredNoiseDoNotRegister) {
  for (const uint64_t seed : {4, 6}) {
    cv::RNG rng(seed);
    const int cols = 800 + rng.uniform(0, 1200);
    const int rows = 600 + rng.uniform(0, 900);
    cv::Mat noise(rows, cols, CV_8UC1);
    rng.fill(noise, cv::RNG::UNIFORM, 0, 255);
    cv::GaussianBlur(noise, noise, cv::Size(0, 0), rng.uniform(1.0, 30.0));
    const int lo = rng.uniform(0, 120);
    cv::normalize(noise, noise, lo, rng.uniform(lo + 20, 256), cv::NORM_MINMAX);
    EXPECT_FALSE(registration::registerFrames(noise).registered) << "seed " << seed;
  }
}

// Images that are not film: nothing registered, or frames of sane size; never an exception.
TEST(NotFilm, GivesNoFramesOrSaneOnes) {
  cv::Mat noise(900, 1200, CV_8UC1), colourNoise(300, 400, CV_8UC3), gradient(1000, 1300, CV_8UC1);
  cv::RNG(7).fill(noise, cv::RNG::UNIFORM, 0, 256);
  cv::RNG(8).fill(colourNoise, cv::RNG::UNIFORM, 0, 256);
  for (int r = 0; r < gradient.rows; ++r)
    for (int c = 0; c < gradient.cols; ++c)
      gradient.at<uchar>(r, c) = cv::saturate_cast<uchar>(60 + 120 * std::sin(r / 90.0) * std::cos(c / 130.0) + c / 20);
  cv::Mat bars(600, 1800, CV_8UC1, cv::Scalar(40));  // a fence: bright bars at a pitch, no strip
  for (int x = 20; x < bars.cols; x += 60) bars.colRange(x, x + 25).setTo(230);
  const cv::Mat images[] = {cv::Mat(),
                            cv::Mat(1, 1, CV_8UC1, cv::Scalar(0)),
                            cv::Mat(2, 3, CV_8UC3, cv::Scalar(9, 9, 9)),
                            cv::Mat(5, 5, CV_8UC1, cv::Scalar(255)),
                            cv::Mat(800, 1000, CV_8UC1, cv::Scalar(0)),
                            cv::Mat(800, 1000, CV_8UC3, cv::Scalar(255, 255, 255)),
                            noise,
                            colourNoise,
                            gradient,
                            bars,
                            cv::Mat(1, 4000, CV_8UC1, cv::Scalar(120)),
                            cv::Mat(4000, 2, CV_8UC1, cv::Scalar(120)),
                            noise.rowRange(0, 3),
                            noise.colRange(0, 4),
                            cv::Mat(100, 100, CV_16UC1, cv::Scalar(1000)),
                            cv::Mat(100, 100, CV_8UC4, cv::Scalar::all(50))};
  for (const cv::Mat& image : images) {
    SCOPED_TRACE(std::to_string(image.cols) + " x " + std::to_string(image.rows) + ", " + std::to_string(image.channels()) +
                 " channels");
    registration::Registration reg;
    ASSERT_NO_THROW(reg = registration::registerFrames(image));
    EXPECT_EQ(reg.registered, !reg.frames.empty());
    EXPECT_EQ(reg.registered, reg.missing.empty());
    for (const auto& f : reg.frames) {
      EXPECT_TRUE(std::isfinite(f.centre.x) && std::isfinite(f.centre.y));
      EXPECT_GT(f.along, 0);
      EXPECT_GT(f.across, 0);
      EXPECT_LE(f.along, image.cols + image.rows);
      EXPECT_EQ(registration::cutPicture(image, f).size(), cv::Size(cvRound(f.along), cvRound(f.across)));
    }
  }
  EXPECT_EQ(registration::registerFrames(cv::Mat(800, 1000, CV_8UC1, cv::Scalar(0))).missing,
            "no row of perforations along the strip");
}

// A frame line's ends lie where the scan's pixels change from line to
// picture, wherever the bins (a pitch's whole share, rarely a whole pixel)
// fall on the pixels: a line over pixels [a, b) ends at a - 0.5 and b - 0.5,
// each to within a bin's blur, and on average to within a sixth of a pixel.
// So too, to within a pixel, where a flat scene lies only a few levels off
// the line, lost in each row's grain, which only the rows' median level shows.
TEST(MeasureFrameLines, EndsLieWhereThePixelsChange) {
  const int width = 14;
  double sum = 0;
  int ends = 0;
  struct Film { bool shaded; int scene, grain; double within; };
  for (const Film film : {Film{true, 100, 5, 0.5}, Film{false, 40, 32, 1.0}})
    for (const int period : {301, 334, 452})
      for (const int first : {60, 61, 62}) {
        // Pictures shaded across the strip or flat, lines one level, and grain.
        cv::Mat scan(120, 3 * period + 150, CV_8UC1);
        for (int y = 0; y < scan.rows; ++y) scan.row(y).setTo(film.scene + (film.shaded ? y : 0));
        for (int x = first; x < scan.cols; x += period) scan.colRange(x, std::min(scan.cols, x + width)).setTo(30);
        cv::Mat grain(scan.size(), CV_8U);
        cv::randu(grain, 0, film.grain);
        scan += grain;
        registration::LinePrior prior;
        prior.middle = first - 0.5 + width / 2.0 + 0.8, prior.period = period, prior.width = width;
        prior.slack = prior.middleSlack = 4, prior.leastWidth = 2;
        std::vector<double> ts;
        for (int i = 0; i < 48; ++i) ts.push_back(12 + 2 * i);
        const registration::FrameLines lines =
            registration::measureFrameLines(scan, {0, (scan.cols - 1) / 2.0, 59.5}, ts, {prior}, {}, {});
        ASSERT_EQ(lines.candidate, 0);
        ASSERT_TRUE(lines.start.measured && lines.end.measured) << "period " << period << ", first " << first;
        for (const double off : {lines.middle + lines.start.at - (first - 0.5), lines.middle + lines.end.at - (first + width - 0.5)}) {
          EXPECT_LT(std::abs(off), film.within) << "period " << period << ", first " << first;
          sum += off, ++ends;
        }
      }
  EXPECT_LT(std::abs(sum / ends), 1.0 / 6);
}

// One row of holes on 8 mm film, 47.2 px a millimetre: the picture lies on
// the film beyond the row, whichever of the strip's edges was found (the
// perforated one, the far one, both, neither), either way up.
TEST(FramePriors, PutThePictureOnTheFilmBeyondTheRowWhicheverEdgeWasFound) {
  const registration::Priors& p = *registration::priorsOf(Gauge::Regular8);
  const double mm = 47.2;
  for (const int flip : {1, -1}) {
    // The perforated edge and the row's place, t grows downwards; flipped, the film is turned over.
    const double mid = 400, edge = mid - flip * p.width / 2 * mm, far = mid + flip * p.width / 2 * mm;
    const double row = edge + flip * p.holeCentre() * mm;
    const double picture = edge + flip * p.apertures[0].middle * mm;
    for (int found = 0; found < 4; ++found) {
      registration::StripMeasure m;
      m.axes = {0, 500, 400};
      m.pitch = p.pitch * mm, m.pitchMeasured = true, m.rowT = {row};
      m.holes.push_back({{500, row}, {p.holeAlong * mm, p.holeAcross * mm}});
      if (found & 1) (flip > 0 ? m.top : m.bottom) = edge;
      if (found & 2) (flip > 0 ? m.bottom : m.top) = far;
      const registration::FramePriors fp = registration::framePriors(m, p, {1000, 800});
      ASSERT_EQ(fp.ways.size(), 1u);
      EXPECT_NEAR(fp.ways[0].middle, picture, 1.0) << "flip " << flip << ", edges found " << found;
    }
  }
}

TEST(CornersOf, GoRoundTheWindowTurnedByTheTilt) {
  registration::PlacedFrame f;
  f.centre = {100, 50}, f.along = 40, f.across = 20, f.angleDegrees = 90;
  const auto c = registration::cornersOf(f);
  // Turned a quarter (y down): along runs down the scan, across runs to the left.
  const cv::Point2d want[4] = {{110, 30}, {110, 70}, {90, 70}, {90, 30}};
  for (int k = 0; k < 4; ++k) EXPECT_LT(cv::norm(c[k] - want[k]), 1e-9) << "corner " << k;
}

TEST(CutPicture, CopiesThePixelsOfAStraightWindowAndTurnsATiltedOne) {
  cv::Mat scan(120, 200, CV_8UC3);
  cv::RNG(3).fill(scan, cv::RNG::UNIFORM, 0, 256);
  registration::PlacedFrame f;
  f.centre = {60.5, 40}, f.along = 50, f.across = 31, f.angleDegrees = 0.03;
  // Columns 36..85 and rows 25..55: the pixels whose centres the window's middle covers.
  EXPECT_EQ(cv::norm(registration::cutPicture(scan, f), scan(cv::Rect(36, 25, 50, 31)), cv::NORM_INF), 0);

  // A window turned by 0.8 degree on a scan that is one level: that level, black only outside the scan.
  cv::Mat flat(300, 400, CV_8UC1, cv::Scalar(170));
  f.centre = {200, 150}, f.along = 180, f.across = 120, f.angleDegrees = 0.8;
  const cv::Mat cut = registration::cutPicture(flat, f);
  ASSERT_EQ(cut.size(), cv::Size(180, 120));
  EXPECT_EQ(cv::countNonZero(cut != 170), 0);
  f.centre = {10, 150};
  const cv::Mat edge = registration::cutPicture(flat, f);
  EXPECT_EQ(edge.at<uchar>(60, 0), 0);
  EXPECT_EQ(edge.at<uchar>(60, 179), 170);
  // A window no scan could hold, or not a number: nothing.
  f.along = 1e12;
  EXPECT_TRUE(registration::cutPicture(flat, f).empty());
  f.along = NAN;
  EXPECT_TRUE(registration::cutPicture(flat, f).empty());
}

TEST(GaugeName, NamesEveryGauge) {
  EXPECT_STREQ(registration::gaugeName(Gauge::Film35), "35 mm");
  EXPECT_STREQ(registration::gaugeName(Gauge::Film16), "16 mm");
  EXPECT_STREQ(registration::gaugeName(Gauge::Super8), "Super 8");
  EXPECT_STREQ(registration::gaugeName(Gauge::Regular8), "8 mm");
  EXPECT_STREQ(registration::gaugeName(Gauge::Unknown), "unknown");
}

// The finder's own labelling against OpenCV's: the same islands, box and
// pixel count each, in raster order of their first pixel, on noise blurred
// into islands of every shape (U-turns and spirals join labels late), at
// densities from specks to one island filling the image, and on a view
// whose rows run through a wider image's step.
TEST(IslandBoxes, AreOpenCvsIslandsInRasterOrder) {
  for (const double blur : {0.0, 1.0, 2.5, 6.0})
    for (const int level : {-1, 40, 110, 128, 200, 255}) {
      SCOPED_TRACE("blur " + std::to_string(blur) + ", level " + std::to_string(level));
      cv::Mat wide(97, 160, CV_8U), image;
      cv::RNG rng(static_cast<uint64_t>(blur * 100 + level));
      rng.fill(wide, cv::RNG::UNIFORM, 0, 256);
      if (blur > 0) cv::GaussianBlur(wide, wide, cv::Size(0, 0), blur), cv::normalize(wide, wide, 0, 255, cv::NORM_MINMAX);
      image = wide.colRange(7, 150);
      cv::Mat labels, stats, centroids;
      const int n = cv::connectedComponentsWithStats(image > level, labels, stats, centroids, 4, CV_32S);
      const std::vector<registration::IslandBox> ours = registration::islandBoxes(image, level);
      ASSERT_EQ(ours.size(), static_cast<size_t>(n - 1));
      // OpenCV's islands in raster order of their first pixel.
      std::vector<int> first(n, -1);
      for (int r = 0; r < labels.rows; ++r)
        for (int c = 0; c < labels.cols; ++c)
          if (int& f = first[labels.at<int>(r, c)]; f < 0) f = r * labels.cols + c;
      std::vector<int> order;
      for (int i = 1; i < n; ++i) order.push_back(i);
      std::sort(order.begin(), order.end(), [&](int x, int y) { return first[x] < first[y]; });
      std::vector<std::array<int, 5>> theirs, mine;
      for (int i : order) {
        const int* s = stats.ptr<int>(i);
        theirs.push_back({s[cv::CC_STAT_LEFT], s[cv::CC_STAT_TOP], s[cv::CC_STAT_LEFT] + s[cv::CC_STAT_WIDTH] - 1,
                          s[cv::CC_STAT_TOP] + s[cv::CC_STAT_HEIGHT] - 1, s[cv::CC_STAT_AREA]});
      }
      for (const auto& b : ours) mine.push_back({b.x0, b.y0, b.x1, b.y1, b.area});
      EXPECT_EQ(mine, theirs);
    }
}

// The count in whole numbers against the division it stands for, on every
// pair of half-pixel distances up to the copy's widest (a tenth of a step
// off exactly, half a step off, and far past the partner included), one
// distance at a time and in one list, whose vector loop runs in fours.
TEST(OffStepCount, CountsAsTheDivisionDoes) {
  auto off = [](double o, double pitch) {
    const double v = o / pitch;
    return std::abs(v - static_cast<double>(static_cast<long long>(v + 0.5))) > 0.1;
  };
  std::vector<float> all;
  for (int twiceO = 1; twiceO <= 1200; ++twiceO) all.push_back(static_cast<float>(twiceO));
  for (int twiceD = 1; twiceD <= 1200; twiceD += 1 + twiceD / 50)
    for (int k = 1; k <= 4; ++k) {
      const double d = twiceD / 2.0;
      size_t expected = 0;
      for (const float twiceO : all) {
        const bool miss = off(twiceO / 2.0, d / k);
        expected += miss;
        ASSERT_EQ(registration::offStepCount({twiceO}, d, k), miss ? 1u : 0u) << twiceO << " " << twiceD << " " << k;
      }
      ASSERT_EQ(registration::offStepCount(all, d, k), expected) << twiceD << " " << k;
    }
}

// Every reduced pixel is its block's rounded mean, at the factors whose
// block sums are unrolled and beyond them; the partial blocks left out.
TEST(ReduceScan, IsTheMeanOfEachWholeBlock) {
  for (const int factor : {2, 3, 6, 8, 9, 13}) {
    SCOPED_TRACE("factor " + std::to_string(factor));
    const int rows = 150 * factor + factor / 2, cols = 60000 * factor * factor / rows + 5;
    cv::Mat scan(rows, cols, CV_8U);
    cv::RNG(static_cast<uint64_t>(factor)).fill(scan, cv::RNG::UNIFORM, 0, 256);
    const registration::Reduced reduced = registration::reduceScan(scan);
    ASSERT_EQ(reduced.factor, factor);
    ASSERT_EQ(reduced.gray.size(), cv::Size(cols / factor, rows / factor));
    for (int r = 0; r < reduced.gray.rows; ++r)
      for (int c = 0; c < reduced.gray.cols; ++c) {
        const double sum = cv::sum(scan(cv::Rect(c * factor, r * factor, factor, factor)))[0];
        ASSERT_EQ(reduced.gray.at<uchar>(r, c), cv::saturate_cast<uchar>(sum / (factor * factor))) << r << ", " << c;
      }
  }
}

// Colour blocks against the level summed term by term in doubles, each
// column's channel sums weighted in the order of the pixels: on noise, and
// on blocks of one colour each, of which about one in a thousand lies
// exactly half-way between two levels, where the doubles decide.
TEST(ReduceScan, ColourBlocksKeepTheLevelsSummedInDoubles) {
  for (const int factor : {2, 3, 6, 9, 13}) {
    SCOPED_TRACE("factor " + std::to_string(factor));
    const int rows = 150 * factor + factor / 2, cols = 60000 * factor * factor / rows + 5;
    cv::Mat scan(rows, cols, CV_8UC3);
    cv::RNG rng(static_cast<uint64_t>(factor) + 100);
    rng.fill(scan, cv::RNG::UNIFORM, 0, 256);
    for (int r = 0; r + factor <= rows; r += factor)
      for (int c = 0; c + factor <= cols / 2; c += factor)
        scan(cv::Rect(c, r, factor, factor)).setTo(cv::Scalar(rng.uniform(0, 256), rng.uniform(0, 256), rng.uniform(0, 256)));
    const registration::Reduced reduced = registration::reduceScan(scan);
    ASSERT_EQ(reduced.factor, factor);
    for (int r = 0; r < reduced.gray.rows; ++r)
      for (int c = 0; c < reduced.gray.cols; ++c) {
        double level = 0;
        for (int x = 0; x < factor; ++x) {
          const cv::Scalar column = cv::sum(scan(cv::Rect(c * factor + x, r * factor, 1, factor)));
          level += 0.114 * column[0];
          level += 0.587 * column[1];
          level += 0.299 * column[2];
        }
        ASSERT_EQ(reduced.gray.at<uchar>(r, c), cv::saturate_cast<uchar>(level / (factor * factor))) << r << ", " << c;
      }
  }
}

// Holes half a pitch off the multiples of the pitch from x = 0, a little
// uneven as measured holes are: numbered from x = 0 they rounded either way
// and gave a pitch a sixth short.
TEST(MeasurePitch, CountsHolesThatLieHalfAPitchOffTheOrigin) {
  registration::HoleRow row;
  for (const double x : {44.3, 133.3, 222.2, 310.2, 399.2}) row.holes.push_back({{x, 76.0 - 0.017 * x}, {30, 42}});
  row.pitchX = 88.7;
  const registration::PitchFit fit = registration::measurePitch({&row});
  EXPECT_NEAR(fit.pitchX, 88.7, 0.5);
  EXPECT_NEAR(fit.slope, -0.017, 1e-3);
}

// Two rows of an untilted strip, half of one row's holes joined to a bright
// picture beside them and so measured off the row together, as on a
// benchmark scan: the least-squares fit over both rows tilted the strip by
// a degree. The plain row sets the tilt; where the rows agree they share it.
TEST(MeasurePitch, ARowWhoseHolesSitOffTogetherDoesNotTiltTheStrip) {
  registration::HoleRow plain, joined;
  const double xs[] = {30.7, 54.7, 78.7, 102.8, 126.9, 150.8};
  for (int i = 0; i < 6; ++i) {
    plain.holes.push_back({{xs[i], 176.4}, {9, 14}});
    joined.holes.push_back({{xs[i], i < 3 ? 32.6 : 29.7}, {9, 14}});
  }
  plain.pitchX = joined.pitchX = 24.04;
  EXPECT_NEAR(registration::measurePitch({&plain, &joined}).slope, 0, 2e-3);
  for (registration::Hole& h : joined.holes) h.centre.y = 29.7 + 0.004 * h.centre.x;
  EXPECT_NEAR(registration::measurePitch({&plain, &joined}).slope, 0.002, 1e-9);
}

// A measure that is no length (a second row whose place could not be
// taken) must fit no gauge; its logarithm once made every misfit vanish.
TEST(IdentifyGauge, AMeasureThatIsNoLengthFitsNoGauge) {
  const registration::Priors& p = *registration::priorsOf(Gauge::Film35);
  const double scale = 20;  // pixels a millimetre
  registration::GaugeMeasure m;
  m.holeSize = {p.holeAlong * scale, p.holeAcross * scale};
  m.pitch = p.pitch * scale;
  m.rows = 2;
  m.stripWidth = p.width * scale;
  m.rowSpacing = (p.width - 2 * p.holeCentre()) * scale;
  EXPECT_EQ(registration::identifyGauge(m).gauge, Gauge::Film35);
  const double room = m.rowSpacing;
  for (const double spacing : {std::nan(""), 0.0, -room, HUGE_VAL}) {
    m.rowSpacing = spacing;
    EXPECT_EQ(registration::identifyGauge(m).gauge, Gauge::Unknown) << "spacing " << spacing;
  }
}

// Regular 8 mm holes at their pitch with only the strip's far edge found:
// the distance fits the gauge from that edge, and fits none when the one
// edge must be the near one.
TEST(IdentifyGauge, TakesTheOneEdgeFoundAsTheFarOneWhereItMayBe) {
  const registration::Priors& p = *registration::priorsOf(Gauge::Regular8);
  const double scale = 24;
  registration::GaugeMeasure m;
  m.holeSize = {p.holeAlong * scale, p.holeAcross * scale};
  m.pitch = p.pitch * scale;
  m.holeFromEdge = (p.width - p.holeCentre()) * scale;
  m.edgeMayBeFar = true;
  EXPECT_EQ(registration::identifyGauge(m).gauge, Gauge::Regular8);
  m.edgeMayBeFar = false;
  EXPECT_EQ(registration::identifyGauge(m).gauge, Gauge::Unknown);
}
