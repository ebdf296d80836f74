// loadScan: a scan as stored, 8 bits per sample with 1 or 3 channels.
// The library scales 16-bit samples to 8 bits; an alpha channel is dropped
// here, and the first page stands for a multi-page file.
//
// Only a regular file is ever opened, and it is opened without waiting: a
// FIFO, socket, device or folder named like a scan fails to load instead of
// stopping the run on an open or a read that never returns. The library then
// reads the file through the descriptor opened here (/proc/self/fd), so the
// entry cannot be swapped for something else between the check and the read.
//
// A scan that does not load says why: it cannot be opened, it is not a
// regular file, the library does not decode it, it is larger than the
// library accepts, or memory ran out (then it is not the file's fault).
//
// The raster is taken as the scanner stored it. The library's TIFF decoder
// turns a raster by its orientation tag even when asked not to, and a turned
// scan would be cropped and cut across the strip, so a TIFF whose first
// directory carries an orientation other than "top left" is decoded from a
// copy in which that tag reads "top left".

#include "scan_loading.hpp"

#include "messages.hpp"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <iostream>
#include <sstream>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <vector>

namespace shared {
namespace {

constexpr int kLoadFlags = cv::IMREAD_ANYCOLOR | cv::IMREAD_IGNORE_ORIENTATION;
constexpr std::uint16_t kWidthTag = 256, kHeightTag = 257, kBitsTag = 258, kSamplesTag = 277;
constexpr std::uint16_t kOrientationTag = 274;
constexpr std::uint16_t kShortType = 3, kLongType = 4;
constexpr std::uint16_t kTopLeft = 1;
constexpr const char* kOutOfMemory = "memory ran out while decoding it (the file itself may be sound)";

struct Descriptor {
  int fd = -1;
  ~Descriptor() {
    if (fd >= 0) close(fd);
  }
};

const char* kindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  return "not a regular file";
}

// What the first directory of a classic TIFF says, as far as loading cares.
struct TiffFacts {
  std::uint64_t orientationAt = 0;  // offset of a turned orientation value; 0 when "top left" or absent
  std::uint64_t width = 0, height = 0, samples = 1, bits = 8;
};

struct TiffReader {
  int fd;
  bool bigEndian;

  bool read(std::uint64_t at, unsigned char* out, size_t n) const {
    return pread(fd, out, n, static_cast<off_t>(at)) == static_cast<ssize_t>(n);
  }
  std::uint32_t value(const unsigned char* b, size_t n) const {
    std::uint32_t v = 0;
    for (size_t i = 0; i < n; ++i) v |= static_cast<std::uint32_t>(b[bigEndian ? i : n - 1 - i]) << (8 * (n - 1 - i));
    return v;
  }
  // An entry's single value, SHORT or LONG, stored in the entry itself.
  std::uint32_t entryValue(const unsigned char* entry) const {
    return value(entry + 8, value(entry + 2, 2) == kShortType ? 2 : 4);
  }
};

std::optional<TiffFacts> tiffFacts(int fd) {
  unsigned char header[8];
  if (pread(fd, header, 8, 0) != 8) return std::nullopt;
  const bool little = header[0] == 'I' && header[1] == 'I', big = header[0] == 'M' && header[1] == 'M';
  if (!little && !big) return std::nullopt;
  const TiffReader tiff{fd, big};
  if (tiff.value(header + 2, 2) != 42) return std::nullopt;  // not a classic TIFF
  const std::uint64_t directory = tiff.value(header + 4, 4);
  unsigned char count[2];
  if (!tiff.read(directory, count, 2)) return std::nullopt;
  TiffFacts facts;
  const std::uint32_t entries = tiff.value(count, 2);
  for (std::uint32_t i = 0; i < entries; ++i) {
    unsigned char entry[12];
    const std::uint64_t at = directory + 2 + 12ull * i;
    if (!tiff.read(at, entry, 12)) break;
    const std::uint32_t tag = tiff.value(entry, 2), type = tiff.value(entry + 2, 2);
    if (type != kShortType && type != kLongType) continue;
    switch (tag) {
      case kWidthTag: facts.width = tiff.entryValue(entry); break;
      case kHeightTag: facts.height = tiff.entryValue(entry); break;
      case kSamplesTag: facts.samples = tiff.entryValue(entry); break;
      case kBitsTag:
        if (tiff.value(entry + 4, 4) == 1) facts.bits = tiff.entryValue(entry);
        break;
      case kOrientationTag:
        if (type == kShortType && tiff.value(entry + 8, 2) != kTopLeft) facts.orientationAt = at + 8;
        break;
      default: break;
    }
  }
  return facts;
}

bool readAll(int fd, std::vector<unsigned char>& bytes) {
  struct stat info {};
  if (fstat(fd, &info) != 0) return false;
  bytes.resize(static_cast<size_t>(info.st_size));
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = pread(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

cv::Mat decodeAsStored(int fd, std::uint64_t orientationAt) {
  std::vector<unsigned char> bytes;
  if (!readAll(fd, bytes) || orientationAt + 2 > bytes.size()) return {};
  const bool big = bytes[0] == 'M';
  bytes[orientationAt + (big ? 1 : 0)] = kTopLeft;
  bytes[orientationAt + (big ? 0 : 1)] = 0;
  return cv::imdecode(bytes, kLoadFlags);
}

// Whether memory for about twice the decoded raster can be had now; a
// decode that failed for want of it says so nowhere else.
bool memoryShortFor(const TiffFacts& facts) {
  const std::uint64_t bytesPerSample = facts.bits > 8 ? 2 : 1;
  const long double need = 2.0L * facts.width * facts.height * facts.samples * bytesPerSample;
  if (need <= 0 || need > static_cast<long double>(SIZE_MAX)) return false;
  void* volatile trial = std::malloc(static_cast<size_t>(need));
  const bool short_ = trial == nullptr;
  std::free(trial);
  return short_;
}

// The library's decoder reports a failure it catches itself on std::cerr (a
// line naming the descriptor's path): taken here instead, as the reason.
// Only the thread that loads writes to std::cerr meanwhile; the programs'
// own messages go through C's stderr.
struct LibraryReport {
  std::ostringstream text;
  std::streambuf* before = std::cerr.rdbuf(text.rdbuf());
  ~LibraryReport() { std::cerr.rdbuf(before); }
};

// "...: error: (-2:Unspecified error) OpenCV TIFF: failed X in function 'f'" gives "OpenCV TIFF: failed X".
std::string libraryReason(const std::string& report) {
  std::string reason = report;
  const size_t error = reason.find("error: (");
  if (error != std::string::npos) reason = reason.substr(reason.find(") ", error) + 2);
  const size_t where = reason.find(" in function");
  if (where != std::string::npos) reason.resize(where);
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == ' ')) reason.pop_back();
  return reason;
}

// Why a decode that threw or gave nothing failed.
std::string whyNotDecoded(const std::string& path, int fd, const std::exception_ptr& thrown,
                          const std::string& report) {
  if (thrown) {
    if (isOutOfMemory(thrown)) return kOutOfMemory;
    try {
      std::rethrow_exception(thrown);
    } catch (const cv::Exception& e) {
      if (e.err.find("CV_IO_MAX_IMAGE") != std::string::npos)
        return "it is larger than the image library accepts (at most 2^20 pixels a side, 2^30 in all)";
      return "the image library could not decode it: " + e.err;
    } catch (...) {
      return describeException(thrown);
    }
  }
  bool known = false;
  try {
    known = cv::haveImageReader(path);
  } catch (...) {
  }
  if (!known) return "it is not an image the library decodes";
  const std::optional<TiffFacts> facts = tiffFacts(fd);
  if (report.find("Insufficient memory") != std::string::npos || (facts && memoryShortFor(*facts)))
    return kOutOfMemory;
  const std::string reason = libraryReason(report);
  return "the image library could not decode it (a damaged or cut-short file?)" +
         (reason.empty() ? std::string() : ": " + reason);
}

// 8 bits with 1 or 3 channels, or empty.
cv::Mat asScan(cv::Mat scan) {
  if (scan.empty() || scan.dims != 2) return {};
  if (scan.depth() != CV_8U) {
    // Only reached if a decoder keeps a deeper sample; scale to 8 bits as imread does.
    cv::Mat eight;
    scan.convertTo(eight, CV_8U, scan.depth() == CV_16U ? 1.0 / 256.0 : 1.0);
    scan = eight;
  }
  switch (scan.channels()) {
    case 1:
    case 3: return scan;
    case 2: {
      cv::Mat gray;
      cv::extractChannel(scan, gray, 0);
      return gray;
    }
    case 4: {
      cv::Mat colour;
      cv::cvtColor(scan, colour, cv::COLOR_BGRA2BGR);
      return colour;
    }
    default: return {};
  }
}

// The library opens a path: this one names the descriptor already checked.
std::string pathOf(const std::string& fileName, int fd) {
  static const bool haveProc = access("/proc/self/fd", X_OK) == 0;
  return haveProc ? "/proc/self/fd/" + std::to_string(fd) : fileName;
}

}  // namespace

LoadedScan loadScan(const std::string& fileName) {
  LoadedScan loaded;
  struct stat info {};
  if (stat(fileName.c_str(), &info) != 0) {
    loaded.failure = std::string("cannot open it: ") + std::strerror(errno);
    return loaded;
  }
  if (!S_ISREG(info.st_mode)) {
    loaded.failure = std::string("it is not a regular file but ") + kindOf(info.st_mode);
    return loaded;
  }
  Descriptor file;
  file.fd = open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (file.fd < 0) {
    loaded.failure = std::string("cannot open it: ") + std::strerror(errno);
    return loaded;
  }
  if (fstat(file.fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    loaded.failure = "it is not a regular file";
    return loaded;
  }
  const std::string path = pathOf(fileName, file.fd);
  std::exception_ptr thrown;
  LibraryReport report;
  try {
    const std::optional<TiffFacts> facts = tiffFacts(file.fd);
    loaded.image = asScan(facts && facts->orientationAt ? decodeAsStored(file.fd, facts->orientationAt)
                                                        : cv::imread(path, kLoadFlags));
  } catch (...) {
    thrown = std::current_exception();
    loaded.image.release();
  }
  if (loaded.image.empty()) loaded.failure = whyNotDecoded(path, file.fd, thrown, report.text.str());
  return loaded;
}

}  // namespace shared
