// Ground truth of generated scans, and the positions a program printed for
// each scan of a run, for comparing the two.
#pragma once

#include <string>
#include <vector>

namespace e2e {

struct TruthLine {
  std::string file;
  std::string film;  // "bright" or "dark"
  int channels = 0;
  int cropLeft = 0;
  int cropRight = 0;
  int winRow = 0;
  int winCol = 0;
};

std::vector<TruthLine> readTruth(const std::string& path);

// The integer after each occurrence of `prefix` at the start of a line, in order.
std::vector<int> valuesAfter(const std::string& out, const std::string& prefix);

}  // namespace e2e
