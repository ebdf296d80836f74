// drawPicture: one scan's picture. Left, the loaded scan reduced in its own
// orientation (a gray scan stays gray) inside a margin, so that a window
// reaching outside the scan shows where it goes: the crop edges as lines
// across the whole scan, the band of rows whose column profile found them
// between two marks, the frame windows outlined where they lie in the
// loaded scan (a window's part outside the scan, and every window the run
// warned about, dashed in red). Right, the profiles that decided, each with
// its search stretch shaded, the position chosen marked and, for the column
// steps, the level a step must pass. Below the scan, the measurements and
// the warnings in words.
//
// Everything is drawn with the library's own lines, rectangles and text.

#include "picture.hpp"

#include "shared/window_in_scan.hpp"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

namespace overlay {
namespace {

using imaging::Profile;

const cv::Scalar kBackground(34, 34, 34);
const cv::Scalar kText(235, 235, 235);
const cv::Scalar kDim(150, 150, 150);
const cv::Scalar kCropEdge(255, 255, 0);  // cyan
const cv::Scalar kBand(0, 215, 255);      // amber
const cv::Scalar kOutside(0, 0, 255);     // red
const cv::Scalar kPerforation(255, 160, 60);  // blue
const cv::Scalar kFrameLine(0, 140, 255);     // orange
const cv::Scalar kStretch(90, 60, 40);
const cv::Scalar kStretchAlt(40, 70, 90);
const cv::Scalar kCurve(230, 230, 230);
const cv::Scalar kChosen(0, 255, 0);
// Windows follow each other down the strip sharing a row, so neighbours differ.
const cv::Scalar kWindowColours[] = {cv::Scalar(0, 255, 0), cv::Scalar(255, 0, 255), cv::Scalar(0, 255, 0),
                                     cv::Scalar(255, 0, 255)};

const cv::Rect kTitleArea(10, 0, 960, 36);
const cv::Rect kScanPanel(10, 40, 960, 760);
const cv::Rect kTextArea(10, 812, 960, 182);
constexpr int kPlotLeft = 990, kPlotWidth = 600, kPlotHeight = 225, kPlotGap = 12;
constexpr double kMarginShare = 0.06;  // of the scan's size, on each side
constexpr int kFont = cv::FONT_HERSHEY_SIMPLEX;

std::string format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* pattern, ...) {
  char text[512];
  va_list args;
  va_start(args, pattern);
  std::vsnprintf(text, sizeof text, pattern, args);
  va_end(args);
  return text;
}

void text(cv::Mat& canvas, const std::string& line, cv::Point at, const cv::Scalar& colour, double size = 0.5) {
  cv::putText(canvas, line, at, kFont, size, colour, 1, cv::LINE_AA);
}

void dashedLine(cv::Mat& canvas, cv::Point a, cv::Point b, const cv::Scalar& colour, int thickness) {
  const double length = std::hypot(b.x - a.x, b.y - a.y);
  const int dashes = std::max(1, static_cast<int>(length / 8));
  for (int i = 0; i < dashes; i += 2) {
    const double t0 = static_cast<double>(i) / dashes, t1 = std::min(1.0, static_cast<double>(i + 1) / dashes);
    cv::line(canvas, a + (b - a) * t0, a + (b - a) * t1, colour, thickness);
  }
}

void dashedRectangle(cv::Mat& canvas, cv::Rect r, const cv::Scalar& colour) {
  const cv::Point tl = r.tl(), br(r.x + r.width - 1, r.y + r.height - 1);
  const cv::Point tr(br.x, tl.y), bl(tl.x, br.y);
  for (const auto& [a, b] : {std::pair{tl, tr}, std::pair{tr, br}, std::pair{br, bl}, std::pair{bl, tl}})
    dashedLine(canvas, a, b, colour, 2);
}

// ---- the scan panel ------------------------------------------------------

cv::Mat reducedScan(const cv::Mat& scan, const ScanPlacement& place) {
  const cv::Size size(std::max(1, static_cast<int>(std::lround(scan.cols * place.scale))),
                      std::max(1, static_cast<int>(std::lround(scan.rows * place.scale))));
  cv::Mat reduced, colour;
  cv::resize(scan, reduced, size, 0, 0, cv::INTER_AREA);
  if (reduced.channels() == 1)
    cv::cvtColor(reduced, colour, cv::COLOR_GRAY2BGR);
  else
    colour = reduced;
  return colour;
}

void drawCrop(cv::Mat& panel, const cv::Mat& scan, const shared::CropSearch& crop, const ScanPlacement& place,
              cv::Point shift) {
  for (const int column : {crop.left, crop.right + 1}) {
    const cv::Point top = place.at(column, 0) - shift, bottom = place.at(column, scan.rows) - shift;
    cv::line(panel, top, bottom, kCropEdge, 2);
  }
  // The band of rows the column profile was taken over, marked at both sides of the scan.
  for (const int row : {crop.bandFirstRow - 1, crop.bandLastRow}) {
    const cv::Point left = place.at(0, row) - shift, right = place.at(scan.cols, row) - shift;
    cv::line(panel, left - cv::Point(18, 0), left, kBand, 3);
    cv::line(panel, right, right + cv::Point(18, 0), kBand, 3);
  }
  const cv::Point label = place.at(0, crop.bandFirstRow - 1) - shift + cv::Point(-18, -6);
  text(panel, "profile band", label, kBand, 0.45);
}

// A window placed by the perforations: its corners, tilted with the strip.
void drawPlacedWindow(cv::Mat& panel, const shared::FrameWindow& window, const cv::Scalar& colour,
                      const ScanPlacement& place, cv::Point shift) {
  std::vector<cv::Point> corners;
  for (const cv::Point2d& c : registration::cornersOf(*window.placed)) corners.push_back(place.at(c.x, c.y) - shift);
  cv::polylines(panel, corners, true, colour, 2, cv::LINE_AA);
  if (window.outside)
    for (size_t i = 0; i < 4; ++i) dashedLine(panel, corners[i], corners[(i + 1) % 4], kOutside, 2);
}

// The perforations found and the frame lines used, each line across the
// strip through the frames' middle, tilted with them.
void drawRegistration(cv::Mat& panel, const cv::Mat& scan, const registration::Registration& r,
                      const ScanPlacement& place, cv::Point shift) {
  for (const registration::Perforation& p : r.perforations) {
    const cv::Point2d half(p.size.width / 2, p.size.height / 2);
    cv::rectangle(panel, place.at(p.centre.x - half.x, p.centre.y - half.y) - shift,
                  place.at(p.centre.x + half.x, p.centre.y + half.y) - shift, kPerforation, 1, cv::LINE_AA);
  }
  double middle = scan.rows / 2.0;
  if (!r.frames.empty()) {
    middle = 0;
    for (const registration::PlacedFrame& f : r.frames) middle += f.centre.y / r.frames.size();
  }
  const double slope = std::tan(r.tiltDegrees * CV_PI / 180);  // x moves by -slope for each row down
  for (const double x : r.frameLines)
    cv::line(panel, place.at(x + slope * middle, 0) - shift, place.at(x - slope * (scan.rows - middle), scan.rows) - shift,
             kFrameLine, 1, cv::LINE_AA);
}

void drawWindows(cv::Mat& panel, const cv::Mat& scan, const shared::ScanRecord& record, const ScanPlacement& place,
                 cv::Point shift) {
  const cv::Rect scanArea(place.at(0, 0) - shift, place.at(scan.cols, scan.rows) - shift);
  const bool numbered = record.frames.size() > 1;
  for (size_t k = 0; k < record.frames.size(); ++k) {
    const shared::FrameWindow& window = record.frames[k];
    if (window.placed) {
      drawPlacedWindow(panel, window, kWindowColours[k % 4], place, shift);
      const cv::Point at = place.at(window.placed->centre.x, window.placed->centre.y) - shift;
      if (numbered) text(panel, format("%zu x%d", k + 1, window.copies), at, kWindowColours[k % 4], 0.7);
      continue;
    }
    const cv::Rect inScan = shared::windowInScan(record, window);
    const cv::Rect drawn(place.at(inScan.x, inScan.y) - shift,
                         place.at(inScan.x + inScan.width, inScan.y + inScan.height) - shift);
    const cv::Rect inside = drawn & scanArea;
    if (inside.area() > 0) cv::rectangle(panel, inside, kWindowColours[k % 4], 2, cv::LINE_8);
    if (window.outside) dashedRectangle(panel, drawn, kOutside);
    if (numbered) {
      const std::string label = format("%zu x%d", k + 1, window.copies);
      text(panel, label, cv::Point(drawn.x + 6, drawn.y + 22), kWindowColours[k % 4], 0.7);
    }
  }
}

void drawScanPanel(cv::Mat& canvas, const cv::Mat& scan, const shared::ScanRecord& record) {
  const ScanPlacement place = placeScan(scan.size());
  cv::Mat panel = canvas(kScanPanel);
  const cv::Point shift = kScanPanel.tl();
  const cv::Mat reduced = reducedScan(scan, place);
  const cv::Rect where = cv::Rect(place.at(0, 0) - shift, reduced.size()) & cv::Rect(0, 0, panel.cols, panel.rows);
  reduced(cv::Rect(0, 0, where.width, where.height)).copyTo(panel(where));
  cv::rectangle(panel, cv::Rect(0, 0, panel.cols, panel.rows), kDim, 1);
  if (record.crop) drawCrop(panel, scan, *record.crop, place, shift);
  if (record.registration && record.registration->registered)
    drawRegistration(panel, scan, *record.registration, place, shift);
  drawWindows(panel, scan, record, place, shift);
}

// ---- the profiles --------------------------------------------------------

struct Stretch {
  int first, end;  // [first, end) of the profile's indexes
  cv::Scalar colour;
};

struct Marker {
  int index;
  std::string label;
};

struct Plot {
  std::string title;
  const Profile* profile;
  std::vector<Stretch> stretches;
  std::vector<Marker> markers;
  bool hasLevel = false;
  float level = 0;  // a horizontal line a value must pass
};

void drawPlot(cv::Mat& canvas, const cv::Rect& slot, const Plot& plot) {
  text(canvas, plot.title, slot.tl() + cv::Point(0, 15), kText, 0.5);
  const cv::Rect area(slot.x, slot.y + 24, slot.width, slot.height - 40);
  cv::rectangle(canvas, area, kDim, 1);
  const Profile& values = *plot.profile;
  const int n = static_cast<int>(values.size());
  if (n == 0) {
    text(canvas, "(no values)", area.tl() + cv::Point(8, 22), kDim, 0.45);
    return;
  }
  float low = std::min(0.0f, *std::min_element(values.begin(), values.end()));
  float high = std::max(0.0f, *std::max_element(values.begin(), values.end()));
  if (plot.hasLevel) low = std::min(low, plot.level), high = std::max(high, plot.level);
  if (!(high > low)) high = low + 1;
  const auto x = [&](double i) { return area.x + 2 + static_cast<int>(std::lround(i * (area.width - 5) / std::max(1, n - 1))); };
  const auto y = [&](double v) {
    return area.y + area.height - 3 - static_cast<int>(std::lround((v - low) * (area.height - 6) / (high - low)));
  };
  for (const Stretch& s : plot.stretches) {
    const int first = std::clamp(s.first, 0, n - 1), last = std::clamp(s.end - 1, 0, n - 1);
    if (s.end > s.first) cv::rectangle(canvas, cv::Point(x(first), area.y + 1), cv::Point(x(last), area.y + area.height - 2), s.colour, cv::FILLED);
  }
  cv::line(canvas, cv::Point(area.x, y(0)), cv::Point(area.x + area.width - 1, y(0)), kDim, 1);
  if (plot.hasLevel) dashedLine(canvas, cv::Point(area.x, y(plot.level)), cv::Point(area.x + area.width - 1, y(plot.level)), kBand, 1);
  std::vector<cv::Point> curve(n);
  for (int i = 0; i < n; ++i) curve[i] = cv::Point(x(i), y(values[i]));
  cv::polylines(canvas, curve, false, kCurve, 1, cv::LINE_AA);
  for (const Marker& m : plot.markers) {
    if (m.index < 0 || m.index >= n) continue;
    cv::line(canvas, cv::Point(x(m.index), area.y + 1), cv::Point(x(m.index), area.y + area.height - 2), kChosen, 1);
    text(canvas, m.label, cv::Point(std::min(x(m.index) + 4, area.x + area.width - 90), area.y + 16), kChosen, 0.42);
  }
  text(canvas, format("values %g to %g, indexes 0 to %d", low, high, n - 1),
       cv::Point(area.x, area.y + area.height + 13), kDim, 0.38);
}

// A part the stages did not reach is drawn as they leave it when they start.
std::vector<Plot> plotsOf(const shared::ScanRecord& record, const shared::CropSearch& crop,
                          const shared::WindowSearch& window) {
  std::vector<Plot> plots;
  Plot cropPlot{format("crop: column means over rows %d-%d; edges %d and %d", crop.bandFirstRow, crop.bandLastRow,
                       crop.left, crop.right),
                &crop.profile, {{crop.leftFirst, crop.leftEnd, kStretch}, {crop.rightFirst, crop.rightEnd, kStretch}},
                {{crop.left, format("x=%d", crop.left)}, {crop.right, format("y=%d", crop.right)}}};
  plots.push_back(cropPlot);
  if (record.pitch) {
    const shared::PitchSearch& p = *record.pitch;
    const int n = static_cast<int>(p.rises.size());
    Plot pitchPlot{format("pitch: rises of the row shares from row %d; pitch %d", p.top, p.pitch), &p.rises,
                   {{1, p.bounds[0], kStretch}, {p.bounds[0], p.bounds[1], kStretchAlt},
                    {p.bounds[1], p.bounds[2], kStretch}, {p.bounds[2], n, kStretchAlt}},
                   {}};
    for (int k = 0; k < 4; ++k) pitchPlot.markers.push_back({p.peaks[k], format("max%d", k + 1)});
    plots.push_back(pitchPlot);
  }
  plots.push_back({format("rows: rises of the share above %.3f, searched in [str %d, sto %d)", window.threshold,
                          window.rowFirst, window.rowEnd),
                   &window.rowRises, {{window.rowFirst, window.rowEnd, kStretch}},
                   {{window.row, format("x=%d", window.row)}}});
  plots.push_back({format("columns: steps of the share, searched in [od %d, koniec %d]", window.columnFirst,
                          window.columnLast),
                   &window.columnSteps, {{window.columnFirst, window.columnLast + 1, kStretch}},
                   {{window.column, format("edge %d", window.column)}}, true, window.stepLevel});
  return plots;
}

// ---- the words -----------------------------------------------------------

constexpr double kWordsSize = 0.48;

bool fits(const std::string& line) {
  int baseline = 0;
  return cv::getTextSize(line, kFont, kWordsSize, 1, &baseline).width <= kTextArea.width;
}

// Each line broken at spaces into lines that fit the text area, the later
// parts indented (and drawn like their first part).
std::vector<std::string> fitted(const std::vector<std::string>& lines) {
  std::vector<std::string> out;
  for (const std::string& line : lines) {
    std::string rest = line, indent;
    while (!fits(indent + rest)) {
      size_t cut = rest.rfind(' ');
      while (cut != std::string::npos && cut > 0 && !fits(indent + rest.substr(0, cut))) cut = rest.rfind(' ', cut - 1);
      if (cut == std::string::npos || cut == 0) break;  // one word too long: drawn as it is
      out.push_back(indent + rest.substr(0, cut));
      rest = rest.substr(cut + 1);
      indent = "    ";
    }
    out.push_back(indent + rest);
  }
  return out;
}

const char* filmKind(const shared::WindowSearch& w) {
  if (w.darkFilm) return "dark film";
  return w.threshold > 0.2f ? "bright film" : "middle film";
}

// What the perforations gave, for a scan they registered.
std::vector<std::string> registrationLines(const shared::ScanRecord& record) {
  const registration::Registration& r = *record.registration;
  std::vector<std::string> lines;
  lines.push_back(format("registered by its perforations: gauge %s; %zu perforations in %d row%s, pitch %.2f, %d a "
                         "frame; frame pitch %.2f; tilt %.2f degrees",
                         registration::gaugeName(r.gauge), r.perforations.size(), r.perforationRows,
                         r.perforationRows == 1 ? "" : "s", r.perforationPitch, r.perforationsPerFrame, r.framePitch,
                         r.tiltDegrees));
  lines.push_back(format("frame lines (orange) at x = %s; perforations in blue",
                         [&] {
                           std::string xs;
                           for (const double x : r.frameLines) xs += (xs.empty() ? "" : ", ") + format("%.0f", x);
                           return xs.empty() ? std::string("none") : xs;
                         }()
                             .c_str()));
  for (const std::string& warning : record.warnings) lines.push_back("warning: " + warning);
  for (size_t k = 0; k < record.frames.size(); ++k) {
    const shared::FrameWindow& f = record.frames[k];
    const cv::Rect w = shared::windowInScan(record, f);
    lines.push_back(format("window %zu: x=%d y=%d, %d x %d in the scan, tilted %.2f degrees, shown %d time%s%s", k + 1,
                           w.x, w.y, w.width, w.height, f.placed->angleDegrees, f.copies, f.copies == 1 ? "" : "s",
                           f.outside ? "; reaches outside the scan" : ""));
  }
  return lines;
}

std::vector<std::string> linesOf(const shared::ScanRecord& record, const shared::CropSearch& crop,
                                 const shared::WindowSearch& w, const ScanFacts& facts) {
  if (record.registration && record.registration->registered) return registrationLines(record);
  const shared::StripGeometry& g = facts.geometry;
  std::vector<std::string> lines;
  lines.push_back(format("level %.2f (mean of the column means): %s, threshold pro = %.3f", w.level, filmKind(w),
                         w.threshold));
  lines.push_back(format("crop: columns %d to %d kept%s; geometry: sound_width %d, image_length %d, image_width %d",
                         crop.left, crop.right, crop.wholeWidth ? " (the whole width)" : "",
                         g.sound_width, g.image_length, g.image_width));
  const int start = record.frames.empty() ? w.column : record.frames[0].left;
  // A search that found nothing says so, and what the stage fell back to.
  lines.push_back(w.rowFound ? format("start row x = %d: the strongest rise in rows %d-%d", w.row, w.rowFirst,
                                      w.rowEnd - 1)
                             : format("start row x = %d: no row rises in rows %d-%d; x is the first there that "
                                      "stays level (0 when none does)",
                                      w.row, w.rowFirst, w.rowEnd - 1));
  const char* passes = w.darkFilm ? "below" : "above";
  lines.push_back(w.columnFound ? format("start column N = %d from the edge at %d: the last step %s %g in columns %d-%d",
                                         start, w.column, passes, w.stepLevel, w.columnFirst, w.columnLast)
                                : format("start column N = %d: no step %s %g in columns %d-%d, so the edge is 0",
                                         start, passes, w.stepLevel, w.columnFirst, w.columnLast));
  for (const std::string& warning : record.warnings) lines.push_back("warning: " + warning);
  for (size_t k = 0; k < record.frames.size(); ++k) {
    const shared::FrameWindow& f = record.frames[k];
    lines.push_back(format("window %zu: rows %d-%d, columns %d-%d of the turned scan (%d x %d), shown %d time%s%s",
                           k + 1, f.top, f.top + f.rows - 1, f.left, f.left + f.columns - 1, f.columns, f.rows,
                           f.copies, f.copies == 1 ? "" : "s", f.outside ? "; reaches outside the scan" : ""));
  }
  return lines;
}

}  // namespace

cv::Point ScanPlacement::at(double x, double y) const {
  return cv::Point(static_cast<int>(std::lround(origin.x + scale * x)), static_cast<int>(std::lround(origin.y + scale * y)));
}

ScanPlacement placeScan(cv::Size scan) {
  ScanPlacement place;
  const double width = std::max(1, scan.width) * (1 + 2 * kMarginShare);
  const double height = std::max(1, scan.height) * (1 + 2 * kMarginShare);
  place.scale = std::min(kScanPanel.width / width, kScanPanel.height / height);
  place.origin = cv::Point2d(kScanPanel.x + (kScanPanel.width - scan.width * place.scale) / 2,
                             kScanPanel.y + (kScanPanel.height - scan.height * place.scale) / 2);
  return place;
}

cv::Mat drawPicture(const cv::Mat& scan, const shared::ScanRecord& record, const ScanFacts& facts) {
  cv::Mat canvas(kPictureHeight, kPictureWidth, CV_8UC3, kBackground);
  text(canvas, format("%s: %s (%d x %d, %s)", facts.program, facts.scanName.c_str(), scan.cols, scan.rows,
                      scan.channels() == 1 ? "gray" : "colour"),
       kTitleArea.tl() + cv::Point(0, 26), kText, 0.7);
  drawScanPanel(canvas, scan, record);
  const shared::CropSearch crop = record.crop.value_or(shared::CropSearch{});
  const shared::WindowSearch window = record.window.value_or(shared::WindowSearch{});
  // A scan registered by its perforations searched no profiles.
  const bool registered = record.registration && record.registration->registered;
  const std::vector<Plot> plots = registered ? std::vector<Plot>{} : plotsOf(record, crop, window);
  for (size_t k = 0; k < plots.size(); ++k)
    drawPlot(canvas, cv::Rect(kPlotLeft, 40 + static_cast<int>(k) * (kPlotHeight + kPlotGap), kPlotWidth, kPlotHeight),
             plots[k]);
  const std::vector<std::string> lines = fitted(linesOf(record, crop, window, facts));
  bool warning = false;
  for (size_t k = 0; k < lines.size() && k < 10; ++k) {
    if (lines[k].rfind("    ", 0) != 0) warning = lines[k].rfind("warning: ", 0) == 0;
    text(canvas, lines[k], kTextArea.tl() + cv::Point(0, 16 + 18 * static_cast<int>(k)), warning ? kOutside : kText,
         kWordsSize);
  }
  return canvas;
}

}  // namespace overlay
