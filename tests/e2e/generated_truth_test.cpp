// On the generator's realistic scans (gray and colour, medium, light and dark
// film, more or less background), the strip edges, the first frame window
// and the pitch a program prints lie within a few pixels of the scans' truth.

#include "support/e2e.hpp"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>

namespace {

struct Case {
  const e2e::Program* program;
  int count;
  const char* channels;
  const char* film;
  const char* scale;
  int seed;
};

const e2e::Program* const kTarvel1d = &e2e::kPrograms[1];
const e2e::Program* const kTarvel4 = &e2e::kPrograms[2];

const Case kCases[] = {
    {kTarvel1d, 10, "mixed", "mixed", "1", 5},   {kTarvel1d, 10, "mixed", "mixed", "1.5", 6},
    {kTarvel1d, 10, "mixed", "mixed", "2", 7},   {kTarvel4, 5, "1", "bright", "1", 101},
    {kTarvel4, 5, "1", "dark", "1", 102},        {kTarvel4, 5, "1", "mixed", "1", 103},
    {kTarvel4, 5, "3", "bright", "1", 104},      {kTarvel4, 5, "3", "dark", "1", 105},
    {kTarvel4, 5, "3", "mixed", "1", 106},       {kTarvel4, 5, "mixed", "bright", "1", 107},
    {kTarvel4, 5, "mixed", "dark", "1", 108},    {kTarvel4, 5, "mixed", "mixed", "1", 109},
    {kTarvel4, 5, "mixed", "mixed", "2", 110},   {kTarvel4, 5, "3", "bright", "1.5", 111},
};

void PrintTo(const Case& c, std::ostream* os) {
  *os << c.program->name << " channels " << c.channels << ", film " << c.film << ", scale " << c.scale;
}

// The lines each scan printed: from its name line up to the next scan's.
std::vector<std::string> linesOfEachScan(const std::string& out, const std::vector<e2e::TruthLine>& truth) {
  std::vector<std::string> blocks(truth.size());
  std::istringstream lines(out);
  std::string line;
  int at = -1;
  while (std::getline(lines, line)) {
    for (size_t i = 0; i < truth.size(); ++i)
      if (line + "\n" == e2e::nameLine(truth[i].file)) at = static_cast<int>(i);
    if (at >= 0) blocks[at] += line + "\n";
  }
  return blocks;
}

// The integer of every line that is `pattern` (a regular expression) and an integer, in order.
std::vector<int> valuesAfter(const std::string& lines, const std::string& pattern) {
  const std::regex line(pattern + "(-?[0-9]+)");
  std::vector<int> values;
  std::istringstream in(lines);
  std::string text;
  std::smatch match;
  while (std::getline(in, text))
    if (std::regex_match(text, match, line)) values.push_back(std::stoi(match[1]));
  return values;
}

class GeneratedTruth : public testing::TestWithParam<Case> {};

TEST_P(GeneratedTruth, FoundEdgesAndWindowsLieOnTheGeneratorsFrames) {
  const Case& c = GetParam();
  const bool quad = std::string(c.program->kind) == "quad";
  const int tolerance = quad ? 3 : 4;
  e2e::TempDir folder;
  const std::vector<e2e::TruthLine> truth = e2e::makeScans(
      folder.path, c.program->kind, c.count,
      {"--channels", c.channels, "--film", c.film, "--scale", c.scale, "--seed", std::to_string(c.seed)});
  ASSERT_EQ(truth.size(), static_cast<size_t>(c.count));

  const e2e::RunResult run = e2e::runProgram(e2e::programPath(c.program->name), folder.path);
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<std::string> blocks = linesOfEachScan(run.out, truth);
  auto expectOneNear = [&](const std::string& block, const std::string& pattern, int expected) {
    const std::vector<int> values = valuesAfter(block, pattern);
    ASSERT_EQ(values.size(), 1u) << pattern;
    EXPECT_NEAR(values[0], expected, tolerance) << pattern;
  };
  for (size_t i = 0; i < truth.size(); ++i) {
    const e2e::TruthLine& t = truth[i];
    SCOPED_TRACE(t.file + " " + t.film + " " + std::to_string(t.channels) + " channels");
    expectOneNear(blocks[i], "frameCorrection x=", t.cropLeft);
    if (!quad) expectOneNear(blocks[i], "frameCorrection[13] y=", t.cropRight);
    expectOneNear(blocks[i], "x= ", t.winRow);
    expectOneNear(blocks[i], "N=", t.winCol);
  }
  if (quad) {  // measured once, on the first scan
    const std::vector<int> pitch = valuesAfter(run.out, "maxmax = ");
    ASSERT_EQ(pitch.size(), 2u);
    EXPECT_NEAR(pitch[0], 270, tolerance);
  }
  EXPECT_EQ(e2e::probeVideo(folder.file(c.program->video)).frames, c.count * c.program->framesPerScan);
}

INSTANTIATE_TEST_SUITE_P(Generated, GeneratedTruth, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& info) {
                           return std::string(info.param.program->name) + "_seed" + std::to_string(info.param.seed);
                         });

}  // namespace
