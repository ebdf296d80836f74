// A whole program, around the conversion of one scan.
//
//   runBatch    the scan loop: listing, name lines, loading, the limit, stops
//   runProgram  options, writers, the loop, the checks at the end; the exit status
#pragma once

#include "run_state.hpp"
#include "scan_records.hpp"
#include "video_output.hpp"

#include <opencv2/core/mat.hpp>

#include <functional>
#include <string>
#include <vector>

namespace shared {

// Handles one scan; returns 0 to go on, or the exit status to stop with.
// The scan is handed over, so the handler can release it as soon as it is cropped.
using ScanHandler = std::function<int(cv::Mat scan, const std::string& name)>;

// Lists the scans when the first is asked for, prints each name, loads it and
// hands it to `handle`, for at most `maxScans` scans, until a stop signal.
// Returns the exit status: 0 at a normal end (also a stop), 1 when the
// folder could not be listed, a scan could not be loaded or `handle` threw,
// or what `handle` gave.
int runBatch(int maxScans, const ScanHandler& handle);

struct ProgramInfo {
  const char* name;
  const char* reads;    // one line: what the program reads
  const char* writes;   // one line: what it writes
};

struct VideoFile {
  const char* name;
  const char* fourcc;
};

struct ProgramSpec {
  ProgramInfo info;
  int maxScans;
  std::vector<VideoFile> videos;  // created in this order; the first receives the frames
};

// A program's conversion of one scan: crop, turn, on the first scan the
// geometry, locate, cut. It hands its windows to `sink` and fills `record`;
// returns 0 to go on, or the exit status to stop with.
using ScanConverter = int (*)(cv::Mat scan, RunState& run, const FrameSink& sink, ScanRecord& record);

// The whole program around `convert`; returns its exit status.
int runProgram(const ProgramSpec& program, int argc, char** argv, ScanConverter convert);

}  // namespace shared
