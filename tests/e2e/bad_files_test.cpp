// Whatever a scanner or a copy leaves in a folder: every program either
// converts a file exactly as it would the plain 8-bit scan it holds, or stops
// at it with the load message and status 1, leaving a finished video with
// exactly the frames written before the stop.

#include "support/e2e.hpp"

#include <gtest/gtest.h>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

struct Program {
  const char* name;
  const char* kind;   // generator kind of its scans
  const char* video;  // the file that receives the frames
  int framesPerScan;
};

const Program kPrograms[] = {
    {"tarvel1m", "single", "video.avi", 1},
    {"tarvel1d", "single", "video.avi", 1},
    {"tarvel4", "quad", "video3.avi", 10},
};

void writeBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// A minimal uncompressed little-endian TIFF of gray samples with an
// unassociated alpha sample each, which the library cannot write itself.
std::string grayAlphaTiff(const cv::Mat& gray) {
  std::string out;
  auto u16 = [&](uint16_t v) { out.append(reinterpret_cast<const char*>(&v), 2); };
  auto u32 = [&](uint32_t v) { out.append(reinterpret_cast<const char*>(&v), 4); };
  const uint32_t pixels = static_cast<uint32_t>(gray.total());
  out = "II";
  u16(42);
  u32(8);
  const uint16_t entries = 11;
  const uint32_t ifdSize = 2 + entries * 12 + 4;
  const uint32_t dataAt = 8 + ifdSize;
  u16(entries);
  auto tag = [&](uint16_t id, uint16_t type, uint32_t count, uint32_t value) {
    u16(id), u16(type), u32(count), u32(value);
  };
  tag(256, 4, 1, gray.cols);           // width
  tag(257, 4, 1, gray.rows);           // height
  tag(258, 3, 2, 8 | 8 << 16);         // 8 bits, 8 bits, inline
  tag(259, 3, 1, 1);                   // no compression
  tag(262, 3, 1, 1);                   // black is zero
  tag(273, 4, 1, dataAt);              // one strip
  tag(277, 3, 1, 2);                   // two samples per pixel
  tag(278, 4, 1, gray.rows);           // rows per strip
  tag(279, 4, 1, pixels * 2);          // strip bytes
  tag(284, 3, 1, 1);                   // interleaved
  tag(338, 3, 1, 2);                   // the extra sample is unassociated alpha
  u32(0);
  for (int r = 0; r < gray.rows; ++r)
    for (int c = 0; c < gray.cols; ++c) out += static_cast<char>(gray.at<uchar>(r, c)), out += '\x80';
  return out;
}

class BadFiles : public ::testing::TestWithParam<Program> {
 protected:
  // One generated scan per kind and channel count, with the run it gives alone.
  static void SetUpTestSuite() {
    for (const char* kind : {"single", "quad"})
      for (int channels : {1, 3}) {
        const std::string dir = fixtures_->file(std::string(kind) + std::to_string(channels));
        const auto made = e2e::runProgram(e2e::programPath("make_scans"), fixtures_->path,
                                          {"--kind", kind, "--count", "1", "--out", dir, "--channels",
                                           std::to_string(channels), "--film", "bright", "--seed", "7"});
        ASSERT_EQ(made.status, 0) << made.err;
      }
  }
  static void TearDownTestSuite() { fixtures_.reset(); }

  cv::Mat reference(int channels) const {
    const std::string path = fixtures_->file(std::string(GetParam().kind) + std::to_string(channels)) + "/scan_001.tif";
    return cv::imread(path, cv::IMREAD_ANYCOLOR);
  }

  e2e::RunResult run(int asUser = -1) {
    return e2e::runProgram(e2e::programPath(GetParam().name), folder_.path, {}, asUser);
  }

  int framesWritten() { return e2e::probeVideo(folder_.file(GetParam().video)).frames; }

  // Runs the program on `name` alone, then on the plain 8-bit scan of the
  // same picture under the same name, and expects the same lines and frames.
  void expectSameAsPlain(const std::string& name, int channels, const std::string& what) {
    SCOPED_TRACE(what);
    const auto variant = run();
    const auto variantFrames = e2e::decodeFrames(folder_.file(GetParam().video));
    fs::remove_all(folder_.file(name));
    ASSERT_TRUE(cv::imwrite(folder_.file(name), reference(channels)));
    const auto plain = run();
    EXPECT_EQ(variant.status, 0) << variant.err;
    EXPECT_EQ(variant.out, plain.out);
    const auto plainFrames = e2e::decodeFrames(folder_.file(GetParam().video));
    ASSERT_EQ(variantFrames.size(), plainFrames.size());
    ASSERT_EQ(static_cast<int>(plainFrames.size()), GetParam().framesPerScan);
    for (size_t i = 0; i < plainFrames.size(); ++i)
      EXPECT_EQ(cv::norm(variantFrames[i], plainFrames[i], cv::NORM_INF), 0) << "frame " << i;
    fs::remove(folder_.file(name));
  }

  // The load message on standard output, the reason (and no log line of the library) on standard error.
  void expectLoadFailureFirst(const std::string& name, const std::string& reason, int asUser = -1) {
    const auto r = run(asUser);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("\"" + name + "\": " + reason), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("[ WARN"), std::string::npos) << r.err;
    char padded[64];
    std::snprintf(padded, sizeof padded, "%-12s\n", name.c_str());
    EXPECT_EQ(r.out, std::string(padded) + "Could not load image file: " + name + "\n");
    const auto info = e2e::probeVideo(folder_.file(GetParam().video));
    EXPECT_TRUE(info.readable);
    EXPECT_EQ(info.frames, 0);
  }

  e2e::TempDir folder_;
  static inline std::unique_ptr<e2e::TempDir> fixtures_ = std::make_unique<e2e::TempDir>();
};

TEST_P(BadFiles, UndecodableFilesStopTheRunWithTheLoadMessage) {
  writeBytes(folder_.file("a.tif"), "");
  expectLoadFailureFirst("a.tif", "it is not an image the library decodes");
  fs::remove(folder_.file("a.tif"));

  std::vector<uchar> tiff;
  cv::imencode(".tif", reference(3), tiff);
  writeBytes(folder_.file("b.tif"), std::string(tiff.begin(), tiff.begin() + 64));
  expectLoadFailureFirst("b.tif", "the image library could not decode it");
  fs::remove(folder_.file("b.tif"));

  cv::RNG rng(3);
  std::string garbage(5000, '\0');
  for (char& c : garbage) c = static_cast<char>(rng.uniform(0, 256));
  writeBytes(folder_.file("c.tif"), garbage);
  expectLoadFailureFirst("c.tif", "it is not an image the library decodes");
  fs::remove(folder_.file("c.tif"));

  fs::create_directory(folder_.file("d.tif"));
  expectLoadFailureFirst("d.tif", "it is not a regular file but a folder");
}

TEST_P(BadFiles, UnreadableFileStopsTheRun) {
  ASSERT_TRUE(cv::imwrite(folder_.file("locked.tif"), reference(1)));
  chmod(folder_.file("locked.tif").c_str(), 0);
  int asUser = -1;
  if (geteuid() == 0) {
    asUser = 65534;  // root reads anything: run as the unprivileged "nobody"
    chmod(folder_.path.c_str(), 0777);
  }
  expectLoadFailureFirst("locked.tif", "cannot open it: Permission denied", asUser);
}

TEST_P(BadFiles, AFolderThatTakesNoVideoStopsBeforeAnyScan) {
  ASSERT_TRUE(cv::imwrite(folder_.file("a.tif"), reference(1)));
  int asUser = -1;
  if (geteuid() == 0) asUser = 65534;  // root writes anywhere: run as "nobody"
  chmod(folder_.path.c_str(), 0555);
  const auto r = run(asUser);
  chmod(folder_.path.c_str(), 0755);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find(GetParam().video), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(folder_.file(GetParam().video)));
}

TEST_P(BadFiles, AGoodBadGoodSequenceKeepsTheFirstScansFrames) {
  ASSERT_TRUE(cv::imwrite(folder_.file("a.tif"), reference(3)));
  const auto alone = run();
  ASSERT_EQ(alone.status, 0);
  writeBytes(folder_.file("b.tif"), "not an image");
  ASSERT_TRUE(cv::imwrite(folder_.file("c.tif"), reference(3)));
  const auto r = run();
  EXPECT_EQ(r.status, 1);
  const std::string aloneLines = alone.out.substr(0, alone.out.size() - std::string("No tif file").size());
  EXPECT_EQ(r.out, aloneLines + "b.tif       \nCould not load image file: b.tif\n");
  EXPECT_EQ(framesWritten(), GetParam().framesPerScan);
}

TEST_P(BadFiles, DeeperAndExtraChannelsConvertLikeThePlainScan) {
  for (int channels : {1, 3}) {
    cv::Mat deep;
    reference(channels).convertTo(deep, CV_16U, 257);  // v x 257 scales back to v
    ASSERT_TRUE(cv::imwrite(folder_.file("deep.tif"), deep));
    expectSameAsPlain("deep.tif", channels, "16-bit samples");
  }
  cv::Mat rgba;
  cv::cvtColor(reference(3), rgba, cv::COLOR_BGR2BGRA);
  ASSERT_TRUE(cv::imwrite(folder_.file("rgba.tif"), rgba));
  expectSameAsPlain("rgba.tif", 3, "alpha channel");
  writeBytes(folder_.file("ga.tif"), grayAlphaTiff(reference(1)));
  expectSameAsPlain("ga.tif", 1, "gray with alpha");
}

TEST_P(BadFiles, StorageVariantsConvertLikeThePlainScan) {
  const cv::Mat colour = reference(3);
  ASSERT_TRUE(cv::imwrite(folder_.file("v.tif"), colour, {cv::IMWRITE_TIFF_COMPRESSION, 5}));  // LZW
  expectSameAsPlain("v.tif", 3, "LZW");
  ASSERT_TRUE(cv::imwrite(folder_.file("v.tif"), colour, {cv::IMWRITE_TIFF_COMPRESSION, 8}));  // deflate
  expectSameAsPlain("v.tif", 3, "deflate");
  ASSERT_TRUE(cv::imwritemulti(folder_.file("v.tif"), std::vector<cv::Mat>{colour, 255 - colour}));
  expectSameAsPlain("v.tif", 3, "multi-page");
  std::vector<uchar> png;
  cv::imencode(".png", colour, png);
  writeBytes(folder_.file("v.tif"), std::string(png.begin(), png.end()));
  expectSameAsPlain("v.tif", 3, "PNG named .tif");

  ASSERT_TRUE(cv::imwrite(folder_.file("plain.tif"), colour));
  const std::string plain = folder_.file("plain.tif"), tiled = folder_.file("v.tif");
  ASSERT_EQ(std::system(("tiffcp -t -w 64 -l 64 '" + plain + "' '" + tiled + "'").c_str()), 0);
  fs::remove(plain);
  expectSameAsPlain("v.tif", 3, "tiled");
  // An orientation tag does not turn the raster: the scan is taken as stored.
  ASSERT_TRUE(cv::imwrite(tiled, colour));
  ASSERT_EQ(std::system(("tiffset -s 274 6 '" + tiled + "'").c_str()), 0);
  expectSameAsPlain("v.tif", 3, "orientation tag");
}

TEST_P(BadFiles, NamesAreTakenAsTheyAreAndOnlyTifMatches) {
  const cv::Mat gray = reference(1);
  ASSERT_TRUE(cv::imwrite(folder_.file("b c.tif"), gray));
  ASSERT_TRUE(cv::imwrite(folder_.file("\xc3\xa4rger.TIF"), gray));
  ASSERT_TRUE(cv::imwrite(folder_.file("a.tiff"), gray));
  const auto r = run();
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.find("a.tiff"), std::string::npos);
  const size_t spaced = r.out.find("b c.tif     \n"), accented = r.out.find("\xc3\xa4rger.TIF  \n");
  EXPECT_NE(spaced, std::string::npos);
  EXPECT_NE(accented, std::string::npos);
  EXPECT_LT(spaced, accented);  // bytes above ASCII sort after letters
  EXPECT_EQ(framesWritten(), 2 * GetParam().framesPerScan);
}

void PrintTo(const Program& p, std::ostream* os) { *os << p.name; }

INSTANTIATE_TEST_SUITE_P(Programs, BadFiles, ::testing::ValuesIn(kPrograms),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
