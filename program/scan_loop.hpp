// runScanLoop: the scan loop every program runs: the listing, each scan's
// name line, loading (the next scan on a second thread), the scan limit,
// stop signals, and the messages of the listing and of a scan that does not
// load.
#pragma once

#include <opencv2/core/mat.hpp>

#include <functional>
#include <string>

namespace program {

// Where a scan stands in the run: number counts from 1, of the scans the
// run will read (the listing's, or as many as the limit lets through).
struct ScanPlace {
  int number = 0, total = 0;
};

// Handles one loaded scan; returns 0 to go on, or the exit status to stop
// with. The scan is handed over, so the handler can release it as soon as
// it is cropped.
using ScanHandler = std::function<int(cv::Mat scan, const std::string& name, ScanPlace place)>;
// Told of each scan before it is loaded.
using ScanStartHandler = std::function<void(ScanPlace place)>;
// Told of a scan that did not load, and why, after its messages are given.
using LoadFailureHandler = std::function<void(const std::string& name, const std::string& reason)>;

enum class LoopEnd {
  ListingDone,    // every scan of the folder was handled
  Limit,          // the scan limit was reached
  NoScans,        // the folder holds no scan
  ListingFailed,  // the folder could not be listed
  NotLoaded,      // a scan did not load
  Handler,        // the handler stopped the loop
  Stopped,        // a stop signal came
  Failed,         // the handler threw
};

struct LoopResult {
  int status = 0;  // 0 at a normal end (also a stop), 1 when the listing or a scan failed, or the handler's
  LoopEnd end = LoopEnd::ListingDone;
  int scansLeft = 0;  // listed scans the limit left
  std::string error;  // the message the loop gave on standard error when it failed
};

struct ScanLoopHandlers {
  ScanHandler convert;
  LoadFailureHandler notLoaded;
  ScanStartHandler starting;  // may be empty
};

LoopResult runScanLoop(int maxScans, const ScanLoopHandlers& handlers);

}  // namespace program
