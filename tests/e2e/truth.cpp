#include "truth.hpp"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace e2e {

std::vector<TruthLine> readTruth(const std::string& path) {
  std::vector<TruthLine> lines;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    TruthLine t;
    if (fields >> t.file >> t.channels >> t.film >> t.cropLeft >> t.cropRight >> t.winRow >> t.winCol)
      lines.push_back(t);
  }
  return lines;
}

std::vector<int> valuesAfter(const std::string& out, const std::string& prefix) {
  std::vector<int> values;
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line))
    if (line.compare(0, prefix.size(), prefix) == 0) values.push_back(std::atoi(line.c_str() + prefix.size()));
  return values;
}

}  // namespace e2e
