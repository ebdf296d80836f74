// runBatch: the scan loop every program runs. The listing is taken when the
// first scan is asked for, which is after the caller has created its video
// writers. A scan that cannot be loaded ends the run with status 1 so that
// a run that stopped short is never taken for a finished one; the caller's
// writers are released on the way out and its video stays playable.

#include "shared.hpp"

#include <cstdio>

namespace shared {

int runBatch(int maxScans, const ScanHandler& handle) {
  std::vector<std::string> names;
  size_t next = 0;
  for (int scanNumber = 1; scanNumber <= maxScans; ++scanNumber) {
    if (scanNumber == 1) {
      names = listScans();
      if (names.empty()) {
        std::printf("No tif file in directory");
        return 0;
      }
    } else if (next >= names.size()) {
      std::printf("No tif file");
      return 0;
    }
    const std::string& name = names[next++];
    std::printf("%-12s\n", name.c_str());
    cv::Mat scan = loadScan(name);
    if (scan.empty()) {
      std::printf("Could not load image file: %s\n", name.c_str());
      return 1;
    }
    if (const int status = handle(std::move(scan), scanNumber)) return status;
  }
  return 0;
}

}  // namespace shared
