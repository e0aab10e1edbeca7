// Ending a call to a node early from another thread.
#pragma once

#include <atomic>
#include <chrono>
#include <optional>

namespace vek_lib {

// A flag any thread may raise once to end the calls that were given it (a send, a wait,
// a broadcast): the call kills its curl child at once and fails (broadcast.h, wait.h).
// The waits poll a descriptor that becomes readable when the flag is raised, so they
// wake at once and never spin. One token may serve several calls, in several threads,
// at the same time; it cannot be reset.
class CancelToken {
 public:
  CancelToken() noexcept;
  ~CancelToken();
  CancelToken(const CancelToken&) = delete;
  CancelToken& operator=(const CancelToken&) = delete;

  // Raises the flag and wakes every wait on it. Safe from any thread, and to repeat.
  void cancel() noexcept;
  [[nodiscard]] bool cancelled() const noexcept { return cancelled_.load(std::memory_order_acquire); }
  // A descriptor that is readable once cancel() ran (never read from), or -1 when none
  // could be made (out of descriptors): the waits then look at the flag every 50 ms.
  [[nodiscard]] int fd() const noexcept { return fd_; }

 private:
  std::atomic<bool> cancelled_{false};
  int fd_ = -1;
};

// Waits until `deadline` (none: without end) or until `cancel` (may be null) is raised,
// whichever comes first, without spinning; true when cancelled. Also ends early, with
// false, when the thread's ScopedBroadcastCheck (broadcast.h) says stop; `stopped` is
// then set. The check is asked about every 50 ms.
[[nodiscard]] bool wait_until(std::optional<std::chrono::steady_clock::time_point> deadline,
                              const CancelToken* cancel, bool* stopped = nullptr);

}  // namespace vek_lib
