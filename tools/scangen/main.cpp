// make_scans: writes synthetic film scans with ground truth.
//
//   make_scans --kind single|quad --count N --out DIR [--seed S]
//              [--channels 1|3|mixed] [--film bright|dark|mixed] [--scale F]
//
// Writes DIR/scan_001.tif ... (uncompressed TIFF, 8 bits, 1 or 3 channels)
// and DIR/truth.txt. The same arguments always give the same files; scan i
// depends only on the seed and i, not on --count.
//
// Defaults: seed 1, channels 1, film bright, scale 1 (allowed 1 to 2).
// Mixed channels run 1, 1, 3, 3, 1, 1, ...; mixed film runs bright, dark,
// bright, dark, .... Bright scans use a medium stock (mean level 32 to 100)
// or a light one (above 100 at scale 1): with --film bright they alternate
// medium, light, ...; with --film mixed scans 1-4 are medium, 5-8 light and
// so on. Eight scans with both mixed cover every pairing.
//
// truth.txt: one comment line starting with '#', then one line per scan:
//
//   <file> <channels> <bright|dark> <crop_left> <crop_right> <win_row> <win_col> [pitch=<px>] level=<mean>
//
// crop_left, crop_right: the scan columns the cropping stage keeps (inclusive),
//   the strip edges it is expected to find. For four-frame scans crop_right is
//   always floor(0.98 W) - 1.
// win_row, win_col: top-left of the frame window in the turned scan (after
//   crop and turn): for single-frame scans the window the frame stage cuts,
//   for four-frame scans the first of the four windows.
// pitch: frame pitch in rows that calibration measures (four-frame scans).
// level: mean of the turned scan's last channel (red for colour scans).
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

[[noreturn]] void usage(const std::string& problem)
{
    std::cerr << "make_scans: " << problem << "\n"
              << "usage: make_scans --kind single|quad --count N --out DIR [--seed S]\n"
              << "                  [--channels 1|3|mixed] [--film bright|dark|mixed] [--scale F]\n";
    std::exit(2);
}

Options parse(int argc, char** argv)
{
    Options o;
    for (int i = 1; i < argc; i += 2) {
        const std::string key = argv[i];
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
            std::cerr << "make_scans: cannot write " << path << "\n";
            return 1;
        }
        truth << truthLine(name, request, scan) << "\n";
    }
    return truth ? 0 : 1;
}
