// The shape every program's conversion of one scan has, so that the program
// layer, the stress test, the fuzzer and the benchmarks call either alike.
//
//   FrameSink      where a scan's frame windows go, each with how often it is shown
//   ScanConverter  one scan through a program's stages: crop, turn, on the first
//                  scan the geometry, locate, cut
#pragma once

#include "run_state.hpp"
#include "scan_records.hpp"

#include <opencv2/core/mat.hpp>

#include <functional>

namespace shared {

// A window cut from the scan, at its own size, to be shown `copies` times
// in a row; scaling to the video's size is the sink's.
using FrameSink = std::function<void(const cv::Mat& window, int copies)>;

// Hands the scan's windows to `sink` in video order and fills `record` as
// each stage finishes; record.stop says when the run cannot go on. The scan
// is handed over, so that it can be released as soon as it is cropped.
using ScanConverter = void (*)(cv::Mat scan, RunState& run, const FrameSink& sink, ScanRecord& record);

}  // namespace shared
