#include "vek/lib/cancel.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>

#include "rpc.h"

namespace vek_lib {

CancelToken::CancelToken() noexcept : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

CancelToken::~CancelToken() {
  if (fd_ >= 0) ::close(fd_);
}

void CancelToken::cancel() noexcept {
  if (cancelled_.exchange(true, std::memory_order_acq_rel)) return;
  if (fd_ >= 0) {
    // The counter stays above zero (nothing reads it), so the descriptor stays readable
    // for every present and future wait.
    const std::uint64_t one = 1;
    (void)!::write(fd_, &one, sizeof one);
  }
}

bool wait_until(std::optional<std::chrono::steady_clock::time_point> deadline, const CancelToken* cancel,
                bool* stopped) {
  using std::chrono::steady_clock;
  constexpr int kCheckMs = 50;
  const ScopedBroadcastCheck::Check check = current_broadcast_check();
  const int fd = cancel != nullptr ? cancel->fd() : -1;
  for (;;) {
    if (cancel != nullptr && cancel->cancelled()) return true;
    if (check != nullptr && !check()) {
      if (stopped != nullptr) *stopped = true;
      return false;
    }
    int ms = -1;
    if (deadline) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - steady_clock::now()).count();
      if (left <= 0) return false;
      ms = static_cast<int>(std::min<std::int64_t>(left, 60'000));
    }
    // Without a descriptor to poll (or with a check to ask), the flag and the check are
    // looked at every interval.
    if (check != nullptr || (cancel != nullptr && fd < 0)) ms = ms < 0 ? kCheckMs : std::min(ms, kCheckMs);
    pollfd p{fd, POLLIN, 0};
    (void)::poll(&p, fd >= 0 ? 1 : 0, ms);
  }
}

}  // namespace vek_lib
