// On the generator's realistic single-frame scans (gray and colour, bright
// and dark film, more or less background), the crop edges and the frame
// window that tarvel1d prints lie within a few pixels of the scans' truth.

#include "support/e2e.hpp"
#include "truth.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>

namespace {

constexpr int kTolerance = 4;  // pixels

std::string trimmed(std::string line) {
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}

// The lines a scan printed: from its name line up to the next scan's.
std::string blockOf(const std::string& out, const std::string& file) {
  std::istringstream lines(out);
  std::string line, block;
  bool inside = false;
  while (std::getline(lines, line)) {
    const std::string name = trimmed(line);
    const bool nameLine = name.size() > 4 && name.compare(name.size() - 4, 4, ".tif") == 0 &&
                          name.find(' ') == std::string::npos;
    if (nameLine) inside = name == file;
    if (inside) block += line + "\n";
  }
  return block;
}

int valueAfter(const std::string& block, const std::string& pattern) {
  std::smatch match;
  if (!std::regex_search(block, match, std::regex(pattern + "(-?[0-9]+)\n"))) return -1000000;
  return std::stoi(match[1]);
}

void checkRun(const std::string& scale, int seed) {
  SCOPED_TRACE("scale " + scale);
  e2e::TempDir folder;
  const std::string generate = e2e::programPath("make_scans") + " --kind single --count 10 --seed " +
                               std::to_string(seed) + " --channels mixed --film mixed --scale " + scale +
                               " --out " + folder.path + " >/dev/null";
  ASSERT_EQ(std::system(generate.c_str()), 0);
  const std::vector<e2e::TruthLine> truths = e2e::readTruth(folder.file("truth.txt"));
  ASSERT_EQ(truths.size(), 10u);

  const e2e::RunResult run = e2e::runProgram(e2e::programPath("tarvel1d"), folder.path);
  ASSERT_EQ(run.status, 0);
  for (const e2e::TruthLine& t : truths) {
    SCOPED_TRACE(t.file + " " + t.film + " " + std::to_string(t.channels) + " channels");
    const std::string block = blockOf(run.out, t.file);
    ASSERT_FALSE(block.empty());
    EXPECT_NEAR(valueAfter(block, "frameCorrection x="), t.cropLeft, kTolerance);
    EXPECT_NEAR(valueAfter(block, "frameCorrection[13] y="), t.cropRight, kTolerance);
    EXPECT_NEAR(valueAfter(block, "x= "), t.winRow, kTolerance);
    EXPECT_NEAR(valueAfter(block, "N="), t.winCol, kTolerance);
  }
}

TEST(SingleGenerated, FoundEdgesAndWindowsMatchTheTruth) {
  checkRun("1", 5);
  checkRun("1.5", 6);
  checkRun("2", 7);
}

}  // namespace
