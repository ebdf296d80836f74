// listScans: the entries of the current folder whose names end in ".tif",
// letter case ignored (".TIF" matches, ".tiff" does not). They come in the
// order the scanner's home platform lists them: names compared with ASCII
// letters folded to upper case, ties broken by byte order. Every matching
// entry counts, folders included; loading one of those fails later.

#include "shared.hpp"

#include <dirent.h>

#include <algorithm>
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

std::vector<std::string> listScans() {
  std::vector<std::string> names;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir("."), closedir);
  if (!dir) return names;
  while (const dirent* entry = readdir(dir.get())) {
    std::string name = entry->d_name;
    if (endsWithTif(name)) names.push_back(std::move(name));
  }
  std::sort(names.begin(), names.end(), listedBefore);
  return names;
}

}  // namespace shared
