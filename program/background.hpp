// inBackground: runs a piece of work on a second thread, or here and now
// when no thread can be had (a process at its thread limit, memory for a
// stack running out), so that the run goes on either way, only slower.
// The loader, the video writer and the overlay pictures all go through it.
#pragma once

#include <future>
#include <memory>
#include <system_error>
#include <utility>

namespace program {

// The future of `work`'s result (or of what it threw). Like std::async's, a
// future from a second thread waits for the work when it is destroyed, so
// nothing the work refers to may go before the future does.
template <typename Work>
auto inBackground(Work work) -> std::future<decltype(work())> {
  using Result = decltype(work());
  // Shared, so that the work is still here when no thread could take it.
  const auto shared = std::make_shared<Work>(std::move(work));
  try {
    return std::async(std::launch::async, [shared] { return (*shared)(); });
  } catch (const std::system_error&) {
    std::packaged_task<Result()> task([shared] { return (*shared)(); });
    std::future<Result> done = task.get_future();
    task();
    return done;
  }
}

}  // namespace program
