// singleScanLines, quadScanLines: each line is formatted as the programs
// have always printed it, reals with six decimals.

#include "scan_lines.hpp"

#include "shared/window_in_scan.hpp"

#include <cstdarg>
#include <cstdio>

namespace program {
namespace {

using shared::EdgeBy;

void add(std::string& lines, const char* format, ...) __attribute__((format(printf, 2, 3)));
void add(std::string& lines, const char* format, ...) {
  char line[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  lines += line;
}

void resolutionLine(std::string& lines, const shared::ScanRecord& record) {
  add(lines, "Picture resolution (dpi) x=%d,y=%d\n", record.resolution.x, record.resolution.y);
}

void geometryLine(std::string& lines, const shared::StripGeometry& g) {
  add(lines, "sound_width = %d image_length = %d image_width = %d\n", g.sound_width, g.image_length, g.image_width);
}

void windowSearchLines(std::string& lines, const shared::WindowSearch& w) {
  add(lines, "pro = %f\n", static_cast<double>(w.threshold));
  add(lines, "str = %d sto = %d\n", w.rowFirst, w.rowEnd);
  add(lines, "od = %d koniec = %d\n", w.columnFirst, w.columnLast);
}

// The crop edges as found: an edge the search or the margin test fixed has
// its line, an edge that fell back silently has none.
void singleCropLines(std::string& lines, const shared::CropSearch& crop) {
  if (crop.leftBy == EdgeBy::Search) add(lines, "frameCorrection x=%d\n", crop.foundLeft);
  if (crop.leftBy == EdgeBy::OuterPart) add(lines, "frameCorrection x=%d\n", 1);
  if (crop.rightBy == EdgeBy::Search) add(lines, "frameCorrection1 y=%d\n", crop.foundRight);
  if (crop.rightBy == EdgeBy::OuterPart) add(lines, "frameCorrection3 y=%d\n", crop.foundRight);
}

void quadCropLines(std::string& lines, const shared::CropSearch& crop) {
  if (crop.leftBy == EdgeBy::Search) add(lines, "frameCorrection x=%d\n", crop.foundLeft);
  add(lines, "frameCorrection2 y=%d\n", crop.foundRight);
}

// tarvel4's measurement of the pitch on its first scan; the stretches' starts print as reals.
void pitchLines(std::string& lines, const shared::PitchSearch& p) {
  const int* max = p.peaks;
  const int* bound = p.bounds;
  add(lines, "mean = %f\n", static_cast<double>(p.mean));
  add(lines, "pro = %f\n", static_cast<double>(p.threshold));
  add(lines, "poczatek = %f\n", static_cast<double>(p.top));
  add(lines, "poczatek1 = %f\n", static_cast<double>(bound[0]));
  add(lines, "poczatek2 = %f\n", static_cast<double>(bound[1]));
  add(lines, "poczatek3 = %f\n", static_cast<double>(bound[2]));
  add(lines, "max1 = %d max2 = %d max3 = %d max4 = %d\n", max[0], max[1] - bound[0], max[2] - bound[1],
      max[3] - bound[2]);
  add(lines, "max1 = %d max2 = %d max3 = %d max4 = %d\n", max[0] - 1, max[1] - 1, max[2] - 1, max[3] - 1);
  add(lines, "maxmax = %d\n", p.pitch);
  add(lines, "maxmax = %d\n", p.pitch);
}

// A scan registered by its perforations: what they gave, and each picture
// cut, in the scan as loaded. False for any other scan.
bool registeredLines(std::string& lines, const shared::ScanRecord& record) {
  if (!record.registration || !record.registration->registered) return false;
  const registration::Registration& r = *record.registration;
  add(lines, "gauge %s, perforation pitch %.2f, frame pitch %.2f, tilt %.2f\n", registration::gaugeName(r.gauge),
      r.perforationPitch, r.framePitch, r.tiltDegrees);
  for (size_t k = 0; k < record.frames.size(); ++k) {
    const cv::Rect w = shared::windowInScan(record, record.frames[k]);
    add(lines, "picture %zu x=%d y=%d width=%d height=%d\n", k + 1, w.x, w.y, w.width, w.height);
  }
  return true;
}

}  // namespace

std::string singleScanLines(const shared::ScanRecord& record) {
  std::string lines;
  if (registeredLines(lines, record)) return lines;
  if (record.crop) singleCropLines(lines, *record.crop);
  if (record.calibrated) {
    resolutionLine(lines, record);
    geometryLine(lines, record.geometry);
  }
  if (record.window) windowSearchLines(lines, *record.window);
  if (!record.frames.empty()) {
    const shared::FrameWindow& w = record.frames.front();
    add(lines, "N = %d\n", w.left);
    add(lines, "x= %d\n", w.top);
    add(lines, "y = %d\n", w.top + record.geometry.image_length - 1);
    add(lines, "z=%d\n", w.left + record.geometry.image_width);
    add(lines, "N=%d\n", w.left);
  }
  return lines;
}

std::string quadScanLines(const shared::ScanRecord& record) {
  std::string lines;
  if (registeredLines(lines, record)) return lines;
  if (record.crop) quadCropLines(lines, *record.crop);
  if (record.calibrated) {
    resolutionLine(lines, record);
    if (record.pitch) pitchLines(lines, *record.pitch);
    geometryLine(lines, record.geometry);
  }
  if (record.window) {
    const shared::WindowSearch& w = *record.window;
    const shared::StripGeometry& g = record.geometry;
    windowSearchLines(lines, w);
    add(lines, "x= %d\n", w.row);
    add(lines, "y = %d\n", g.image_length + w.row - 1);
    add(lines, "z=%d\n", g.image_width + w.column);
    add(lines, "N=%d\n", w.column);
  }
  // Each frame after the first is announced twice, once before its start moves down.
  for (size_t k = 1; k <= record.frames.size(); ++k) {
    add(lines, "kk = %zu\n", k);
    if (k > 1) add(lines, "kk = %zu\n", k);
  }
  return lines;
}

}  // namespace program
