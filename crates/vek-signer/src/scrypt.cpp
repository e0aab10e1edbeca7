#include "scrypt.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <pthread.h>
#include <sched.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>

#include "scrypt_core.h"
#include "vek/signer/crypto.h"
#include "vek/signer/zeroizing.h"

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23  // Linux 5.14; older kernels answer EINVAL
#endif

namespace vek_signer {
namespace {

using scrypt_core::Core;
using scrypt_core::core_code;
using scrypt_tuning::SalsaCore;

// ---------------------------------------------------------------------------------
// Word order (scrypt_core.h): little-endian bytes of `blocks` Salsa20 blocks to words
// in diagonal order, and back.

void to_diagonal(const std::uint8_t* in, std::uint32_t* out, std::size_t blocks) noexcept {
  for (std::size_t blk = 0; blk < blocks; ++blk) {
    for (std::size_t k = 0; k < 16; ++k) {
      const std::uint8_t* b = in + 64 * blk + 4 * scrypt_core::diagonal_word(k);
      out[16 * blk + k] = std::uint32_t{b[0]} | std::uint32_t{b[1]} << 8 | std::uint32_t{b[2]} << 16 |
                          std::uint32_t{b[3]} << 24;
    }
  }
}

void from_diagonal(const std::uint32_t* in, std::uint8_t* out, std::size_t blocks) noexcept {
  for (std::size_t blk = 0; blk < blocks; ++blk) {
    for (std::size_t k = 0; k < 16; ++k) {
      std::uint8_t* b = out + 64 * blk + 4 * scrypt_core::diagonal_word(k);
      const std::uint32_t w = in[16 * blk + k];
      b[0] = static_cast<std::uint8_t>(w);
      b[1] = static_cast<std::uint8_t>(w >> 8);
      b[2] = static_cast<std::uint8_t>(w >> 16);
      b[3] = static_cast<std::uint8_t>(w >> 24);
    }
  }
}

// ---------------------------------------------------------------------------------
// The cores and the choice among them (core_code is at the end of this file).

bool cpu_has(SalsaCore core) noexcept {
#if defined(__x86_64__)
  __builtin_cpu_init();  // may run before libgcc's own constructor has
  switch (core) {
    case SalsaCore::Portable: return true;
    case SalsaCore::Sse2: return __builtin_cpu_supports("sse2");
    // libgcc reports these only when the OS also saves the wider registers.
    case SalsaCore::Avx2: return __builtin_cpu_supports("avx2");
    case SalsaCore::Avx512vl: return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl");
  }
  return false;
#else
  return core == SalsaCore::Portable;
#endif
}

template <std::size_t N>
struct HexBytes {
  std::uint8_t b[N] = {};
  // `hex` has 2N lower-case digits.
  explicit constexpr HexBytes(const char* hex) noexcept {
    const auto nibble = [](char c) { return static_cast<std::uint8_t>(c <= '9' ? c - '0' : c - 'a' + 10); };
    for (std::size_t i = 0; i < N; ++i) b[i] = static_cast<std::uint8_t>(nibble(hex[2 * i]) << 4 | nibble(hex[2 * i + 1]));
  }
};

// RFC 7914 sections 8, 9 and 10 (the ROMix example has N = 16, r = 1).
constexpr HexBytes<64> kSalsaIn(
    "7e879a214f3ec9867ca940e641718f26baee555b8c61c1b50df846116dcd3b1d"
    "ee24f319df9b3d8514121e4b5ac5aa3276021d2909c74829edebc68db8b8c25e");
constexpr HexBytes<64> kSalsaOut(
    "a41f859c6608cc993b81cacb020cef05044b2181a2fd337dfd7b1c6396682f29"
    "b4393168e3c9e6bcfe6bc5b7a06d96bae424cc102c91745c24ad673dc7618f81");
constexpr HexBytes<128> kMixIn(
    "f7ce0b653d2d72a4108cf5abe912ffdd777616dbbb27a70e8204f3ae2d0f6fad"
    "89f68f4811d1e87bcc3bd7400a9ffd29094f0184639574f39ae5a1315217bcd7"
    "894991447213bb226c25b54da86370fbcd984380374666bb8ffcb5bf40c254b0"
    "67d27c51ce4ad5fed829c90b505a571b7f4d1cad6a523cda770e67bceaaf7e89");
constexpr HexBytes<128> kBlockMixOut(
    "a41f859c6608cc993b81cacb020cef05044b2181a2fd337dfd7b1c6396682f29"
    "b4393168e3c9e6bcfe6bc5b7a06d96bae424cc102c91745c24ad673dc7618f81"
    "20edc975323881a80540f64c162dcd3c21077cfe5f8d5fe2b1a4168f953678b7"
    "7d3b3d803b60e4ab920996e59b4d53b65d2a225877d5edf5842cb9f14eefe425");
constexpr HexBytes<128> kRomixOut(
    "79ccc193629debca047f0b70604bf6b62ce3dd4a9626e355fafc6198e6ea2b46"
    "d58413673b99b029d665c357601fb426a0b2f4bba200ee9f0a43d19b571a9c71"
    "ef1142e65d5a266fddca832ce59faa7cac0b9cf1be2bffca300d01ee387619c4"
    "ae12fd4438f203a0e4e1c47ec314861f4e9087cb33396a6873e8f9d2539a4b8e");

// ROMix with r = 3, N = 8 over a fixed pattern, in diagonal order.
void romix_r3(const Core& core, std::uint32_t* out) noexcept {
  constexpr std::uint32_t r = 3, n = 8;
  alignas(64) std::uint32_t v[32 * r * n];
  alignas(64) std::uint32_t y[32 * r];
  for (std::uint32_t i = 0; i < 32 * r; ++i) v[i] = i * 0x9e3779b9u + 0x7f4a7c15u;
  core.romix(v, out, y, n, r);
}

bool self_check(const Core& core) noexcept {
  alignas(64) std::uint32_t in[32], out[32], v[32 * 16], y[32];
  std::uint8_t bytes[128];

  // Salsa20/8 alone: BlockMix with r = 1 of (zero block, S) starts with Salsa(S).
  std::memset(bytes, 0, 64);
  std::memcpy(bytes + 64, kSalsaIn.b, 64);
  to_diagonal(bytes, in, 2);
  core.block_mix(in, out, 1);
  from_diagonal(out, bytes, 2);
  if (std::memcmp(bytes, kSalsaOut.b, 64) != 0) return false;

  to_diagonal(kMixIn.b, in, 2);
  core.block_mix(in, out, 1);
  from_diagonal(out, bytes, 2);
  if (std::memcmp(bytes, kBlockMixOut.b, 128) != 0) return false;

  to_diagonal(kMixIn.b, v, 2);
  core.romix(v, out, y, 16, 1);
  from_diagonal(out, bytes, 2);
  if (std::memcmp(bytes, kRomixOut.b, 128) != 0) return false;

  if (&core == &scrypt_core::kPortable) return true;
  alignas(64) std::uint32_t mine[96], reference[96];
  romix_r3(core, mine);
  romix_r3(scrypt_core::kPortable, reference);
  return std::memcmp(mine, reference, sizeof mine) == 0;
}

// The best core this CPU runs that passes its self-check; the portable core otherwise.
SalsaCore choose_core() noexcept {
  for (SalsaCore c : {SalsaCore::Avx512vl, SalsaCore::Avx2, SalsaCore::Sse2}) {
    if (cpu_has(c) && core_code(c) != nullptr && self_check(*core_code(c))) return c;
  }
  return SalsaCore::Portable;
}

constexpr int kAutomatic = -1;
std::atomic<int> g_forced_core{kAutomatic};
std::atomic<scrypt_tuning::HugePages> g_huge_pages{scrypt_tuning::HugePages::Use};
std::atomic<bool> g_background{true};

SalsaCore current_core() noexcept {
  const int forced = g_forced_core.load(std::memory_order_acquire);
  if (forced != kAutomatic) return static_cast<SalsaCore>(forced);
  static const SalsaCore chosen = choose_core();
  return chosen;
}

// ---------------------------------------------------------------------------------
// Derivations at once: at most one per core this process may run on. Each holds its
// working array (256 MiB at the vault's cost) for its whole run, so more of them than
// cores would only take turns on the cores while holding more memory; the ones beyond
// wait here, without their memory, for a derivation to end.

thread_local bool (*t_keep_waiting)() = nullptr;

unsigned usable_cores() noexcept {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (::sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) return static_cast<unsigned>(CPU_COUNT(&set));
  const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
  return online > 0 ? static_cast<unsigned>(online) : 1;
}

class CoreGate {
 public:
  // Takes a core, waiting for one while all are taken. Returns whether another core
  // stays free while this derivation runs; nullopt when the thread's wait check (see
  // ScopedKdfWaitCheck) said to stop waiting.
  [[nodiscard]] std::optional<bool> enter() noexcept {
    std::unique_lock lock(mu_);
    while (running_ >= cores_) {
      // The check may run Python's signal handlers, so it is asked without the lock,
      // every 20 ms: a waiting derivation is as interruptible as a running one.
      if (cv_.wait_for(lock, std::chrono::milliseconds(20)) == std::cv_status::timeout && t_keep_waiting != nullptr) {
        lock.unlock();
        const bool keep = t_keep_waiting();
        lock.lock();
        if (!keep) return std::nullopt;
      }
    }
    ++running_;
    peak_ = std::max(peak_, running_);
    return running_ < cores_;
  }

  void leave() noexcept {
    {
      const std::lock_guard lock(mu_);
      --running_;
    }
    cv_.notify_one();
  }

  void lock_for_fork() noexcept { mu_.lock(); }
  void unlock_after_fork(bool child) noexcept {
    if (child) running_ = 0;
    mu_.unlock();
  }

  [[nodiscard]] unsigned cores() const noexcept { return cores_; }
  [[nodiscard]] unsigned take_peak() noexcept {
    const std::lock_guard lock(mu_);
    const unsigned peak = peak_;
    peak_ = running_;
    return peak;
  }

 private:
  std::mutex mu_;
  std::condition_variable cv_;
  const unsigned cores_ = usable_cores();
  unsigned running_ = 0;
  unsigned peak_ = 0;
};

CoreGate& core_gate() noexcept {
  static CoreGate gate;
  return gate;
}

// A forked child has only the thread that forked: the derivations the other threads
// were running are not its own, and their cores are free there. The gate's lock is
// held across fork so that the child never inherits it mid-change.
void gate_before_fork() noexcept { core_gate().lock_for_fork(); }
void gate_after_fork_parent() noexcept { core_gate().unlock_after_fork(false); }
void gate_after_fork_child() noexcept { core_gate().unlock_after_fork(true); }
[[maybe_unused]] const int g_gate_fork_handlers =
    ::pthread_atfork(gate_before_fork, gate_after_fork_parent, gate_after_fork_child);

// One derivation's core, held for its lifetime.
class CoreTurn {
 public:
  CoreTurn() noexcept : spare_(core_gate().enter()) {}
  CoreTurn(const CoreTurn&) = delete;
  CoreTurn& operator=(const CoreTurn&) = delete;
  ~CoreTurn() {
    if (spare_) core_gate().leave();
  }
  [[nodiscard]] bool entered() const noexcept { return spare_.has_value(); }
  [[nodiscard]] bool spare_core() const noexcept { return spare_.value_or(false); }

 private:
  std::optional<bool> spare_;
};

// ---------------------------------------------------------------------------------
// The working memory: the array V, then the blocks X and Y, then PBKDF2's output B.

constexpr std::size_t kHugePage = std::size_t{2} << 20;
// Pre-faulting and unmapping go in steps of this size (see WorkArea::prefault).
constexpr std::size_t kStep = kHugePage;

class WorkArea {
 public:
  WorkArea() = default;
  WorkArea(const WorkArea&) = delete;
  WorkArea& operator=(const WorkArea&) = delete;
  ~WorkArea() {
    if (faulter_.joinable()) {
      stop_.store(true, std::memory_order_relaxed);
      faulter_.join();
    }
    if (base_ == nullptr) return;
    // X, Y and B derive from the password; the array goes back to the kernel, which
    // clears pages before it hands them out again.
    secure_wipe(base_ + array_bytes_, scratch_bytes_);
    // In steps, like the pre-faulting: munmap holds the address-space lock for
    // writing while it frees the pages.
    for (std::size_t off = 0; off < length_; off += kStep) ::munmap(base_ + off, std::min(kStep, length_ - off));
  }

  // Maps `array_bytes` + `scratch_bytes` of zeroed memory. An array of at least one
  // huge page starts on a 2 MiB boundary and is advised onto transparent huge pages;
  // then all of it is pre-faulted: with `spare_core`, by a short-lived thread on that
  // core while the caller starts ROMix's first loop, which writes the array front to
  // back behind it; otherwise here. Advice the kernel refuses is skipped: plain pages,
  // or faults on first touch. Returns 0 or mmap's errno.
  [[nodiscard]] int map(std::size_t array_bytes, std::size_t scratch_bytes, bool spare_core) noexcept {
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    const std::size_t used = array_bytes + scratch_bytes;
    if (used > SIZE_MAX - kHugePage - page) return ENOMEM;
    length_ = (used + page - 1) / page * page;
    const bool aligned = array_bytes >= kHugePage && page < kHugePage;
    const std::size_t reserve = aligned ? length_ + kHugePage : length_;
    void* p = ::mmap(nullptr, reserve, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return errno != 0 ? errno : ENOMEM;
    auto* raw = static_cast<std::uint8_t*>(p);
    base_ = raw;
    if (aligned) {
      const auto addr = reinterpret_cast<std::uintptr_t>(raw);
      const std::size_t head = (kHugePage - addr % kHugePage) % kHugePage;
      base_ = raw + head;
      if (head != 0) ::munmap(raw, head);
      if (kHugePage - head != 0) ::munmap(base_ + length_, kHugePage - head);
    }
    array_bytes_ = array_bytes;
    scratch_bytes_ = scratch_bytes;
    (void)::madvise(base_, length_, MADV_DONTDUMP);
    const auto mode = g_huge_pages.load(std::memory_order_relaxed);
    const bool huge = aligned && mode != scrypt_tuning::HugePages::Refuse && ::madvise(base_, length_, MADV_HUGEPAGE) == 0;
    if (aligned && !huge) (void)::madvise(base_, length_, MADV_NOHUGEPAGE);
    const bool watch = huge && mode == scrypt_tuning::HugePages::Use;
    if (spare_core && array_bytes >= kMinBackground && g_background.load(std::memory_order_relaxed)) {
      try {
        faulter_ = std::thread([this, watch] { prefault(watch); });
        return 0;
      } catch (...) {
        // No thread to be had (std::system_error): fault the area in here.
      }
    }
    prefault(watch);
    return 0;
  }

  [[nodiscard]] std::uint8_t* data() const noexcept { return base_; }

 private:
  // Pre-faults the area in steps. The kernel holds the address-space lock for reading
  // through each call, and a thread that maps or unmaps memory meanwhile (another
  // derivation starting or ending, a thread being created) waits for it; in steps, two
  // derivations in one process fault their arrays in side by side instead of in turn.
  //
  // With `watch` the area is advised onto huge pages and the cost of each step to this
  // thread is watched. A huge page normally costs less than the 512 small pages it
  // replaces; under a hypervisor that has taken the memory of free 2 MiB blocks back
  // (free page reporting), each one costs 512 host faults instead, several times what
  // small pages from the guest's own fragmented free lists cost. After such a step the
  // rest of the area goes on small pages. When pre-faulting is refused (kernels before
  // 5.14), pages are faulted on first touch.
  void prefault(bool watch) const noexcept {
    // Thread CPU time per MiB above which huge pages cost more than small ones would:
    // about 0.1 ms when the host backs the memory, 3 to 5 ms when it does not; small
    // pages cost about 0.6 ms (measured under KVM on an AMD EPYC).
    constexpr double kSlowNsPerMiB = 1.0e6;
    for (std::size_t off = 0; off < length_ && !stop_.load(std::memory_order_relaxed); off += kStep) {
      const std::size_t len = std::min(kStep, length_ - off);
      const double t0 = watch ? thread_cpu_ns() : 0;
      if (::madvise(base_ + off, len, MADV_POPULATE_WRITE) != 0) return;
      const double mib = static_cast<double>(len) / double(1 << 20);
      if (watch && off + len < length_ && thread_cpu_ns() - t0 > kSlowNsPerMiB * mib) {
        (void)::madvise(base_ + off + len, length_ - off - len, MADV_NOHUGEPAGE);
        watch = false;
      }
    }
  }

  static double thread_cpu_ns() noexcept {
    timespec ts{};
    if (::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts) != 0) return 0;
    return static_cast<double>(ts.tv_sec) * 1e9 + static_cast<double>(ts.tv_nsec);
  }

  // Below this the array is faulted in faster than a thread starts.
  static constexpr std::size_t kMinBackground = std::size_t{16} << 20;

  std::uint8_t* base_ = nullptr;
  std::size_t length_ = 0;
  std::size_t array_bytes_ = 0;
  std::size_t scratch_bytes_ = 0;
  std::thread faulter_;            // pre-faulting on a spare core, joined before unmapping
  std::atomic<bool> stop_{false};  // asks it to end early (the derivation failed)
};

// PBKDF2-HMAC-SHA256 with one iteration. Lengths fit in int (checked by the caller).
[[nodiscard]] bool pbkdf2_sha256(std::span<const std::uint8_t> password, std::span<const std::uint8_t> salt,
                                 std::uint8_t* out, std::size_t out_len) noexcept {
  static const std::uint8_t kEmpty = 0;
  const std::uint8_t* s = salt.empty() ? &kEmpty : salt.data();
  const char* pw = password.empty() ? "" : reinterpret_cast<const char*>(password.data());
  if (PKCS5_PBKDF2_HMAC(pw, static_cast<int>(password.size()), s, static_cast<int>(salt.size()), 1, EVP_sha256(),
                        static_cast<int>(out_len), out) != 1) {
    ERR_clear_error();
    return false;
  }
  return true;
}

}  // namespace

int scrypt_derive(std::span<const std::uint8_t> password, std::span<const std::uint8_t> salt, std::uint64_t n,
                  std::uint32_t r, std::uint32_t p, std::span<std::uint8_t> out) noexcept {
  constexpr std::uint64_t kMaxOut = ((std::uint64_t{1} << 32) - 1) * 32;
  if (out.size() > kMaxOut) return EFBIG;
  if (std::uint64_t{r} * p >= (std::uint64_t{1} << 30)) return EFBIG;
  if (n > UINT32_MAX) return EFBIG;
  if (n < 2 || (n & (n - 1)) != 0 || r == 0 || p == 0) return EINVAL;
  if (r > SIZE_MAX / 128 / p || n > SIZE_MAX / 128 / r) return ENOMEM;
  const std::size_t block_bytes = std::size_t{128} * r;
  const std::size_t b_bytes = block_bytes * p;
  // OpenSSL takes int lengths.
  if (b_bytes > INT_MAX || out.size() > INT_MAX || password.size() > INT_MAX || salt.size() > INT_MAX) return EFBIG;
  const std::size_t array_bytes = block_bytes * static_cast<std::size_t>(n);
  if (array_bytes > SIZE_MAX - 2 * block_bytes - b_bytes) return ENOMEM;

  const CoreTurn turn;
  if (!turn.entered()) return ECANCELED;
  WorkArea area;
  if (const int err = area.map(array_bytes, 2 * block_bytes + b_bytes, turn.spare_core()); err != 0) return err;
  auto* v = reinterpret_cast<std::uint32_t*>(area.data());
  std::uint32_t* x = v + array_bytes / 4;
  std::uint32_t* y = x + block_bytes / 4;
  std::uint8_t* b = reinterpret_cast<std::uint8_t*>(y + block_bytes / 4);

  // An OpenSSL PBKDF2 failure can only be a failed allocation.
  if (!pbkdf2_sha256(password, salt, b, b_bytes)) return ENOMEM;
  const Core& core = *core_code(current_core());
  for (std::uint32_t i = 0; i < p; ++i) {
    to_diagonal(b + i * block_bytes, v, 2 * std::size_t{r});
    core.romix(v, x, y, n, r);
    from_diagonal(x, b + i * block_bytes, 2 * std::size_t{r});
  }
  if (!out.empty() && !pbkdf2_sha256(password, {b, b_bytes}, out.data(), out.size())) return ENOMEM;
  return 0;
}

namespace scrypt_tuning {

std::string_view core_name(SalsaCore core) noexcept {
  switch (core) {
    case SalsaCore::Portable: return "portable";
    case SalsaCore::Sse2: return "SSE2";
    case SalsaCore::Avx2: return "AVX2";
    case SalsaCore::Avx512vl: return "AVX-512VL";
  }
  return "?";
}

bool core_supported(SalsaCore core) noexcept { return core_code(core) != nullptr && cpu_has(core); }

bool core_self_check(SalsaCore core) noexcept { return core_supported(core) && self_check(*core_code(core)); }

SalsaCore active_core() noexcept { return current_core(); }

bool force_core(SalsaCore core) noexcept {
  if (!core_self_check(core)) return false;
  g_forced_core.store(static_cast<int>(core), std::memory_order_release);
  return true;
}

void reset_core() noexcept { g_forced_core.store(kAutomatic, std::memory_order_release); }

void set_huge_pages(HugePages mode) noexcept { g_huge_pages.store(mode, std::memory_order_relaxed); }

void set_background_prefault(bool on) noexcept { g_background.store(on, std::memory_order_relaxed); }

unsigned derivation_slots() noexcept { return core_gate().cores(); }

unsigned take_peak_derivations() noexcept { return core_gate().take_peak(); }

}  // namespace scrypt_tuning

ScopedKdfWaitCheck::ScopedKdfWaitCheck(bool (*keep_waiting)()) noexcept : previous_(t_keep_waiting) {
  t_keep_waiting = keep_waiting;
}

ScopedKdfWaitCheck::~ScopedKdfWaitCheck() { t_keep_waiting = previous_; }

}  // namespace vek_signer

namespace vek_signer::scrypt_core {

const Core* core_code(scrypt_tuning::SalsaCore core) noexcept {
  using scrypt_tuning::SalsaCore;
  switch (core) {
    case SalsaCore::Portable: return &kPortable;
#if defined(__x86_64__)
    case SalsaCore::Sse2: return &kSse2;
    case SalsaCore::Avx2: return &kAvx2;
    case SalsaCore::Avx512vl: return &kAvx512vl;
#else
    case SalsaCore::Sse2:
    case SalsaCore::Avx2:
    case SalsaCore::Avx512vl: return nullptr;
#endif
  }
  return nullptr;
}

}  // namespace vek_signer::scrypt_core
