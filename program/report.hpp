// The run as one JSON document (--report FILE), for scripts: the options,
// the videos, every scan handled with what its stages found and the frame
// windows cut from it in the scan's own pixels, the warnings and errors,
// and the exit status. docs/output.md describes every field.
//
//   scanReport   one scan's entry, from its name, how it ended and its record
//   runReport    the whole document
//   writeReport  the document into its file, put in place whole; or why not
#pragma once

#include "options.hpp"
#include "replaced_file.hpp"
#include "scan_loop.hpp"

#include "shared/run_state.hpp"
#include "shared/scan_records.hpp"

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace program {

// How a scan handled ended, as the report words it.
enum class ScanEnd { Converted, Stopped, Failed, NotLoaded };

// record: null for a scan that did not load. reason: why it was not converted.
nlohmann::ordered_json scanReport(const std::string& name, ScanEnd end, const std::string& reason,
                          const shared::ScanRecord* record);

struct VideoFacts {
  std::string file, codec;
  int width = 0, height = 0;
  double fps = 0;
  long frames = 0;
  bool written = false;  // finished, checked and in place
};

struct RunFacts {
  const char* program = "";
  const Options* options = nullptr;
  int status = 0;
  bool started = false;  // the videos were created and the scans looked for
  LoopResult loop;
  int signal = 0;        // the stop signal, 0 when none
  const shared::RunState* run = nullptr;
  std::vector<VideoFacts> videos;
  std::vector<std::string> errors;    // every error given on standard error, without the program's name
  std::vector<std::string> warnings;  // the warnings about the run itself
};

nlohmann::ordered_json runReport(const RunFacts& facts, nlohmann::ordered_json scans);

std::string writeReport(AsideFile& file, const nlohmann::ordered_json& document);

}  // namespace program
