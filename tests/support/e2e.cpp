#include "e2e.hpp"

#include <opencv2/core.hpp>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>

namespace e2e {
namespace fs = std::filesystem;

TempDir::TempDir() {
  std::string templ = (fs::temp_directory_path() / "tarvel-XXXXXX").string();
  if (!mkdtemp(templ.data())) throw std::runtime_error("mkdtemp failed");
  path = templ;
}

TempDir::~TempDir() {
  std::error_code ec;
  // A test may have taken permissions away; give them back so removal works.
  for (auto it = fs::recursive_directory_iterator(path, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec))
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path, ec);
}

std::string programPath(const std::string& name) {
  const char* dir = std::getenv("TARVEL_BIN_DIR");
  return std::string(dir ? dir : TARVEL_DEFAULT_BIN_DIR) + "/" + name;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

namespace {

void setLimit(int resource, long bytes) {
  if (bytes < 0) return;
  const rlimit limit{static_cast<rlim_t>(bytes), static_cast<rlim_t>(bytes)};
  if (setrlimit(resource, &limit) != 0) _exit(125);
}

// In the child: the standard streams, limits and signals the run asks for, then the program.
[[noreturn]] void startChild(const std::string& program, const std::string& folder, const RunOptions& o,
                             const std::string& outPath, const std::string& errPath) {
  int out = -1;
  if (o.stdoutClosedPipe) {
    int ends[2];
    if (pipe(ends) != 0) _exit(127);
    close(ends[0]);
    out = ends[1];
  } else {
    out = open(o.stdoutPath.empty() ? outPath.c_str() : o.stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  }
  const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  const int in = open("/dev/null", O_RDONLY);
  if (out < 0 || err < 0 || in < 0 || (!folder.empty() && chdir(folder.c_str()) != 0)) _exit(127);
  if (o.asUser >= 0 && (setgid(o.asUser) != 0 || setuid(o.asUser) != 0)) _exit(126);
  for (const int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) signal(s, SIG_DFL);
  if (o.fileSizeLimit >= 0) signal(SIGXFSZ, SIG_IGN);
  setLimit(RLIMIT_FSIZE, o.fileSizeLimit);
  setLimit(RLIMIT_AS, o.addressSpaceLimit);
  alarm(300);  // a run that hangs fails its test instead of stopping the suite
  dup2(in, 0);
  dup2(out, 1);
  dup2(err, 2);
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const auto& a : o.args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  execv(program.c_str(), argv.data());
  _exit(127);
}

bool existsStartingWith(const std::string& folder, const std::string& start) {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec))
    if (entry.path().filename().string().rfind(start, 0) == 0) return true;
  return false;
}

void signalOnceExists(pid_t pid, const std::string& folder, const std::string& start, int stopSignal) {
  while (!existsStartingWith(folder, start)) {
    siginfo_t ended{};
    if (waitid(P_PID, pid, &ended, WEXITED | WNOHANG | WNOWAIT) == 0 && ended.si_pid == pid) return;
    usleep(1000);
  }
  kill(pid, stopSignal);
}

}  // namespace

RunResult runProgram(const std::string& requested, const std::string& folder, const RunOptions& options) {
  TempDir capture;
  // Another user may not reach the build tree (a clone in a private folder):
  // it runs a copy of the program from a folder it can read.
  TempDir copy;
  std::string program = requested;
  if (options.asUser >= 0) {
    fs::permissions(copy.path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                   fs::perms::others_read | fs::perms::others_exec);
    program = copy.file(fs::path(requested).filename().string());
    fs::copy_file(requested, program);
  }
  const std::string outPath = capture.file("out"), errPath = capture.file("err");
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) startChild(program, folder, options, outPath, errPath);
  if (options.stopSignal && !options.signalOnceExists.empty())
    signalOnceExists(pid, folder, options.signalOnceExists, options.stopSignal);
  if (options.stopSignal && options.signalAfterMs >= 0) {
    usleep(static_cast<useconds_t>(options.signalAfterMs) * 1000);
    kill(pid, options.stopSignal);
  }
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  RunResult result;
  result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
  result.out = readFile(outPath);
  result.err = readFile(errPath);
  return result;
}

RunResult ProgramTest::runUnprivileged(unsigned folderMode) const {
  RunOptions options;
  options.asUser = geteuid() == 0 ? 65534 : -1;
  fs::permissions(folder.path, static_cast<fs::perms>(folderMode));
  const RunResult result = run(options);
  fs::permissions(folder.path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                   fs::perms::others_read | fs::perms::others_exec);
  return result;
}

// The paths the build found them at.
const std::string kFfmpeg = TARVEL_FFMPEG, kFfprobe = TARVEL_FFPROBE, kTiffcp = TARVEL_TIFFCP,
                  kTiffset = TARVEL_TIFFSET, kGstLaunch = TARVEL_GST_LAUNCH_1_0;

RunResult runTool(const std::string& tool, const std::vector<std::string>& args) {
  RunOptions options;
  options.args = args;
  return runProgram(tool, "", options);
}

VideoInfo probeVideo(const std::string& path) {
  const std::string text =
      runTool(kFfprobe, {"-v", "error", "-select_streams", "v:0", "-count_frames", "-show_entries",
                         "stream=codec_name,codec_tag_string,width,height,r_frame_rate,nb_frames,nb_read_frames", "-of",
                         "default=nw=1", path})
          .out;
  VideoInfo info;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    const auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
    info.readable = true;
    if (key == "codec_tag_string") info.codecTag = value;
    else if (key == "codec_name") info.codec = value;
    else if (key == "width") info.width = std::atoi(value.c_str());
    else if (key == "height") info.height = std::atoi(value.c_str());
    else if (key == "r_frame_rate") info.frameRate = value;
    else if (key == "nb_read_frames") info.frames = std::atoi(value.c_str());
    else if (key == "nb_frames") info.headerFrames = std::atoi(value.c_str());
  }
  return info;
}

bool playsInGstreamer(const std::string& path) {
  return runTool(kGstLaunch, {"-q", "filesrc", "location=" + path, "!", "decodebin", "!", "fakesink"}).status == 0;
}

std::vector<cv::Mat> decodeFrames(const std::string& path) {
  const std::string raw =
      runTool(kFfmpeg, {"-v", "error", "-i", path, "-f", "rawvideo", "-pix_fmt", "bgr24", "pipe:1"}).out;
  const size_t frameBytes = 640 * 480 * 3;
  std::vector<cv::Mat> frames;
  for (size_t at = 0; at + frameBytes <= raw.size(); at += frameBytes)
    frames.push_back(cv::Mat(480, 640, CV_8UC3, const_cast<char*>(raw.data() + at)).clone());
  return frames;
}

testing::AssertionResult imagesAgree(const cv::Mat& a, const cv::Mat& b, double minPsnr) {
  if (a.size() != b.size() || a.type() != b.type())
    return testing::AssertionFailure() << "sizes or types differ: " << a.size() << " type " << a.type() << ", "
                                       << b.size() << " type " << b.type();
  if (minPsnr == kExact) {
    const double most = cv::norm(a, b, cv::NORM_INF);
    return (most == 0 ? testing::AssertionSuccess() : testing::AssertionFailure()) << "samples differ by up to " << most;
  }
  const double psnr = cv::PSNR(a, b);
  return (psnr > minPsnr ? testing::AssertionSuccess() : testing::AssertionFailure())
         << "PSNR " << psnr << " dB against the bar of " << minPsnr << " dB";
}

std::vector<cv::Mat> expectFrames(const std::string& video, const std::vector<cv::Mat>& expected, double minPsnr) {
  const std::vector<cv::Mat> frames = decodeFrames(video);
  EXPECT_EQ(frames.size(), expected.size()) << video;
  for (size_t i = 0; i < std::min(frames.size(), expected.size()); ++i)
    EXPECT_TRUE(imagesAgree(frames[i], expected[i], minPsnr)) << "frame " << i;
  return frames;
}

std::string nameLine(const std::string& name) {
  return name + std::string(name.size() < 12 ? 12 - name.size() : 0, ' ') + "\n";
}

std::string failedLoad(const std::string& name) { return nameLine(name) + "Could not load image file: " + name + "\n"; }

std::vector<TruthLine> makeScans(const std::string& folder, const std::string& kind, int count,
                                 const std::vector<std::string>& options) {
  RunOptions run;
  run.args = {"--kind", kind, "--count", std::to_string(count), "--out", folder};
  run.args.insert(run.args.end(), options.begin(), options.end());
  const RunResult made = runProgram(programPath("make_scans"), "", run);
  if (made.status != 0) throw std::runtime_error("make_scans failed: " + made.err);
  std::vector<TruthLine> truth;
  std::istringstream lines(readFile(folder + "/truth.txt"));
  std::string line;
  while (std::getline(lines, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    TruthLine t;
    if (fields >> t.file >> t.channels >> t.film >> t.cropLeft >> t.cropRight >> t.winRow >> t.winCol)
      truth.push_back(t);
  }
  fs::remove(folder + "/truth.txt");
  return truth;
}

std::string generatedScans(const std::string& kind, int count, const std::vector<std::string>& options) {
  static std::map<std::string, std::unique_ptr<TempDir>> made;
  std::string key = kind + " " + std::to_string(count);
  for (const std::string& o : options) key += " " + o;
  std::unique_ptr<TempDir>& dir = made[key];
  if (!dir) {
    auto fresh = std::make_unique<TempDir>();
    makeScans(fresh->path, kind, count, options);
    dir = std::move(fresh);
  }
  return dir->path;
}

void copyFiles(const std::string& from, const std::string& to, const std::string& prefix) {
  for (const auto& entry : fs::directory_iterator(from))
    fs::copy_file(entry.path(), to + "/" + prefix + entry.path().filename().string());
}

std::string tiffBytes(uint32_t width, uint32_t height, uint16_t samples, const std::string& strip) {
  std::string out = "II*";
  out += '\0';
  auto u16 = [&](uint16_t v) { out.append(reinterpret_cast<const char*>(&v), 2); };
  auto u32 = [&](uint32_t v) { out.append(reinterpret_cast<const char*>(&v), 4); };
  auto tag = [&](uint16_t id, uint16_t type, uint32_t count, uint32_t value) {
    u16(id), u16(type), u32(count), u32(value);
  };
  const uint16_t entries = samples == 2 ? 11 : 10;
  u32(8);
  u16(entries);
  tag(256, 4, 1, width);
  tag(257, 4, 1, height);
  tag(258, 3, samples, samples == 2 ? 8 | 8 << 16 : 8);  // 8 bits a sample, inline
  tag(259, 3, 1, 1);                                      // no compression
  tag(262, 3, 1, 1);                                      // black is zero
  tag(273, 4, 1, 8 + 2 + entries * 12 + 4);               // the strip follows the directory
  tag(277, 3, 1, samples);
  tag(278, 4, 1, height);                                 // rows per strip
  tag(279, 4, 1, width * height * samples);               // strip bytes
  tag(284, 3, 1, 1);                                      // interleaved
  if (samples == 2) tag(338, 3, 1, 2);                    // the extra sample is unassociated alpha
  u32(0);
  return out + strip;
}

void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

testing::AssertionResult onlyOwnMessages(const std::string& err, const std::string& program) {
  std::istringstream lines(err);
  std::string line;
  while (std::getline(lines, line))
    if (line.rfind(program + ": ", 0) != 0) return testing::AssertionFailure() << "not the program's own: " << line;
  return testing::AssertionSuccess();
}

}  // namespace e2e
