// make_scans (installed as tarvel-make-scans): writes synthetic film scans
// with ground truth. --help says what it writes and takes; kHelp below is
// that text, and the installed manual page is made from it.
//
// Bright scans use a medium stock (mean level 32 to 100) or a light one
// (above 100 at scale 1): with --film bright they alternate medium, light,
// ...; with --film mixed scans 1-4 are medium, 5-8 light and so on. Eight
// scans with both mixed cover every pairing.
//
// With --gauge the scans come from the film-true generator instead, and the
// truth file lists every picture and perforation of each scan.
#include "film.h"
#include "scangen.h"

#include <opencv2/imgcodecs.hpp>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct Options {
    std::string kind, out, channels = "1", film, scale;
    double scaleFactor = 1.0;
    int count = 0;
    uint64_t seed = 1;
    // Film-true scans: set by --gauge.
    std::optional<scangen::Gauge> gauge;
    std::string dpi, tilt, stock, sound, aperture, scene, damage;
};

#ifndef TARVEL_VERSION
#define TARVEL_VERSION "unknown"
#endif

// %1$s is the program's name as it was called.
constexpr const char* kHelp =
    "Usage: %1$s --kind single|quad --count N --out DIR [OPTION]...\n"
    "Write synthetic film scans as the tarvel programs read them, with the\n"
    "positions the programs should find in them, to try and test the programs.\n"
    "\n"
    "Writes DIR/scan_001.tif, DIR/scan_002.tif, ... (uncompressed TIFF, 8 bits\n"
    "per sample) and DIR/truth.txt, and says on standard output what it wrote.\n"
    "The same options always give the same files; scan i depends only on the\n"
    "seed and i, not on --count.\n"
    "\n"
    "Without --gauge the scans have the fixed 900 dpi layouts of the programs'\n"
    "own tests. With --gauge they are film-true: the gauge's perforations,\n"
    "frame lines, pictures, sound track and edge lettering at any resolution\n"
    "and slant, with dust, scratches, splices, grain and uneven light; their\n"
    "truth holds every picture's corners and every perforation's centre.\n"
    "\n"
    "Options:\n"
    "  --kind single|quad    single: one frame of a wide strip a scan, for tarvel1m\n"
    "                        and tarvel1d; quad: four frames of a narrow strip a\n"
    "                        scan, for tarvel4; with --gauge: one whole picture\n"
    "                        and parts of its neighbours, or at least four whole\n"
    "                        pictures, of the gauge's film\n"
    "  --count N             the number of scans, 1 to 999\n"
    "  --out DIR             the folder to write them to, created if missing\n"
    "  --seed S              the seed of the scans' random content (default 1)\n"
    "  --channels 1|3|mixed  gray scans, colour scans, or two of each in turn:\n"
    "                        1, 1, 3, 3, 1, ... (default 1)\n"
    "  --film bright|dark|mixed\n"
    "                        without --gauge: bright film (a mean level from 32\n"
    "                        up), dark film (below 32), or one of each in turn\n"
    "                        (default bright)\n"
    "  --scale F             without --gauge: the scanner's background around the\n"
    "                        strip grows by the factor F, 1 to 2 (default 1)\n"
    "  --gauge 35|16|super8|8\n"
    "                        film-true scans of 35 mm (four perforations a frame,\n"
    "                        both edges), 16 mm (one a frame, both edges, or one\n"
    "                        edge with --sound yes), Super 8 or regular 8 mm film\n"
    "  --dpi N               with --gauge: the resolution, 100 to 10000 (default\n"
    "                        900)\n"
    "  --tilt DEG|mixed      with --gauge: the strip's slant in degrees, -10 to 10,\n"
    "                        positive when it runs down to the right; mixed: each\n"
    "                        scan its own slant from -1 to 1 (default 0)\n"
    "  --stock print|reversal|negative|mixed\n"
    "                        with --gauge: the film stock, or the three in turn\n"
    "                        (default print)\n"
    "  --sound yes|no        with --gauge: a sound track, on 35 mm beside the\n"
    "                        pictures, on 16 mm in place of one row of\n"
    "                        perforations; no other gauge has one (default no)\n"
    "  --aperture auto|academy|full\n"
    "                        with --gauge 35: Academy pictures (22 x 16 mm, wide\n"
    "                        frame lines) or full aperture (24.9 x 18.7 mm); auto\n"
    "                        takes Academy with sound, either without (default\n"
    "                        auto)\n"
    "  --scene mixed|landscape|night|high-key|figures|edge-figure|inner-rise\n"
    "                        with --gauge: what the pictures show; edge-figure is\n"
    "                        a dark scene with a bright band just inside a frame\n"
    "                        line, inner-rise a step inside the picture far\n"
    "                        stronger than the frame line beside it (default\n"
    "                        mixed: drawn for each scan)\n"
    "  --damage yes|no       with --gauge: dust, scratches, splices, grain and\n"
    "                        uneven light (default yes)\n"
    "  -h, --help            print this help and exit\n"
    "      --version         print the version and exit\n"
    "\n"
    "Ground truth:\n"
    "  Without --gauge, truth.txt holds a comment line, then one line a scan:\n"
    "\n"
    "  FILE CHANNELS bright|dark CROP_LEFT CROP_RIGHT WIN_ROW WIN_COL [pitch=PX] level=MEAN\n"
    "\n"
    "CROP_LEFT and CROP_RIGHT are the first and last scan columns the programs\n"
    "should keep (for quad scans CROP_RIGHT is always 98 %% of the width less\n"
    "one). WIN_ROW and WIN_COL are the top left corner of the frame window (of\n"
    "the first of the four, for quad scans) in the strip turned so that it runs\n"
    "down, where the programs' x= and N= lines should point. PX, for quad\n"
    "scans, is the frame pitch tarvel4 should measure; MEAN is the strip's mean\n"
    "level, of its red channel in colour scans.\n"
    "\n"
    "With --gauge, truth.txt holds comment lines, then for each scan a scan line\n"
    "followed by a line for each picture and each perforation it shows:\n"
    "\n"
    "  scan FILE gauge=G dpi=D tilt=DEG stock=S channels=C sound=yes|no\n"
    "  aperture=academy|full|- scene=K size=WxH perforation_pitch=PX\n"
    "  frame_pitch=PX perforations_per_frame=N perforation_rows=R\n"
    "  perforation_size=ALONGxACROSS picture_size=ALONGxACROSS\n"
    "\n"
    "  picture FILE whole|cut X1 Y1 X2 Y2 X3 Y3 X4 Y4\n"
    "\n"
    "  perforation FILE X Y\n"
    "\n"
    "The scan line is one line. Coordinates are scan pixels with pixel centres\n"
    "at integers, x along the strip (the scan's width), y across it, down. A\n"
    "picture's corners go top left, top right, bottom right, bottom left; cut\n"
    "pictures reach outside the scan. Pictures and perforations come in order\n"
    "of x; a perforation is listed when its centre lies in the scan. Pitches\n"
    "and sizes are pixels along the strip (and across it). The aperture is -\n"
    "for gauges other than 35 mm.\n"
    "\n"
    "Exit status:\n"
    "  0 when the scans were written, 1 when a file could not be written, 2 for\n"
    "  a wrong option.\n";

std::string g_name = "make_scans";

[[noreturn]] void usage(const std::string& problem)
{
    std::cerr << g_name << ": " << problem << "\n"
              << "Usage: " << g_name << " --kind single|quad --count N --out DIR [OPTION]...\n"
              << "Try '" << g_name << " --help' for more information.\n";
    std::exit(2);
}

scangen::Gauge gaugeNamed(const std::string& name)
{
    using scangen::Gauge;
    for (Gauge gauge : {Gauge::Film35, Gauge::Film16, Gauge::Super8, Gauge::Regular8})
        if (name == scangen::gaugeName(gauge))
            return gauge;
    throw std::invalid_argument("no such gauge: " + name);
}

// A number that is the whole of the value; anything else is a wrong option.
double number(const std::string& key, const std::string& value)
{
    size_t used = 0;
    double v = 0;
    try {
        v = std::stod(value, &used);
    } catch (const std::logic_error&) {
        used = 0;
    }
    if (used == 0 || used != value.size())
        usage("bad value for " + key + ": " + value);
    return v;
}

bool oneOf(const std::string& value, std::initializer_list<const char*> choices)
{
    for (const char* choice : choices)
        if (value == choice)
            return true;
    return false;
}

void checkFilmOptions(Options& o)
{
    if (!o.film.empty() || !o.scale.empty()) usage("--film and --scale are for scans without --gauge");
    if (o.dpi.empty()) o.dpi = "900";
    if (o.tilt.empty()) o.tilt = "0";
    if (o.stock.empty()) o.stock = "print";
    if (o.sound.empty()) o.sound = "no";
    if (o.aperture.empty()) o.aperture = "auto";
    if (o.scene.empty()) o.scene = "mixed";
    if (o.damage.empty()) o.damage = "yes";
    const double dpi = number("--dpi", o.dpi);
    if (!(dpi >= 100 && dpi <= 10000)) usage("--dpi must be 100 to 10000");
    if (o.tilt != "mixed" && !(std::abs(number("--tilt", o.tilt)) <= 10)) usage("--tilt must be -10 to 10 or mixed");
    if (!oneOf(o.stock, {"print", "reversal", "negative", "mixed"}))
        usage("--stock must be print, reversal, negative or mixed");
    if (!oneOf(o.sound, {"yes", "no"})) usage("--sound must be yes or no");
    if (!oneOf(o.aperture, {"auto", "academy", "full"})) usage("--aperture must be auto, academy or full");
    if (!oneOf(o.scene, {"mixed", "landscape", "night", "high-key", "figures", "edge-figure", "inner-rise"}))
        usage("--scene must be mixed, landscape, night, high-key, figures, edge-figure or inner-rise");
    if (!oneOf(o.damage, {"yes", "no"})) usage("--damage must be yes or no");
}

Options parse(int argc, char** argv)
{
    Options o;
    for (int i = 1; i < argc; i += 2) {
        const std::string key = argv[i];
        if (key == "--help" || key == "-h") {
            std::printf(kHelp, g_name.c_str());
            std::exit(std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1);
        }
        if (key == "--version") {
            std::printf("%s %s\n", g_name.c_str(), TARVEL_VERSION);
            std::exit(std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1);
        }
        if (i + 1 >= argc)
            usage("missing value for " + key);
        const std::string value = argv[i + 1];
        try {
            if (key == "--kind") o.kind = value;
            else if (key == "--count") o.count = std::stoi(value);
            else if (key == "--out") o.out = value;
            else if (key == "--seed") o.seed = std::stoull(value);
            else if (key == "--channels") o.channels = value;
            else if (key == "--film") o.film = value;
            else if (key == "--scale") o.scale = value;
            else if (key == "--gauge") o.gauge = gaugeNamed(value);
            else if (key == "--dpi") o.dpi = value;
            else if (key == "--tilt") o.tilt = value;
            else if (key == "--stock") o.stock = value;
            else if (key == "--sound") o.sound = value;
            else if (key == "--aperture") o.aperture = value;
            else if (key == "--scene") o.scene = value;
            else if (key == "--damage") o.damage = value;
            else usage("unknown option " + key);
        } catch (const std::logic_error&) {
            usage("bad value for " + key + ": " + value);
        }
    }
    if (o.kind != "single" && o.kind != "quad") usage("--kind must be single or quad");
    if (o.count < 1 || o.count > 999) usage("--count must be 1 to 999");
    if (o.out.empty()) usage("--out is required");
    if (o.channels != "1" && o.channels != "3" && o.channels != "mixed") usage("--channels must be 1, 3 or mixed");
    if (o.gauge) {
        checkFilmOptions(o);
        return o;
    }
    for (const std::string* filmOnly : {&o.dpi, &o.tilt, &o.stock, &o.sound, &o.aperture, &o.scene, &o.damage})
        if (!filmOnly->empty())
            usage("--dpi, --tilt, --stock, --sound, --aperture, --scene and --damage need --gauge");
    if (o.film.empty()) o.film = "bright";
    if (o.scale.empty()) o.scale = "1";
    if (o.film != "bright" && o.film != "dark" && o.film != "mixed") usage("--film must be bright, dark or mixed");
    try {
        o.scaleFactor = std::stod(o.scale);
    } catch (const std::logic_error&) {
        usage("bad value for --scale: " + o.scale);
    }
    if (!(o.scaleFactor >= 1.0 && o.scaleFactor <= 2.0)) usage("--scale must be 1 to 2");
    return o;
}

int channelsFor(const Options& o, int index)
{
    return o.channels == "mixed" ? ((index - 1) / 2 % 2 ? 3 : 1) : std::stoi(o.channels);
}

scangen::ScanRequest requestFor(const Options& o, int index)
{
    scangen::ScanRequest r;
    r.scale = o.scaleFactor;
    r.seed = scangen::mixSeed(o.seed, uint64_t(index));
    r.channels = channelsFor(o, index);
    const bool dark = o.film == "dark" || (o.film == "mixed" && index % 2 == 0);
    // In a mixed run the stock changes every four scans, so that both stocks
    // meet both channel counts.
    const int brightIndex = o.film == "mixed" ? (index + 3) / 4 : index;
    r.film = dark ? scangen::Film::Dark : brightIndex % 2 ? scangen::Film::Medium : scangen::Film::Light;
    return r;
}

// Film stocks in a mixed run go print, reversal, negative, ...; with mixed
// channels (two gray, two colour) twelve scans meet every pairing.
scangen::FilmRequest filmRequestFor(const Options& o, int index)
{
    using namespace scangen;
    FilmRequest r;
    r.gauge = *o.gauge;
    r.frames = o.kind == "single" ? 1 : 4;
    r.dpi = std::stod(o.dpi);
    r.seed = mixSeed(o.seed, uint64_t(index));
    r.tiltDegrees = o.tilt == "mixed" ? cv::RNG(mixSeed(r.seed, 7)).uniform(-1.0, 1.0) : std::stod(o.tilt);
    r.channels = channelsFor(o, index);
    const Stock stocks[] = {Stock::Print, Stock::Reversal, Stock::Negative};
    r.stock = o.stock == "mixed" ? stocks[(index - 1) % 3] : o.stock == "reversal" ? Stock::Reversal
            : o.stock == "negative" ? Stock::Negative : Stock::Print;
    r.soundTrack = o.sound == "yes";
    r.damage = o.damage == "yes";
    r.aperture = o.aperture == "academy" ? Aperture::Academy : o.aperture == "full" ? Aperture::Full : Aperture::Auto;
    for (SceneKind kind : {SceneKind::Mixed, SceneKind::Landscape, SceneKind::Night, SceneKind::HighKey,
                           SceneKind::Figures, SceneKind::EdgeFigure, SceneKind::InnerRise})
        if (o.scene == sceneName(kind))
            r.scene = kind;
    return r;
}

std::string truthLine(const std::string& name, const scangen::ScanRequest& r, const scangen::Scan& s)
{
    char line[256];
    std::snprintf(line, sizeof line, "%s %d %s %d %d %d %d", name.c_str(), r.channels,
                  r.film == scangen::Film::Dark ? "dark" : "bright", s.cropLeft, s.cropRight, s.winRow, s.winCol);
    std::string text = line;
    if (s.pitch > 0)
        text += " pitch=" + std::to_string(s.pitch);
    std::snprintf(line, sizeof line, " level=%.2f", s.level);
    return text + line;
}

constexpr const char* kFilmTruthHeader =
    "# film-true scans; scan pixels, pixel centres at integers, x along the strip, y across it\n"
    "# scan FILE gauge= dpi= tilt= stock= channels= sound= aperture= scene= size=WxH perforation_pitch="
    " frame_pitch= perforations_per_frame= perforation_rows= perforation_size=ALONGxACROSS"
    " picture_size=ALONGxACROSS\n"
    "# picture FILE whole|cut X1 Y1 X2 Y2 X3 Y3 X4 Y4 (top left, top right, bottom right, bottom left)\n"
    "# perforation FILE X Y\n";

void writeFilmTruth(std::ostream& out, const std::string& name, const scangen::FilmRequest& r,
                    const scangen::FilmScan& s)
{
    char line[512];
    std::snprintf(line, sizeof line,
                  "scan %s gauge=%s dpi=%g tilt=%.4f stock=%s channels=%d sound=%s aperture=%s scene=%s size=%dx%d"
                  " perforation_pitch=%.3f frame_pitch=%.3f perforations_per_frame=%d perforation_rows=%d"
                  " perforation_size=%.3fx%.3f picture_size=%.3fx%.3f\n",
                  name.c_str(), scangen::gaugeName(s.gauge), s.dpi, s.tiltDegrees, scangen::stockName(s.stock),
                  r.channels, s.soundTrack ? "yes" : "no",
                  s.gauge != scangen::Gauge::Film35 ? "-" : s.fullAperture ? "full" : "academy",
                  scangen::sceneName(s.scene), s.image.cols, s.image.rows, s.perforationPitch, s.framePitch,
                  s.perforationsPerFrame, s.perforationRows, s.perforationSize.width, s.perforationSize.height,
                  s.pictureSize.width, s.pictureSize.height);
    out << line;
    for (const scangen::PictureTruth& p : s.pictures) {
        std::snprintf(line, sizeof line, "picture %s %s %.3f %.3f %.3f %.3f %.3f %.3f %.3f %.3f\n", name.c_str(),
                      p.whole ? "whole" : "cut", p.corners[0].x, p.corners[0].y, p.corners[1].x, p.corners[1].y,
                      p.corners[2].x, p.corners[2].y, p.corners[3].x, p.corners[3].y);
        out << line;
    }
    for (const cv::Point2d& c : s.perforations) {
        std::snprintf(line, sizeof line, "perforation %s %.3f %.3f\n", name.c_str(), c.x, c.y);
        out << line;
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 0 && argv[0][0] != '\0')
        g_name = std::filesystem::path(argv[0]).filename().string();
    const Options o = parse(argc, argv);
    std::filesystem::create_directories(o.out);
    const std::filesystem::path truthPath = std::filesystem::path(o.out) / "truth.txt";
    std::ofstream truth(truthPath);
    if (o.gauge)
        truth << kFilmTruthHeader;
    else
        truth << "# file channels film crop_left crop_right win_row win_col"
              << (o.kind == "quad" ? " pitch=<px>" : "") << " level=<mean>\n";
    const std::vector<int> uncompressed{cv::IMWRITE_TIFF_COMPRESSION, 1};
    for (int i = 1; i <= o.count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "scan_%03d.tif", i);
        const std::string path = (std::filesystem::path(o.out) / name).string();
        bool written = false;
        if (o.gauge) {
            const scangen::FilmRequest request = filmRequestFor(o, i);
            const scangen::FilmScan scan = scangen::makeFilmScan(request);
            const int dpi = int(std::lround(request.dpi));
            written = cv::imwrite(path, scan.image, {cv::IMWRITE_TIFF_COMPRESSION, 1, cv::IMWRITE_TIFF_RESUNIT, 2,
                                                     cv::IMWRITE_TIFF_XDPI, dpi, cv::IMWRITE_TIFF_YDPI, dpi});
            writeFilmTruth(truth, name, request, scan);
        } else {
            const scangen::ScanRequest request = requestFor(o, i);
            const scangen::Scan scan = o.kind == "single" ? scangen::makeSingleScan(request)
                                                          : scangen::makeQuadScan(request);
            written = cv::imwrite(path, scan.image, uncompressed);
            truth << truthLine(name, request, scan) << "\n";
        }
        if (!written) {
            std::cerr << g_name << ": cannot write " << path << "\n";
            return 1;
        }
    }
    truth.close();
    if (!truth) {
        std::cerr << g_name << ": cannot write " << truthPath.string() << "\n";
        return 1;
    }
    std::cout << g_name << ": wrote " << o.count << (o.count == 1 ? " scan" : " scans") << " and truth.txt to "
              << o.out << "\n";
    return 0;
}
