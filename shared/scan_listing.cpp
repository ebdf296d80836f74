// listScans: the entries of the current folder whose names end in ".tif",
// letter case ignored (".TIF" matches, ".tiff" does not). They come in the
// order the scanner's home platform lists them: names compared with ASCII
// letters folded to upper case, ties broken by byte order. Every matching
// entry counts, folders included; loading one of those fails later. A folder
// that cannot be read, or whose reading breaks off, is an error: a run that
// saw no scans because it could not look must not pass for an empty folder.

#include "scan_listing.hpp"

#include <dirent.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

namespace shared {
namespace {

char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool endsWithTif(const std::string& name) {
  if (name.size() < 4) return false;
  const char* tail = name.c_str() + name.size() - 4;
  return tail[0] == '.' && upper(tail[1]) == 'T' && upper(tail[2]) == 'I' && upper(tail[3]) == 'F';
}

bool listedBefore(const std::string& a, const std::string& b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const unsigned char ua = static_cast<unsigned char>(upper(a[i]));
    const unsigned char ub = static_cast<unsigned char>(upper(b[i]));
    if (ua != ub) return ua < ub;
  }
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}

}  // namespace

ScanListing listScans() {
  ScanListing listing;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir("."), closedir);
  if (!dir) {
    listing.error = errno;
    return listing;
  }
  for (;;) {
    errno = 0;
    const dirent* entry = readdir(dir.get());
    if (!entry) break;
    std::string name = entry->d_name;
    if (endsWithTif(name)) listing.names.push_back(std::move(name));
  }
  if (errno != 0) {
    listing.error = errno;
    listing.names.clear();
  }
  std::sort(listing.names.begin(), listing.names.end(), listedBefore);
  return listing;
}

}  // namespace shared
