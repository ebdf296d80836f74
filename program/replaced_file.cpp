// createAside, replaceWhole, removeLeftovers: the temporary file beside each
// output, its lock, and the rename that puts it in place.
//
// The lock is an flock held on the temporary file for as long as the run has
// it open; the system lets it go when the process ends, however it ends. A
// run removing leftovers takes the lock without waiting, and only a file
// whose lock it gets belongs to no living run. A file is locked just after
// it is created, so a run that finds its new file already gone (removed in
// that moment) makes another.

#include "replaced_file.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

namespace program {
namespace {

constexpr const char kMarker[] = ".partial-";
constexpr size_t kMarkerLength = sizeof kMarker - 1;
constexpr size_t kUniqueLength = 6;  // mkstemps' XXXXXX

std::string systemReason() { return std::strerror(errno); }

std::string folderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string inFolder(const std::string& folder, const std::string& name) {
  return folder == "." ? name : folder + (folder.back() == '/' ? "" : "/") + name;
}

// ".avi" of "video.avi"; none for "report" or ".profile".
std::string extensionOf(const std::string& name) {
  const size_t dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 ? std::string() : name.substr(dot);
}

// What a new file of this process gets: 0666 less the umask.
mode_t newFileMode() {
  static const mode_t mode = [] {
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
  }();
  return mode;
}

bool stillNamed(int fd, const std::string& path) {
  struct stat open {}, named {};
  return fstat(fd, &open) == 0 && stat(path.c_str(), &named) == 0 && open.st_dev == named.st_dev &&
         open.st_ino == named.st_ino;
}

// The final name a temporary file stands for, or empty when `name` is none.
std::string finalNameOf(const std::string& name) {
  if (name.size() < 1 + kMarkerLength + kUniqueLength || name[0] != '.') return {};
  const size_t marker = name.rfind(kMarker);
  if (marker == std::string::npos || marker < 2) return {};
  const std::string finalName = name.substr(1, marker - 1);
  const std::string extension = extensionOf(finalName);
  const size_t expected = 1 + finalName.size() + kMarkerLength + kUniqueLength + extension.size();
  if (name.size() != expected || name.compare(name.size() - extension.size(), extension.size(), extension) != 0)
    return {};
  return finalName;
}

void removeIfUnlocked(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return;
  struct stat info {};
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && flock(fd, LOCK_EX | LOCK_NB) == 0 && stillNamed(fd, path))
    unlink(path.c_str());
  close(fd);
}

}  // namespace

AsideFile::AsideFile(AsideFile&& other) noexcept
    : finalPath(std::move(other.finalPath)), path(std::exchange(other.path, {})), fd(std::exchange(other.fd, -1)) {}

AsideFile& AsideFile::operator=(AsideFile&& other) noexcept {
  if (this != &other) {
    AsideFile gone(std::move(*this));
    finalPath = std::move(other.finalPath);
    path = std::exchange(other.path, {});
    fd = std::exchange(other.fd, -1);
  }
  return *this;
}

AsideFile::~AsideFile() {
  if (!path.empty()) unlink(path.c_str());
  if (fd >= 0) close(fd);
}

std::string createAside(const std::string& finalPath, AsideFile& file) {
  struct stat info {};
  if (stat(finalPath.c_str(), &info) == 0) {
    if (!S_ISREG(info.st_mode)) return "it exists and is not a regular file";
    if (access(finalPath.c_str(), W_OK) != 0) return systemReason();
  }
  const std::string name = nameOf(finalPath), extension = extensionOf(name);
  for (int attempt = 0; attempt < 16; ++attempt) {
    std::string path = inFolder(folderOf(finalPath), "." + name + kMarker + "XXXXXX" + extension);
    const int fd = mkostemps(path.data(), static_cast<int>(extension.size()), O_CLOEXEC);
    if (fd < 0) return systemReason();
    AsideFile made;
    made.finalPath = finalPath;
    made.fd = fd;
    // Unnamed until it is sure to be ours: a file removed by another run's
    // cleaning before the lock was taken is not unlinked again. Where the
    // file system has no locks the file stays unlocked; it is ours all the same.
    const bool locked = flock(fd, LOCK_EX) == 0;
    if (locked && !stillNamed(fd, path)) continue;
    made.path = path;
    if (fchmod(fd, newFileMode()) != 0) return systemReason();
    file = std::move(made);
    return {};
  }
  return "its temporary file was taken away again and again";
}

std::string replaceWhole(AsideFile& file) {
  std::string problem;
  if (fsync(file.fd) != 0 || rename(file.path.c_str(), file.finalPath.c_str()) != 0) problem = systemReason();
  if (problem.empty()) {
    file.path.clear();
    // The rename itself reaches the disk with the folder; a file system
    // that cannot flush a folder has nothing to flush.
    const int folder = open(folderOf(file.finalPath).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
      if (fsync(folder) != 0 && errno != EINVAL && errno != EROFS) problem = systemReason();
      close(folder);
    }
  }
  AsideFile done(std::move(file));  // closes it, removing what was not renamed
  return problem;
}

void removeLeftovers(const std::string& folder, const std::string& finalName) {
  const std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
  if (!dir) return;
  while (const dirent* entry = readdir(dir.get())) {
    const std::string stands = finalNameOf(entry->d_name);
    if (!stands.empty() && (finalName.empty() || stands == finalName))
      removeIfUnlocked(inFolder(folder, entry->d_name));
  }
}

}  // namespace program
