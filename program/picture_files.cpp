// The overlay pictures as files: the folder they go to, their names, and
// writing them so that a failure is seen. A folder that cannot take a file
// is refused before any scan is read, so a run never finds out halfway; a
// picture is written to a file of its own beside its name (an entry in its
// place that is not a regular file is refused, a FIFO would hold the run),
// every byte's arrival is checked, and it is renamed into place whole.

#include "picture_files.hpp"

#include "replaced_file.hpp"

#include <opencv2/imgcodecs.hpp>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

namespace program {
namespace {

namespace fs = std::filesystem;

std::string systemReason() { return std::strerror(errno); }

bool writeAll(int fd, const std::vector<unsigned char>& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

std::string prepareFolder(const std::string& folder) {
  std::error_code error;
  fs::create_directories(folder, error);
  if (error) return error.message();
  if (!fs::is_directory(folder, error)) return "it is not a folder";
  std::string probe = (fs::path(folder) / ".tarvel-probe-XXXXXX").string();
  const int fd = mkstemp(probe.data());
  if (fd < 0) return systemReason();
  close(fd);
  unlink(probe.c_str());
  removeLeftovers(folder, "");
  return {};
}

std::string pictureName(const std::string& scanName, std::set<std::string>& taken) {
  const fs::path scan(scanName);
  const std::string stem = scan.stem().string();
  std::string name = stem + ".png";
  for (int n = 2; taken.count(name); ++n) name = stem + "-" + std::to_string(n) + ".png";
  taken.insert(name);
  return name;
}

std::string writePicture(const std::string& path, const cv::Mat& picture) {
  std::vector<unsigned char> png;
  try {
    if (!cv::imencode(".png", picture, png)) return "the image library could not encode it";
  } catch (const std::exception& e) {
    return e.what();
  }
  AsideFile file;
  if (std::string problem = createAside(path, file); !problem.empty()) return problem;
  if (!writeAll(file.fd, png)) return systemReason();
  return replaceWhole(file);
}

}  // namespace program
