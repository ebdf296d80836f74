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

#include <filesystem>
#include <map>

namespace {

namespace fs = std::filesystem;

void write16Bit(const cv::Mat& plain, const std::string& path) {
  cv::Mat deep;
  plain.convertTo(deep, CV_16U, 257);  // v x 257 scales back to v
  ASSERT_TRUE(cv::imwrite(path, deep));
}

void writeCompressed(const cv::Mat& plain, const std::string& path, int compression) {
  ASSERT_TRUE(cv::imwrite(path, plain, {cv::IMWRITE_TIFF_COMPRESSION, compression}));
}

// Other ways of storing the plain scan of `channels` channels.
struct Variant {
  const char* what;
  int channels;
  void (*write)(const cv::Mat& plain, const std::string& path);
};

const Variant kVariants[] = {
    {"16-bit gray", 1, write16Bit},
    {"16-bit colour", 3, write16Bit},
    {"alpha channel", 3,
     [](const cv::Mat& plain, const std::string& path) {
       cv::Mat rgba;
       cv::cvtColor(plain, rgba, cv::COLOR_BGR2BGRA);
       ASSERT_TRUE(cv::imwrite(path, rgba));
     }},
    {"gray with alpha", 1,  // which the library cannot write itself
     [](const cv::Mat& plain, const std::string& path) {
       cv::Mat withAlpha;
       cv::merge(std::vector<cv::Mat>{plain, cv::Mat(plain.size(), CV_8U, cv::Scalar(128))}, withAlpha);
       e2e::writeFile(path, e2e::tiffBytes(plain.cols, plain.rows, 2,
                                           std::string(withAlpha.datastart, withAlpha.dataend)));
     }},
    {"LZW", 3, [](const cv::Mat& plain, const std::string& path) { writeCompressed(plain, path, 5); }},
    {"deflate", 3, [](const cv::Mat& plain, const std::string& path) { writeCompressed(plain, path, 8); }},
    {"multi-page", 3,
     [](const cv::Mat& plain, const std::string& path) {
       ASSERT_TRUE(cv::imwritemulti(path, std::vector<cv::Mat>{plain, 255 - plain}));
     }},
    {"PNG named .tif", 3,
     [](const cv::Mat& plain, const std::string& path) {
       std::vector<uchar> png;
       cv::imencode(".png", plain, png);
       e2e::writeFile(path, std::string(png.begin(), png.end()));
     }},
    {"tiled", 3,
     [](const cv::Mat& plain, const std::string& path) {
       e2e::TempDir dir;
       ASSERT_TRUE(cv::imwrite(dir.file("plain.tif"), plain));
       ASSERT_EQ(e2e::runTool(e2e::kTiffcp, {"-t", "-w", "64", "-l", "64", dir.file("plain.tif"), path}).status, 0);
     }},
    // An orientation tag does not turn the raster: the scan is taken as stored.
    {"orientation tag", 3,
     [](const cv::Mat& plain, const std::string& path) {
       ASSERT_TRUE(cv::imwrite(path, plain));
       ASSERT_EQ(e2e::runTool(e2e::kTiffset, {"-s", "274", "6", path}).status, 0);
     }},
};

class BadFiles : public e2e::ProgramTest {
 protected:
  // A generated scan of the program's kind.
  cv::Mat reference(int channels) const {
    const std::string dir = e2e::generatedScans(
        GetParam().kind, 1, {"--channels", std::to_string(channels), "--film", "bright", "--seed", "7"});
    return cv::imread(dir + "/scan_001.tif", cv::IMREAD_ANYCOLOR);
  }

  // The load message on standard output, the reason (and no log line of the library) on standard error.
  void expectLoadFailureFirst(const e2e::RunResult& r, const std::string& name, const std::string& reason) {
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("\"" + name + "\": " + reason), std::string::npos) << r.err;
    EXPECT_TRUE(e2e::onlyOwnMessages(r.err, GetParam().name));
    EXPECT_EQ(r.out, e2e::failedLoad(name));
    const auto info = e2e::probeVideo(video());
    EXPECT_TRUE(info.readable);
    EXPECT_EQ(info.frames, 0);
  }
};

TEST_P(BadFiles, UndecodableFilesStopTheRunWithTheLoadMessage) {
  e2e::writeFile(folder.file("a.tif"), "");
  expectLoadFailureFirst(run(), "a.tif", "it is not an image the library decodes");
  fs::remove(folder.file("a.tif"));

  std::vector<uchar> tiff;
  cv::imencode(".tif", reference(3), tiff);
  e2e::writeFile(folder.file("b.tif"), std::string(tiff.begin(), tiff.begin() + 64));
  expectLoadFailureFirst(run(), "b.tif", "the image library could not decode it");
  fs::remove(folder.file("b.tif"));

  cv::RNG rng(3);
  std::string garbage(5000, '\0');
  for (char& c : garbage) c = static_cast<char>(rng.uniform(0, 256));
  e2e::writeFile(folder.file("c.tif"), garbage);
  expectLoadFailureFirst(run(), "c.tif", "it is not an image the library decodes");
  fs::remove(folder.file("c.tif"));

  fs::create_directory(folder.file("d.tif"));
  expectLoadFailureFirst(run(), "d.tif", "it is not a regular file but a folder");
}

TEST_P(BadFiles, UnreadableFileStopsTheRun) {
  ASSERT_TRUE(cv::imwrite(folder.file("locked.tif"), reference(1)));
  chmod(folder.file("locked.tif").c_str(), 0);
  expectLoadFailureFirst(runUnprivileged(0777), "locked.tif", "cannot open it: Permission denied");
}

TEST_P(BadFiles, AFolderThatTakesNoVideoStopsBeforeAnyScan) {
  ASSERT_TRUE(cv::imwrite(folder.file("a.tif"), reference(1)));
  const auto r = runUnprivileged(0555);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find(GetParam().video), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(video()));
}

// Each variant gives the lines and frames of the plain scan under the same name.
TEST_P(BadFiles, StorageVariantsConvertLikeThePlainScan) {
  std::map<int, std::pair<std::string, std::vector<cv::Mat>>> plain;
  for (int channels : {1, 3}) {
    ASSERT_TRUE(cv::imwrite(folder.file("v.tif"), reference(channels)));
    const auto r = run();
    ASSERT_EQ(r.status, 0) << r.err;
    plain[channels] = {r.out, e2e::decodeFrames(video())};
    ASSERT_EQ(static_cast<int>(plain[channels].second.size()), GetParam().framesPerScan);
  }
  for (const Variant& v : kVariants) {
    SCOPED_TRACE(v.what);
    fs::remove(folder.file("v.tif"));
    v.write(reference(v.channels), folder.file("v.tif"));
    const auto r = run();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, plain[v.channels].first);
    e2e::expectFrames(video(), plain[v.channels].second);
  }
}

TEST_P(BadFiles, NamesAreTakenAsTheyAreAndOnlyTifMatches) {
  const cv::Mat gray = reference(1);
  ASSERT_TRUE(cv::imwrite(folder.file("b c.tif"), gray));
  ASSERT_TRUE(cv::imwrite(folder.file("\xc3\xa4rger.TIF"), gray));
  ASSERT_TRUE(cv::imwrite(folder.file("a.tiff"), gray));
  const auto r = run();
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.find("a.tiff"), std::string::npos);
  const size_t spaced = r.out.find(e2e::nameLine("b c.tif")), accented = r.out.find(e2e::nameLine("\xc3\xa4rger.TIF"));
  EXPECT_NE(spaced, std::string::npos);
  EXPECT_NE(accented, std::string::npos);
  EXPECT_LT(spaced, accented);  // bytes above ASCII sort after letters
  EXPECT_EQ(e2e::probeVideo(video()).frames, 2 * GetParam().framesPerScan);
}

INSTANTIATE_TEST_SUITE_P(Programs, BadFiles, testing::ValuesIn(e2e::kPrograms), e2e::programName);

}  // namespace
