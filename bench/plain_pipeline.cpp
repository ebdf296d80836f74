// The plainest pipeline a user could build without any frame detection, for
// comparison with the programs: load each scan of the current folder, cut a
// fixed window from its middle, scale it bicubic to 640 x 480 and append it to
// an AVI. Same libraries, same loading flags, same codec and frame counts.
//
//   plain_pipeline single|quad [max_scans]
//
// single: one 745 x 539 window per scan, MP42, at most ten scans.
// quad:   four 249 x 230 windows per scan written 4, 3, 2 and 1 times, DIVX,
//         at most five scans.

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <algorithm>
#include <cstdio>
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

cv::Mat middleWindow(const cv::Mat& scan, int width, int height, int along) {
  const int w = std::min(width, scan.cols), h = std::min(height, scan.rows);
  const int top = std::clamp((scan.rows - h) / 2 + along, 0, scan.rows - h);
  return scan(cv::Rect((scan.cols - w) / 2, top, w, h));
}

void append(cv::VideoWriter& writer, const cv::Mat& window, int times) {
  cv::Mat scaled;
  cv::resize(window, scaled, cv::Size(640, 480), 0, 0, cv::INTER_CUBIC);
  if (scaled.channels() == 1) cv::cvtColor(scaled, scaled, cv::COLOR_GRAY2BGR);
  for (int i = 0; i < times; ++i) writer.write(scaled);
}

}  // namespace

int main(int argc, char** argv) {
  const bool quad = argc > 1 && std::strcmp(argv[1], "quad") == 0;
  const int maxScans = argc > 2 ? std::atoi(argv[2]) : (quad ? 5 : 10);
  const char* fourcc = quad ? "DIVX" : "MP42";
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
      for (int k = 0; k < 4; ++k) append(writer, middleWindow(scan, 249, 230, (k - 2) * 229), 4 - k);
    } else {
      append(writer, middleWindow(scan, 745, 539, 0), 1);
    }
  }
  return 0;
}
