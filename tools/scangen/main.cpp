// make_scans (installed as tarvel-make-scans): writes synthetic film scans
// with ground truth. --help says what it writes and takes; kHelp below is
// that text, and the installed manual page is made from it.
//
// Bright scans use a medium stock (mean level 32 to 100) or a light one
// (above 100 at scale 1): with --film bright they alternate medium, light,
// ...; with --film mixed scans 1-4 are medium, 5-8 light and so on. Eight
// scans with both mixed cover every pairing.
#include "scangen.h"

#include <opencv2/imgcodecs.hpp>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

namespace {

struct Options {
    std::string kind, out, channels = "1", film = "bright";
    int count = 0;
    uint64_t seed = 1;
    double scale = 1.0;
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
    "per sample, 900 dpi) and DIR/truth.txt. The same options always give the\n"
    "same files; scan i depends only on the seed and i, not on --count.\n"
    "\n"
    "Options:\n"
    "  --kind single|quad    single: one frame of a wide strip a scan, for tarvel1m\n"
    "                        and tarvel1d; quad: four frames of a narrow strip a\n"
    "                        scan, for tarvel4\n"
    "  --count N             the number of scans, 1 to 999\n"
    "  --out DIR             the folder to write them to, created if missing\n"
    "  --seed S              the seed of the scans' random content (default 1)\n"
    "  --channels 1|3|mixed  gray scans, colour scans, or two of each in turn:\n"
    "                        1, 1, 3, 3, 1, ... (default 1)\n"
    "  --film bright|dark|mixed\n"
    "                        bright film (a mean level from 32 up), dark film\n"
    "                        (below 32), or one of each in turn (default bright)\n"
    "  --scale F             the scanner's background around the strip grows by\n"
    "                        the factor F, 1 to 2 (default 1)\n"
    "  -h, --help            print this help and exit\n"
    "      --version         print the version and exit\n"
    "\n"
    "Ground truth:\n"
    "  truth.txt holds a comment line, then one line a scan:\n"
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
            else if (key == "--scale") o.scale = std::stod(value);
            else usage("unknown option " + key);
        } catch (const std::logic_error&) {
            usage("bad value for " + key + ": " + value);
        }
    }
    if (o.kind != "single" && o.kind != "quad") usage("--kind must be single or quad");
    if (o.count < 1 || o.count > 999) usage("--count must be 1 to 999");
    if (o.out.empty()) usage("--out is required");
    if (o.channels != "1" && o.channels != "3" && o.channels != "mixed") usage("--channels must be 1, 3 or mixed");
    if (o.film != "bright" && o.film != "dark" && o.film != "mixed") usage("--film must be bright, dark or mixed");
    if (!(o.scale >= 1.0 && o.scale <= 2.0)) usage("--scale must be 1 to 2");
    return o;
}

scangen::ScanRequest requestFor(const Options& o, int index)
{
    scangen::ScanRequest r;
    r.scale = o.scale;
    r.seed = scangen::mixSeed(o.seed, uint64_t(index));
    r.channels = o.channels == "mixed" ? ((index - 1) / 2 % 2 ? 3 : 1) : std::stoi(o.channels);
    const bool dark = o.film == "dark" || (o.film == "mixed" && index % 2 == 0);
    // In a mixed run the stock changes every four scans, so that both stocks
    // meet both channel counts.
    const int brightIndex = o.film == "mixed" ? (index + 3) / 4 : index;
    r.film = dark ? scangen::Film::Dark : brightIndex % 2 ? scangen::Film::Medium : scangen::Film::Light;
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

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 0 && argv[0][0] != '\0')
        g_name = std::filesystem::path(argv[0]).filename().string();
    const Options o = parse(argc, argv);
    std::filesystem::create_directories(o.out);
    std::ofstream truth(std::filesystem::path(o.out) / "truth.txt");
    truth << "# file channels film crop_left crop_right win_row win_col"
          << (o.kind == "quad" ? " pitch=<px>" : "") << " level=<mean>\n";
    const std::vector<int> uncompressed{cv::IMWRITE_TIFF_COMPRESSION, 1};
    for (int i = 1; i <= o.count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "scan_%03d.tif", i);
        const scangen::ScanRequest request = requestFor(o, i);
        const scangen::Scan scan = o.kind == "single" ? scangen::makeSingleScan(request)
                                                      : scangen::makeQuadScan(request);
        const std::string path = (std::filesystem::path(o.out) / name).string();
        if (!cv::imwrite(path, scan.image, uncompressed)) {
            std::cerr << g_name << ": cannot write " << path << "\n";
            return 1;
        }
        truth << truthLine(name, request, scan) << "\n";
    }
    return truth ? 0 : 1;
}
