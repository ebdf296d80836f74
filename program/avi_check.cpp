// aviProblem: reads a finished AVI file back and checks it against what was
// appended, because the library's writer reports no write error: on a full
// disk it leaves a file cut short, or only its header, and says nothing.
//
// A whole file is a chain of RIFF chunks that ends exactly at the end of the
// file, each chunk inside its parent. Its frames are the video chunks
// ("##dc", "##db") of the movie lists; the main header ("avih") and the
// index ("idx1") of the first RIFF must count the same. A file past 1 GB
// goes on in "AVIX" chunks, whose frames count too; the extended header
// ("dmlh") then carries the total.
//
// The file is read through a window of one block: the walk reads chunk
// headers and the index and skips the frames' data, so a video of any
// length is checked in the same small memory.

#include "avi_check.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace program {
namespace {

// The bytes of a file, read a block at a time as they are asked for.
struct Bytes {
  static constexpr std::uint64_t kBlock = 1 << 16;
  int fd = -1;
  std::uint64_t length = 0;
  mutable std::vector<unsigned char> block;
  mutable std::uint64_t blockStart = UINT64_MAX;
  mutable bool failed = false;

  std::uint64_t size() const { return length; }
  unsigned char operator[](std::uint64_t at) const {
    if (at - blockStart >= block.size()) load(at - at % kBlock);
    return at - blockStart < block.size() ? block[at - blockStart] : 0;
  }
  void load(std::uint64_t start) const {
    block.resize(static_cast<size_t>(std::min(kBlock, length - std::min(length, start))));
    size_t done = 0;
    while (done < block.size()) {
      const ssize_t n = pread(fd, block.data() + done, block.size() - done, static_cast<off_t>(start + done));
      if (n <= 0) {
        failed = true;
        block.clear();
        break;
      }
      done += static_cast<size_t>(n);
    }
    blockStart = start;
  }
};

struct AviCounts {
  long movieFrames = 0;      // video chunks in all movie lists
  long firstRiffFrames = 0;  // of these, in the first RIFF
  long headerFrames = -1;    // the main header's total
  long extendedFrames = -1;  // the extended header's total
  long indexFrames = -1;     // video entries of the index
  int riffs = 0;
  bool cutShort = false;     // a chunk reaches past its parent or the file
};

std::uint32_t le32(const Bytes& d, std::uint64_t at) {
  return d[at] | d[at + 1] << 8 | d[at + 2] << 16 | static_cast<std::uint32_t>(d[at + 3]) << 24;
}

bool isVideoChunk(const Bytes& d, std::uint64_t at) {
  return (d[at + 2] == 'd' && (d[at + 3] == 'c' || d[at + 3] == 'b'));
}

bool idIs(const Bytes& d, std::uint64_t at, const char* id) {
  return d[at] == id[0] && d[at + 1] == id[1] && d[at + 2] == id[2] && d[at + 3] == id[3];
}

long videoIndexEntries(const Bytes& d, std::uint64_t at, std::uint32_t size) {
  long frames = 0;
  for (std::uint64_t entry = at; entry + 16 <= at + size; entry += 16) frames += isVideoChunk(d, entry);
  return frames;
}

// The chunks from `at` to `end`, a list's body; `inMovie` counts its frames.
// A chunk that reaches past `end` marks the file cut short; what of a list
// is there is still counted.
void walk(const Bytes& d, std::uint64_t at, std::uint64_t end, bool inMovie, AviCounts& counts) {
  while (at + 8 <= end) {
    const std::uint64_t size = le32(d, at + 4), body = at + 8;
    const bool whole = body + size <= end;
    if (!whole) counts.cutShort = true;
    if (idIs(d, at, "LIST") && size >= 4 && body + 4 <= end) {
      walk(d, body + 4, std::min(body + size, end), idIs(d, body, "movi"), counts);
    } else if (!whole) {
      return;
    } else if (inMovie) {
      counts.movieFrames += isVideoChunk(d, at);
    } else if (idIs(d, at, "avih") && size >= 20) {
      counts.headerFrames = le32(d, body + 16);
    } else if (idIs(d, at, "dmlh") && size >= 4) {
      counts.extendedFrames = le32(d, body);
    } else if (idIs(d, at, "idx1")) {
      counts.indexFrames = videoIndexEntries(d, body, static_cast<std::uint32_t>(size));
    }
    if (!whole) return;
    at = body + size + (size & 1);
  }
  if (at != end && at != end + 1) counts.cutShort = true;  // a chunk header broken off
}

AviCounts countFrames(const Bytes& d) {
  AviCounts counts;
  std::uint64_t at = 0;
  while (at + 12 <= d.size() && idIs(d, at, "RIFF")) {
    const std::uint64_t end = at + 8 + le32(d, at + 4);
    const bool first = counts.riffs++ == 0;
    if (!idIs(d, at + 8, first ? "AVI " : "AVIX")) break;
    walk(d, at + 12, std::min<std::uint64_t>(end, d.size()), false, counts);
    if (first) counts.firstRiffFrames = counts.movieFrames;
    if (end > d.size()) {
      counts.cutShort = true;
      return counts;
    }
    at = end + ((end - at) & 1);
  }
  if (at != d.size() || counts.riffs == 0) counts.cutShort = true;
  return counts;
}

std::string holds(long frames, long appended) {
  return "it holds " + std::to_string(frames) + " of the " + std::to_string(appended) + " frames appended";
}

}  // namespace

std::string aviProblem(const std::string& path, long framesAppended) {
  Bytes d;
  d.fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat info {};
  if (d.fd < 0 || fstat(d.fd, &info) != 0) {
    if (d.fd >= 0) close(d.fd);
    return "it cannot be read back";
  }
  d.length = static_cast<std::uint64_t>(info.st_size);
  const AviCounts counts = d.length ? countFrames(d) : AviCounts{};
  close(d.fd);
  if (d.failed) return "it cannot be read back";
  if (d.length == 0) return "it is empty";
  if (counts.cutShort) return "it is cut short (" + std::to_string(d.size()) + " bytes); " +
                              holds(counts.movieFrames, framesAppended);
  const long total = counts.riffs > 1 ? counts.extendedFrames : counts.headerFrames;
  if (counts.movieFrames != framesAppended) return holds(counts.movieFrames, framesAppended);
  if (total != framesAppended) return "its header counts " + std::to_string(total) + " of the " +
                                      std::to_string(framesAppended) + " frames appended";
  if (counts.indexFrames != counts.firstRiffFrames) return "its index is incomplete";
  return {};
}

}  // namespace program
