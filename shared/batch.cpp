// runBatch: the scan loop every program runs. The listing is taken when the
// first scan is asked for, which is after the caller has created its video
// writers. Whatever ends the run early ends it with a status the caller
// passes on, never as a finished run: a folder that cannot be listed, a
// scan that cannot be loaded, an exception from a stage (memory running
// out, the image library failing) give 1 and say why on standard error; a
// stop signal ends the loop before the next scan. The caller's writers are
// released on the way out in every case, and its video stays playable.
//
// While one scan is handled, the next one is already being read and decoded
// on a second thread: decoding a scan takes about as long as cropping,
// cutting, scaling and encoding it, and the two no longer add up. Everything
// the run prints is still printed by this thread, in the same order.

#include "program.hpp"

#include "diagnostics.hpp"
#include "scan_input.hpp"
#include "stop_signals.hpp"

#include <cstdio>
#include <cstring>
#include <future>
#include <system_error>

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

// The load of `name` on a second thread, or none when no thread can be had
// (the scan is then loaded in its turn).
std::future<LoadedScan> loadAhead(const std::string& name) {
  try {
    return std::async(std::launch::async, loadScan, name);
  } catch (const std::system_error&) {
    return {};
  }
}

// The scan loaded ahead, or loaded now; what either threw is a load failure.
LoadedScan loadInTurn(std::future<LoadedScan>& ahead, const std::string& name) {
  try {
    return ahead.valid() ? ahead.get() : loadScan(name);
  } catch (...) {
    LoadedScan failed;
    failed.failure = describeException(std::current_exception());
    return failed;
  }
}

int listingFailed(int error) {
  std::printf("No tif file in directory");
  reportError("cannot list the scans of the current folder: %s", std::strerror(error));
  return 1;
}

}  // namespace

int runBatch(int maxScans, const ScanHandler& handle) {
  std::vector<std::string> names;
  size_t next = 0;
  std::future<LoadedScan> nextScan;  // the scan names[next] is loading, when valid
  shareOneAllocatorArena();
  for (int scanNumber = 1; scanNumber <= maxScans; ++scanNumber) {
    if (stopSignal()) return 0;  // the caller reports the stop
    if (scanNumber == 1) {
      ScanListing listing = listScans();
      if (listing.error) return listingFailed(listing.error);
      names = std::move(listing.names);
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
    LoadedScan scan = loadInTurn(nextScan, name);
    if (scan.image.empty()) {
      std::printf("Could not load image file: %s\n", name.c_str());
      reportError("cannot load the scan %s: %s", quoted(name).c_str(), scan.failure.c_str());
      return 1;
    }
    if (scanNumber < maxScans && next < names.size()) nextScan = loadAhead(names[next]);
    // Returning early waits for a load under way; its scan is dropped.
    try {
      if (const int status = handle(std::move(scan.image), name)) return status;
    } catch (...) {
      reportError("converting the scan %s failed: %s", quoted(name).c_str(),
                  describeException(std::current_exception()).c_str());
      return 1;
    }
  }
  return 0;
}

}  // namespace shared
