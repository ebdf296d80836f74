// Output files written aside: an earlier file stays until the new one is in
// place, and only the leftovers of runs no longer alive are removed.

#include "program/replaced_file.hpp"
#include "support/e2e.hpp"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>

namespace fs = std::filesystem;

namespace {

std::set<std::string> namesIn(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
  return names;
}

}  // namespace

TEST(ReplacedFile, TheEarlierFileStaysUntilTheNewOneIsInPlace) {
  e2e::TempDir dir;
  const std::string video = dir.file("video.avi");
  e2e::writeFile(video, "earlier");
  {
    program::AsideFile file;
    ASSERT_EQ(program::createAside(video, file), "");
    EXPECT_EQ(fs::path(file.path).filename().string().rfind(".video.avi.partial-", 0), 0u) << file.path;
    EXPECT_EQ(fs::path(file.path).extension(), ".avi");
    ASSERT_EQ(write(file.fd, "new", 3), 3);
    EXPECT_EQ(e2e::readFile(video), "earlier");
  }  // dropped unfinished: the temporary file goes, the earlier one stays
  EXPECT_EQ(namesIn(dir.path), std::set<std::string>{"video.avi"});

  program::AsideFile file;
  ASSERT_EQ(program::createAside(video, file), "");
  ASSERT_EQ(write(file.fd, "new", 3), 3);
  EXPECT_EQ(program::replaceWhole(file), "");
  EXPECT_EQ(e2e::readFile(video), "new");
  EXPECT_EQ(namesIn(dir.path), std::set<std::string>{"video.avi"});
  struct stat info {};
  ASSERT_EQ(stat(video.c_str(), &info), 0);
  const mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask);  // as a file made in place, not mkstemp's 0600
}

TEST(ReplacedFile, AFolderInTheFinalPlaceIsRefused) {
  e2e::TempDir dir;
  fs::create_directory(dir.file("video.avi"));
  program::AsideFile file;
  EXPECT_EQ(program::createAside(dir.file("video.avi"), file), "it exists and is not a regular file");
  EXPECT_EQ(namesIn(dir.path), std::set<std::string>{"video.avi"});
}

// A killed run's file is unlocked; a living run's is locked and stays; other
// names, near misses included, are never touched.
TEST(ReplacedFile, OnlyTheLeftoversOfRunsNoLongerAliveAreRemoved) {
  e2e::TempDir dir;
  const std::set<std::string> others{"video.avi", ".video.avi.partial-abc.avi", ".video.avi.partial-abcdef",
                                     "video.avi.partial-abcdef.avi", ".notes.partial-abcdef.txt.bak"};
  for (const std::string& name : others) e2e::writeFile(dir.file(name), "x");
  e2e::writeFile(dir.file(".video.avi.partial-Killed.avi"), "x");
  e2e::writeFile(dir.file(".report.json.partial-Killed.json"), "x");
  program::AsideFile living;
  ASSERT_EQ(program::createAside(dir.file("video.avi"), living), "");
  const std::string livingName = fs::path(living.path).filename().string();

  program::removeLeftovers(dir.path, "video.avi");
  std::set<std::string> expected = others;
  expected.insert({livingName, ".report.json.partial-Killed.json"});
  EXPECT_EQ(namesIn(dir.path), expected);
  program::removeLeftovers(dir.path, "");  // any name
  expected.erase(".report.json.partial-Killed.json");
  EXPECT_EQ(namesIn(dir.path), expected);
}
