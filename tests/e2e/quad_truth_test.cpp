// tarvel4 on generated four-frame scans: the strip edge, the pitch and the
// first window it finds lie within a few pixels of the generator's truth, for
// gray and colour, medium, light and dark film, and a wider background.

#include "support/e2e.hpp"
#include "truth.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

constexpr int kTolerance = 3;

void checkRun(const std::string& channels, const std::string& film, const std::string& scale, int seed) {
  SCOPED_TRACE("channels " + channels + ", film " + film + ", scale " + scale);
  e2e::TempDir dir;
  const auto made = e2e::runProgram(e2e::programPath("make_scans"), dir.path,
                                    {"--kind", "quad", "--count", "5", "--out", dir.path, "--channels", channels,
                                     "--film", film, "--scale", scale, "--seed", std::to_string(seed)});
  ASSERT_EQ(made.status, 0) << made.err;
  const auto truth = e2e::readTruth(dir.file("truth.txt"));
  ASSERT_EQ(truth.size(), 5u);

  const auto run = e2e::runProgram(e2e::programPath("tarvel4"), dir.path);
  ASSERT_EQ(run.status, 0) << run.err;
  const auto edges = e2e::valuesAfter(run.out, "frameCorrection x=");
  const auto rows = e2e::valuesAfter(run.out, "x= ");
  const auto columns = e2e::valuesAfter(run.out, "N=");
  const auto pitch = e2e::valuesAfter(run.out, "maxmax = ");
  ASSERT_EQ(edges.size(), 5u);
  ASSERT_EQ(rows.size(), 5u);
  ASSERT_EQ(columns.size(), 5u);
  ASSERT_EQ(pitch.size(), 2u);
  EXPECT_NEAR(pitch[0], 270, kTolerance);
  for (size_t i = 0; i < truth.size(); ++i) {
    SCOPED_TRACE(truth[i].file);
    EXPECT_NEAR(edges[i], truth[i].cropLeft, kTolerance);
    EXPECT_NEAR(rows[i], truth[i].winRow, kTolerance);
    EXPECT_NEAR(columns[i], truth[i].winCol, kTolerance);
  }
  EXPECT_EQ(e2e::probeVideo(dir.file("video3.avi")).frames, 50);
}

}  // namespace

TEST(QuadTruth, WindowsLieOnTheGeneratorsFrames) {
  int seed = 100;
  for (const char* channels : {"1", "3", "mixed"})
    for (const char* film : {"bright", "dark", "mixed"}) checkRun(channels, film, "1", ++seed);
  checkRun("mixed", "mixed", "2", ++seed);
  checkRun("3", "bright", "1.5", ++seed);
}
