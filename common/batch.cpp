// runBatch: the scan loop every program runs. The listing is taken when the
// first scan is asked for, which is after the caller has created its video
// writers. A scan that cannot be loaded ends the run with status 1 so that
// a run that stopped short is never taken for a finished one; the caller's
// writers are released on the way out and its video stays playable.
//
// While one scan is handled, the next one is already being read and decoded
// on a second thread: decoding a scan takes about as long as cropping,
// cutting, scaling and encoding it, and the two no longer add up. Everything
// the run prints is still printed by this thread, in the same order.

#include "shared.hpp"

#include <cstdio>
#include <future>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace shared {
namespace {

// A scan decoded on the loading thread is freed on this one. With an
// allocator arena per thread (the C library's default) those scan-sized
// blocks stay spread over the arenas and a run held up to two scans more
// than it needed; with one arena the next scan reuses the memory.
void shareOneAllocatorArena() {
#ifdef __GLIBC__
  mallopt(M_ARENA_MAX, 1);
#endif
}

}  // namespace

int runBatch(int maxScans, const ScanHandler& handle) {
  std::vector<std::string> names;
  size_t next = 0;
  std::future<cv::Mat> nextScan;  // the scan names[next] is loading, when valid
  shareOneAllocatorArena();
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
    cv::Mat scan = nextScan.valid() ? nextScan.get() : loadScan(name);
    if (scan.empty()) {
      std::printf("Could not load image file: %s\n", name.c_str());
      return 1;
    }
    if (scanNumber < maxScans && next < names.size())
      nextScan = std::async(std::launch::async, loadScan, names[next]);
    // Returning early waits for a load under way; its scan is dropped.
    if (const int status = handle(std::move(scan), scanNumber)) return status;
  }
  return 0;
}

}  // namespace shared
