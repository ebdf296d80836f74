// The plainest pipeline a user could build without any frame detection, for
// comparison with the programs: load each scan of the current folder, cut
// fixed windows from its middle, scale each bicubic to 640 x 480 and append
// it to an AVI. Same libraries, same loading flags, same writer settings and
// frame counts as the programs; no crop, no turn, no profiles.
//
//   plain_pipeline single|quad <window width> <window height> [fourcc]
//
// The window is given in the loaded scan's own orientation (the programs cut
// theirs from the turned scan, so width and height swap).
// single: one window per scan, MP42 unless told, at most ten scans.
// quad:   four windows side by side along the width, each starting on the
//         previous one's last column, written 4, 3, 2 and 1 times; DIVX, at
//         most five scans.

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

std::vector<std::string> tifNames() {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator("."))
    if (entry.path().extension() == ".tif") names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// A view of the scan, clamped into it; `left` and `top` are offsets from the
// centred position of a block `blockWidth` wide.
cv::Mat window(const cv::Mat& scan, int width, int height, int blockWidth, int left) {
  const int w = std::min(width, scan.cols), h = std::min(height, scan.rows);
  const int x = std::clamp((scan.cols - blockWidth) / 2 + left, 0, scan.cols - w);
  return scan(cv::Rect(x, (scan.rows - h) / 2, w, h));
}

void append(cv::VideoWriter& writer, const cv::Mat& view, int times) {
  cv::Mat scaled;
  cv::resize(view, scaled, cv::Size(640, 480), 0, 0, cv::INTER_CUBIC);
  if (scaled.channels() == 1) cv::cvtColor(scaled, scaled, cv::COLOR_GRAY2BGR);
  for (int i = 0; i < times; ++i) writer.write(scaled);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: plain_pipeline single|quad <window width> <window height> [fourcc]\n");
    return 2;
  }
  const bool quad = std::strcmp(argv[1], "quad") == 0;
  const int width = std::atoi(argv[2]), height = std::atoi(argv[3]);
  const int maxScans = quad ? 5 : 10;
  const char* fourcc = argc > 4 && std::strlen(argv[4]) == 4 ? argv[4] : (quad ? "DIVX" : "MP42");
  cv::VideoWriter writer("plain.avi", cv::CAP_FFMPEG,
                         cv::VideoWriter::fourcc(fourcc[0], fourcc[1], fourcc[2], fourcc[3]), 25.0,
                         cv::Size(640, 480), true);
  if (!writer.isOpened()) return 1;
  int count = 0;
  for (const std::string& name : tifNames()) {
    if (count++ == maxScans) break;
    const cv::Mat scan = cv::imread(name, cv::IMREAD_ANYCOLOR | cv::IMREAD_IGNORE_ORIENTATION);
    if (scan.empty()) return 1;
    if (quad) {
      const int block = 3 * (width - 1) + width;
      for (int k = 0; k < 4; ++k) append(writer, window(scan, width, height, block, k * (width - 1)), 4 - k);
    } else {
      append(writer, window(scan, width, height, width, 0), 1);
    }
  }
  return 0;
}
