// The lines each program prints for a scan on standard output, after its
// name line, written from the scan's record: what the stages found, in the
// order they found it. A part of the record that is empty (a stage that did
// not run, or broke off) gives no lines. docs/output.md says what each line
// means.
//
//   singleScanLines  tarvel1m's and tarvel1d's lines
//   quadScanLines    tarvel4's lines
#pragma once

#include "shared/scan_records.hpp"

#include <string>

namespace program {

using ScanPrinter = std::string (*)(const shared::ScanRecord& record);

std::string singleScanLines(const shared::ScanRecord& record);
std::string quadScanLines(const shared::ScanRecord& record);

}  // namespace program
