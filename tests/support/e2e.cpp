#include "e2e.hpp"

#include <opencv2/core.hpp>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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

RunResult runProgram(const std::string& requested, const std::string& folder,
                     const std::vector<std::string>& args, int asUser) {
  RunOptions options;
  options.args = args;
  options.asUser = asUser;
  return runProgram(requested, folder, options);
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
  if (out < 0 || err < 0 || in < 0 || chdir(folder.c_str()) != 0) _exit(127);
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

void signalOnceExists(pid_t pid, const std::string& path, int stopSignal) {
  while (!fs::exists(path)) {
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
  if (options.stopSignal) signalOnceExists(pid, folder + "/" + options.signalOnceExists, options.stopSignal);
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  RunResult result;
  result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
  result.out = readFile(outPath);
  result.err = readFile(errPath);
  return result;
}

namespace {

std::string quoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::string capture(const std::string& command) {
  std::string text;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return text;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
  pclose(pipe);
  return text;
}

}  // namespace

VideoInfo probeVideo(const std::string& path) {
  const std::string text = capture(
      "ffprobe -v error -select_streams v:0 -count_frames -show_entries "
      "stream=codec_tag_string,width,height,r_frame_rate,nb_frames,nb_read_frames -of default=nw=1 " +
      quoted(path) + " 2>/dev/null");
  VideoInfo info;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    const auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
    info.readable = true;
    if (key == "codec_tag_string") info.codecTag = value;
    else if (key == "width") info.width = std::atoi(value.c_str());
    else if (key == "height") info.height = std::atoi(value.c_str());
    else if (key == "r_frame_rate") info.frameRate = value;
    else if (key == "nb_read_frames") info.frames = std::atoi(value.c_str());
    else if (key == "nb_frames") info.headerFrames = std::atoi(value.c_str());
  }
  return info;
}

std::vector<cv::Mat> decodeFrames(const std::string& path) {
  const std::string raw =
      capture("ffmpeg -v error -i " + quoted(path) + " -f rawvideo -pix_fmt bgr24 pipe:1 2>/dev/null");
  const size_t frameBytes = 640 * 480 * 3;
  std::vector<cv::Mat> frames;
  for (size_t at = 0; at + frameBytes <= raw.size(); at += frameBytes)
    frames.push_back(cv::Mat(480, 640, CV_8UC3, const_cast<char*>(raw.data() + at)).clone());
  return frames;
}

double psnr(const cv::Mat& a, const cv::Mat& b) { return cv::PSNR(a, b); }

}  // namespace e2e
