// scanReport, runReport, writeReport: the report's fields and their names.
// A 32-bit value is given by its shortest decimal (0.2, not the double
// nearest the float 0.2), as the lines print it. Windows are mapped back
// into the scan as loaded, the same rectangles the overlay draws.

#include "report.hpp"

#include "stop_signals.hpp"

#include "shared/window_in_scan.hpp"

#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>

#ifndef TARVEL_VERSION
#define TARVEL_VERSION "unknown"
#endif

namespace program {
namespace {

using json = nlohmann::ordered_json;

double decimal(float value) {
  char text[32];
  const auto written = std::to_chars(text, text + sizeof text - 1, value);
  *written.ptr = '\0';
  return std::strtod(text, nullptr);
}

const char* edgeBy(shared::EdgeBy by) {
  switch (by) {
    case shared::EdgeBy::Search: return "search";
    case shared::EdgeBy::NotFound: return "not found";
    case shared::EdgeBy::OuterPart: return "outer part";
    case shared::EdgeBy::Tie: return "tie";
    case shared::EdgeBy::Fixed: return "fixed";
  }
  return "";
}

const char* turnName(imaging::Turn turn) {
  switch (turn) {
    case imaging::Turn::None: return "none";
    case imaging::Turn::Transpose: return "transpose";
    case imaging::Turn::Clockwise: return "clockwise";
    case imaging::Turn::CounterClockwise: return "counter-clockwise";
  }
  return "";
}

const char* scanEndName(ScanEnd end) {
  switch (end) {
    case ScanEnd::Converted: return "converted";
    case ScanEnd::Stopped: return "stopped";
    case ScanEnd::Failed: return "failed";
    case ScanEnd::NotLoaded: return "not loaded";
  }
  return "";
}

const char* loopEndName(LoopEnd end) {
  switch (end) {
    case LoopEnd::ListingDone: return "every scan";
    case LoopEnd::Limit: return "scan limit";
    case LoopEnd::NoScans: return "no scans";
    case LoopEnd::ListingFailed: return "listing failed";
    case LoopEnd::NotLoaded: return "scan not loaded";
    case LoopEnd::Handler: return "conversion stopped";
    case LoopEnd::Stopped: return "signal";
    case LoopEnd::Failed: return "conversion failed";
  }
  return "";
}

json cropReport(const shared::CropSearch& c) {
  return {{"left", c.left},           {"right", c.right},          {"found_left", c.foundLeft},
          {"found_right", c.foundRight}, {"left_by", edgeBy(c.leftBy)}, {"right_by", edgeBy(c.rightBy)},
          {"whole_width", c.wholeWidth}, {"band_rows", {c.bandFirstRow, c.bandLastRow}}};
}

json pitchReport(const shared::PitchSearch& p) {
  return {{"mean", decimal(p.mean)}, {"threshold", decimal(p.threshold)}, {"top", p.top},
          {"bounds", {p.bounds[0], p.bounds[1], p.bounds[2]}},
          {"peaks", {p.peaks[0], p.peaks[1], p.peaks[2], p.peaks[3]}}, {"pitch", p.pitch}};
}

json windowSearchReport(const shared::WindowSearch& w) {
  return {{"level", decimal(w.level)},       {"threshold", decimal(w.threshold)},
          {"dark_film", w.darkFilm},         {"row", w.row},
          {"rows_searched", {w.rowFirst, w.rowEnd}}, {"column", w.column},
          {"columns_searched", {w.columnFirst, w.columnLast}}};
}

json windowReport(const shared::ScanRecord& record, const shared::FrameWindow& window) {
  const cv::Rect r = shared::windowInScan(record, window);
  json report = {{"x", r.x},           {"y", r.y},
                 {"width", r.width},   {"height", r.height},
                 {"copies", window.copies}, {"outside", window.outside}};
  if (window.placed) report["tilt"] = window.placed->angleDegrees;
  return report;
}

json registrationReport(const registration::Registration& r) {
  json perforations = json::array();
  for (const registration::Perforation& p : r.perforations)
    perforations.push_back({{"x", p.centre.x}, {"y", p.centre.y}, {"width", p.size.width}, {"height", p.size.height}});
  json report = {{"registered", r.registered}};
  if (!r.registered) report["missing"] = r.missing;
  report["gauge"] = r.registered ? json(registration::gaugeName(r.gauge)) : json();
  report["perforation_pitch"] = r.perforationPitch;
  report["frame_pitch"] = r.framePitch;
  report["perforations_per_frame"] = r.perforationsPerFrame;
  report["tilt"] = r.tiltDegrees;
  report["perforations"] = std::move(perforations);
  report["frame_lines"] = r.frameLines;
  return report;
}

json geometryReport(const shared::StripGeometry& g) {
  return {{"sound_width", g.sound_width}, {"image_length", g.image_length}, {"image_width", g.image_width}};
}

}  // namespace

json scanReport(const std::string& name, ScanEnd end, const std::string& reason, const shared::ScanRecord* record) {
  json scan = {{"name", name}, {"status", scanEndName(end)}};
  if (!reason.empty()) scan["reason"] = reason;
  if (!record) return scan;
  scan["width"] = record->loadedSize.width;
  scan["height"] = record->loadedSize.height;
  scan["channels"] = record->channels;
  if (record->crop) scan["crop"] = cropReport(*record->crop);
  scan["turn"] = turnName(record->turn);
  if (record->pitch) scan["pitch_search"] = pitchReport(*record->pitch);
  if (record->window) scan["window_search"] = windowSearchReport(*record->window);
  if (record->registration) scan["registration"] = registrationReport(*record->registration);
  json windows = json::array();
  for (const shared::FrameWindow& window : record->frames) windows.push_back(windowReport(*record, window));
  scan["windows"] = std::move(windows);
  scan["warnings"] = record->warnings;
  return scan;
}

json runReport(const RunFacts& facts, json scans) {
  const Options& options = *facts.options;
  json report = {{"program", facts.program}, {"version", TARVEL_VERSION}};
  report["options"] = {{"register", options.registerFrames},
                       {"all", options.allScans},
                       {"video", options.videoFile},
                       {"fps", options.fps},
                       {"size", {options.width, options.height}},
                       {"overlay", options.overlayFolder.empty() ? json() : json(options.overlayFolder)},
                       {"report", options.reportFile},
                       {"ignored_arguments", options.ignoredArguments}};
  report["status"] = facts.status;
  report["ended"] = facts.started ? loopEndName(facts.loop.end) : "not started";
  if (facts.signal) report["signal"] = signalName(facts.signal);
  report["errors"] = facts.errors;
  report["warnings"] = facts.warnings;
  const bool calibrated = facts.run && facts.run->calibrated;
  report["resolution"] = calibrated ? json{{"x", facts.run->resolution.x}, {"y", facts.run->resolution.y}} : json();
  report["geometry"] = calibrated ? geometryReport(facts.run->geometry) : json();
  json videos = json::array();
  for (const VideoFacts& v : facts.videos)
    videos.push_back({{"file", v.file},     {"codec", v.codec},   {"width", v.width}, {"height", v.height},
                      {"fps", v.fps},       {"frames", v.frames}, {"written", v.written}});
  report["videos"] = std::move(videos);
  report["scans"] = std::move(scans);
  return report;
}

std::string writeReport(AsideFile& file, const json& document) {
  // A file name need not be UTF-8; bytes that are not show as U+FFFD.
  const std::string text = document.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(file.fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return std::strerror(errno);
    done += static_cast<size_t>(n);
  }
  return replaceWhole(file);
}

}  // namespace program
