// SecretBytes: wiped over its whole capacity on release, locked while alive, and
// only a warning when the system refuses the lock. Signing a message leaves no copy of
// the message in freed memory.
#include <gtest/gtest.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "bitcoin/signer.h"
#include "cosmos/signer.h"
#include "evm/signer.h"
#include "tron/signer.h"
#include "vek/signer/zeroizing.h"

// An instrumented allocator: when the watched block is freed, record whether every
// byte of it was zero at that moment; while searching, count the freed blocks that
// still hold the marker text.
namespace {
std::atomic<void*> g_watched{nullptr};
std::atomic<int> g_watched_frees{0};
std::atomic<bool> g_all_zero{false};
std::atomic<std::size_t> g_watched_size{0};
constexpr std::string_view kMarker = "confidential-note-5c1d";
std::atomic<bool> g_searching{false};
std::atomic<int> g_marker_frees{0};

void inspect(void* p) noexcept {
  if (p != nullptr && g_searching.load() &&
      std::string_view(static_cast<const char*>(p), ::malloc_usable_size(p)).find(kMarker) != std::string_view::npos) {
    ++g_marker_frees;
  }
  if (p != nullptr && p == g_watched.load()) {
    const auto* b = static_cast<const unsigned char*>(p);
    bool zero = true;
    for (std::size_t i = 0; i < g_watched_size.load(); ++i) zero = zero && b[i] == 0;
    g_all_zero = zero;
    ++g_watched_frees;
  }
}
}  // namespace

// The replaced operators pair malloc with free, which GCC cannot see across the
// replacement boundary.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t n) {
  if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  inspect(p);
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  inspect(p);
  std::free(p);
}

using vek_signer::SecretBytes;

TEST(SecretBytes, DestructionZeroesWholeCapacity) {
  std::vector<std::uint8_t> buf;
  buf.reserve(96);
  buf.assign(64, 0xAB);
  // Bytes beyond the length, as a longer earlier content would leave them.
  std::memset(buf.data() + 64, 0xCD, 32);
  g_watched = buf.data();
  g_watched_size = 96;
  g_watched_frees = 0;
  {
    SecretBytes s(std::move(buf));
    ASSERT_EQ(s.size(), 64u);
    EXPECT_EQ(s.data()[0], 0xAB);
  }
  EXPECT_EQ(g_watched_frees.load(), 1);
  EXPECT_TRUE(g_all_zero.load());
  g_watched = nullptr;
}

TEST(SecretBytes, MoveTransfersOwnershipWithoutCopy) {
  const std::uint8_t bytes[32] = {1, 2, 3};
  SecretBytes a = SecretBytes::from_slice(bytes);
  const std::uint8_t* where = a.data();
  g_watched = const_cast<std::uint8_t*>(where);
  g_watched_size = 32;
  g_watched_frees = 0;
  SecretBytes b(std::move(a));
  EXPECT_EQ(b.data(), where);
  EXPECT_TRUE(a.empty());
  SecretBytes c;
  c = std::move(b);
  EXPECT_EQ(c.data(), where);
  EXPECT_EQ(g_watched_frees.load(), 0);
  c = SecretBytes();
  EXPECT_EQ(g_watched_frees.load(), 1);
  EXPECT_TRUE(g_all_zero.load());
  g_watched = nullptr;
}

TEST(SecretBytes, EmptyInputAllocatesNothing) {
  SecretBytes s = SecretBytes::from_slice({});
  EXPECT_TRUE(s.empty());
  EXPECT_EQ(s.data(), nullptr);
}

// Runs `body` in a child whose locked-memory limit is zero and which has no privilege
// to exceed it; returns what the child wrote to standard error.
static std::string stderr_of_unprivileged_child(void (*body)()) {
  int fds[2];
  if (pipe(fds) != 0) return "pipe failed";
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], STDERR_FILENO);
    close(fds[0]);
    rlimit zero{0, 0};
    if (setrlimit(RLIMIT_MEMLOCK, &zero) != 0) _exit(10);
    // Root may lock regardless of the limit; drop to an unprivileged user.
    if (getuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(11);
    body();
    _exit(0);
  }
  close(fds[1]);
  std::string out;
  char buf[512];
  ssize_t n;
  while ((n = read(fds[0], buf, sizeof buf)) > 0) out.append(buf, static_cast<std::size_t>(n));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "child failed with status " + std::to_string(status);
  return out;
}

TEST(SecretBytes, RefusedLockWarnsOnceAndCarriesOn) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer replaces mlock with a call that always succeeds";
#endif
  const std::string err = stderr_of_unprivileged_child([] {
    const std::uint8_t key[32] = {7, 7, 7};
    SecretBytes s = SecretBytes::from_slice(key);
    if (s.size() != 32 || s.data()[0] != 7 || s.data()[1] != 7) _exit(12);
  });
  const std::string expected = std::string("warning: mlock failed (") + std::strerror(EPERM) + " (os error " +
                               std::to_string(EPERM) + ")), key material may be swapped to disk\n";
  EXPECT_EQ(err, expected);
}

TEST(SecretBytes, EmptyBufferNeverLocks) {
  EXPECT_EQ(stderr_of_unprivileged_child([] { SecretBytes s = SecretBytes::from_slice({}); }), "");
}

TEST(MessageWipe, NoSignerLeavesTheMessageInFreedMemory) {
  const std::vector<std::uint8_t> key(32, 0x11);
  const vek_signer::EvmSigner evm;
  const vek_signer::TronSigner tron;
  const vek_signer::BitcoinSigner bitcoin("bc");
  const vek_signer::CosmosSigner cosmos("cosmos");
  // 176 and 440 bytes: Bitcoin's length prefix is one byte, then three.
  for (const std::size_t repeats : {std::size_t{8}, std::size_t{20}}) {
    std::vector<std::uint8_t> message;
    message.reserve(repeats * kMarker.size());
    for (std::size_t i = 0; i < repeats; ++i) message.insert(message.end(), kMarker.begin(), kMarker.end());
    for (const vek_signer::ChainSigner* signer :
         std::initializer_list<const vek_signer::ChainSigner*>{&evm, &tron, &bitcoin, &cosmos}) {
      g_marker_frees = 0;
      g_searching = true;
      const auto out = signer->sign_message(key, message);
      g_searching = false;
      ASSERT_TRUE(out.has_value()) << out.error().display();
      EXPECT_EQ(g_marker_frees.load(), 0) << vek_core::chain_type_name(signer->chain_type()) << ", "
                                          << message.size() << " bytes";
    }
  }
}

// The kernel's flags for the mapping that holds `p` ("lo": locked, "dd": left out of core
// dumps), from /proc/self/smaps.
static std::string vm_flags(const void* p) {
  std::FILE* f = std::fopen("/proc/self/smaps", "r");
  if (f == nullptr) return "no smaps";
  const auto addr = reinterpret_cast<std::uintptr_t>(p);
  char line[512];
  bool inside = false;
  std::string flags = "not mapped";
  while (std::fgets(line, sizeof line, f) != nullptr) {
    unsigned long start = 0, end = 0;
    if (std::sscanf(line, "%lx-%lx ", &start, &end) == 2) {
      inside = start <= addr && addr < end;
    } else if (inside && std::strncmp(line, "VmFlags:", 8) == 0) {
      flags = line + 8;
      break;
    }
  }
  std::fclose(f);
  return flags;
}

static bool has_flag(const std::string& flags, const char* flag) {
  return flags.find(std::string(" ") + flag + " ") != std::string::npos ||
         flags.find(std::string(" ") + flag + "\n") != std::string::npos;
}

// mlock and MADV_DONTDUMP are per page and not counted: releasing one secret must not
// unlock, or make dumpable, a page another live secret still uses.
TEST(SecretBytes, PageSharedWithALiveSecretStaysLockedAndUndumped) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer replaces mlock with a call that always succeeds";
#endif
  const std::uint8_t key[32] = {9, 9, 9};
  const auto page_size = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  const auto page = [page_size](const SecretBytes& s) {
    return reinterpret_cast<std::uintptr_t>(s.data()) / page_size;
  };
  std::vector<SecretBytes> held;
  for (int i = 0; i < 64; ++i) held.push_back(SecretBytes::from_slice(key));
  std::size_t j = 1;
  while (j < held.size() && page(held[j]) != page(held[j - 1])) ++j;
  ASSERT_LT(j, held.size()) << "no two small buffers on one page";
  SecretBytes other = std::move(held[j]);
  if (!has_flag(vm_flags(other.data()), "lo")) GTEST_SKIP() << "memory cannot be locked here";
  EXPECT_TRUE(has_flag(vm_flags(other.data()), "dd"));

  held.clear();
  EXPECT_TRUE(has_flag(vm_flags(other.data()), "lo")) << vm_flags(other.data());
  EXPECT_TRUE(has_flag(vm_flags(other.data()), "dd")) << vm_flags(other.data());
  const void* where = other.data();
  other = SecretBytes();
  EXPECT_FALSE(has_flag(vm_flags(where), "lo")) << vm_flags(where);
  EXPECT_FALSE(has_flag(vm_flags(where), "dd")) << vm_flags(where);
}
