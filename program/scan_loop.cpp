// runScanLoop: the listing is taken when the first scan is asked for, which
// is after the caller has created its video writers. Whatever ends the run
// early ends it with a status the caller passes on, never as a finished run:
// a folder that cannot be listed, a scan that cannot be loaded, an exception
// from the handler (memory running out, the image library failing) give 1
// and say why on standard error; a stop signal ends the loop before the
// next scan.
//
// While one scan is handled, the next one is already being read and decoded
// on a second thread: decoding a scan takes about as long as cropping,
// cutting, scaling and encoding it, and the two no longer add up. Everything
// the loop prints is still printed by this thread, in the same order.

#include "scan_loop.hpp"

#include "background.hpp"
#include "diagnostics.hpp"
#include "stop_signals.hpp"

#include "shared/messages.hpp"
#include "shared/scan_listing.hpp"
#include "shared/scan_loading.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <future>
#include <vector>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace program {
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

// The scan loaded ahead, or loaded now; what either threw is a load failure.
shared::LoadedScan loadInTurn(std::future<shared::LoadedScan>& ahead, const std::string& name) {
  try {
    return ahead.valid() ? ahead.get() : shared::loadScan(name);
  } catch (...) {
    shared::LoadedScan failed;
    failed.failure = shared::describeException(std::current_exception());
    return failed;
  }
}

LoopResult ended(LoopEnd end, int status = 0, int scansLeft = 0) { return {status, end, scansLeft, {}}; }

LoopResult failed(LoopEnd end, const std::string& error) {
  reportError("%s", error.c_str());
  return {1, end, 0, error};
}

}  // namespace

LoopResult runScanLoop(int maxScans, const ScanLoopHandlers& handlers) {
  std::vector<std::string> names;
  size_t next = 0;
  std::future<shared::LoadedScan> nextScan;  // the scan names[next] is loading, when valid
  shareOneAllocatorArena();
  for (int scanNumber = 1;; ++scanNumber) {
    if (scanNumber > maxScans) return ended(LoopEnd::Limit, 0, static_cast<int>(names.size() - next));
    if (stopSignal()) return ended(LoopEnd::Stopped);  // the caller reports the stop
    if (scanNumber == 1) {
      shared::ScanListing listing = shared::listScans();
      if (listing.error) {
        std::printf("No tif file in directory");
        return failed(LoopEnd::ListingFailed,
                      std::string("cannot list the scans of the current folder: ") + std::strerror(listing.error));
      }
      names = std::move(listing.names);
      if (names.empty()) {
        std::printf("No tif file in directory");
        return ended(LoopEnd::NoScans);
      }
    } else if (next >= names.size()) {
      std::printf("No tif file");
      return ended(LoopEnd::ListingDone);
    }
    const ScanPlace place{scanNumber, static_cast<int>(std::min<size_t>(names.size(), maxScans))};
    if (handlers.starting) handlers.starting(place);
    const std::string& name = names[next++];
    std::printf("%-12s\n", name.c_str());
    shared::LoadedScan scan = loadInTurn(nextScan, name);
    if (scan.image.empty()) {
      std::printf("Could not load image file: %s\n", name.c_str());
      const LoopResult result =
          failed(LoopEnd::NotLoaded, "cannot load the scan " + shared::quotedName(name) + ": " + scan.failure);
      handlers.notLoaded(name, scan.failure);
      return result;
    }
    if (scanNumber < maxScans && next < names.size())
      nextScan = inBackground([ahead = names[next]] { return shared::loadScan(ahead); });
    // Returning early waits for a load under way; its scan is dropped.
    try {
      if (const int status = handlers.convert(std::move(scan.image), name, place))
        return ended(LoopEnd::Handler, status);
    } catch (...) {
      return failed(LoopEnd::Failed, "converting the scan " + shared::quotedName(name) +
                                         " failed: " + shared::describeException(std::current_exception()));
    }
  }
}

}  // namespace program
