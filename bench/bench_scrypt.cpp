// Our scrypt against libsodium's, with the parameters of every wallet file (N = 2^18,
// r = 8, p = 1, 32 bytes), in one run:
//   time   interleaved rounds; each round gives every contender one turn (two runs in
//          a row, timed apart), starting with a different one each round; the figures
//          are medians (and extremes) of the per-round ratios to libsodium.
//          Contenders: libsodium; ours as the envelope runs it (huge pages while they
//          cost less than small pages); ours with huge pages whatever they cost; ours
//          with huge pages refused (MADV_NOHUGEPAGE); for contrast, ours faulting its array
//          in on its own core (as when no core is idle).
//   memory one forked child per contender runs one derivation; its peak resident set
//          (getrusage of the child) and the most transparent huge pages it held
//          (AnonHugePages of /proc/self/smaps_rollup, sampled every millisecond).
//
//   machine what bounds the figures here: the time of one Salsa20/8 in cache, and the cost
//          of faulting in 256 MiB on small pages, on huge pages just freed by this
//          process, and on huge pages after a pause of a few seconds.
//
//   vek_bench_scrypt [--rounds N] [--core portable|SSE2|AVX2|AVX-512VL]
#include <sodium.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "scrypt.h"
#include "scrypt_core.h"

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif

namespace {

namespace tuning = vek_signer::scrypt_tuning;

constexpr std::uint64_t kN = 262144;
constexpr std::uint32_t kR = 8, kP = 1;
constexpr std::string_view kPass = "correct horse battery staple";
std::array<std::uint8_t, 32> g_salt{};

std::span<const std::uint8_t> bytes(std::string_view s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

void run_libsodium() {
  std::array<std::uint8_t, 32> key{};
  if (crypto_pwhash_scryptsalsa208sha256_ll(bytes(kPass).data(), kPass.size(), g_salt.data(), g_salt.size(), kN, kR,
                                            kP, key.data(), key.size()) != 0) {
    std::perror("libsodium scrypt");
    std::exit(1);
  }
}

void run_ours(tuning::HugePages mode) {
  std::array<std::uint8_t, 32> key{};
  tuning::set_huge_pages(mode);
  const int err = vek_signer::scrypt_derive(bytes(kPass), g_salt, kN, kR, kP, key);
  tuning::set_huge_pages(tuning::HugePages::Use);
  if (err != 0) {
    std::fprintf(stderr, "our scrypt: %s\n", std::strerror(err));
    std::exit(1);
  }
}

struct Contender {
  const char* name;
  std::function<void()> run;
};

double seconds(const std::function<void()>& fn) {
  const auto t0 = std::chrono::steady_clock::now();
  fn();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t m = v.size() / 2;
  return v.size() % 2 != 0 ? v[m] : (v[m - 1] + v[m]) / 2;
}

long anon_huge_kib() {
  std::ifstream in("/proc/self/smaps_rollup");
  std::string key;
  long value = 0;
  while (in >> key) {
    if (key == "AnonHugePages:") {
      in >> value;
      return value;
    }
    in.ignore(1 << 12, '\n');
  }
  return 0;
}

// Peak RSS of a child that runs `fn` once (nullptr: nothing), and its peak huge pages.
struct Peak {
  long rss_kib = 0;
  long huge_kib = 0;
};
Peak peak_of(const std::function<void()>* fn) {
  int pipefd[2];
  if (::pipe(pipefd) != 0) std::exit(1);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(pipefd[0]);
    std::atomic<bool> done{false};
    std::atomic<long> huge{0};
    std::thread sampler([&] {
      while (!done.load()) {
        huge = std::max(huge.load(), anon_huge_kib());
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    });
    if (fn != nullptr) (*fn)();
    done = true;
    sampler.join();
    const long h = huge.load();
    if (::write(pipefd[1], &h, sizeof h) != static_cast<ssize_t>(sizeof h)) ::_exit(1);
    ::_exit(0);
  }
  ::close(pipefd[1]);
  Peak peak;
  if (::read(pipefd[0], &peak.huge_kib, sizeof peak.huge_kib) != static_cast<ssize_t>(sizeof peak.huge_kib)) {
    std::exit(1);
  }
  ::close(pipefd[0]);
  int status = 0;
  rusage usage{};
  ::wait4(pid, &status, 0, &usage);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::exit(1);
  peak.rss_kib = usage.ru_maxrss;
  return peak;
}

// Milliseconds to map and fault in 256 MiB, 2 MiB at a time as the working array is.
double fault_in_ms(bool huge) {
  constexpr std::size_t kLen = std::size_t{256} << 20, kStep = std::size_t{2} << 20;
  void* map = ::mmap(nullptr, kLen + kStep, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (map == MAP_FAILED) std::exit(1);
  auto* base = reinterpret_cast<std::uint8_t*>((reinterpret_cast<std::uintptr_t>(map) + kStep - 1) & ~(kStep - 1));
  (void)::madvise(base, kLen, huge ? MADV_HUGEPAGE : MADV_NOHUGEPAGE);
  const double ms = seconds([&] {
                      for (std::size_t off = 0; off < kLen; off += kStep) (void)::madvise(base + off, kStep, MADV_POPULATE_WRITE);
                    }) * 1e3;
  ::munmap(map, kLen + kStep);
  return ms;
}

void machine_report() {
  alignas(64) static std::uint32_t a[32 * kR], b[32 * kR];
  for (std::uint32_t i = 0; i < 32 * kR; ++i) a[i] = i * 2654435761U;
  const auto* core = vek_signer::scrypt_core::core_code(tuning::active_core());
  constexpr int kMixes = 20000;
  std::vector<double> per_salsa;  // the fastest of three: the first often runs before the CPU is up to speed
  for (int rep = 0; rep < 3; ++rep) {
    per_salsa.push_back(seconds([&] {
                          for (int i = 0; i < kMixes; ++i) {
                            core->block_mix(a, b, kR);
                            core->block_mix(b, a, kR);
                          }
                        }) *
                        1e9 / (2 * kMixes * 2 * kR));
  }
  const double ns = *std::min_element(per_salsa.begin(), per_salsa.end());
  std::printf("this machine: AVX-512VL %s; one Salsa20/8 in cache %.1f ns, so %.0f ms of arithmetic per derivation\n",
              tuning::core_supported(tuning::SalsaCore::Avx512vl) ? "yes" : "no", ns, ns * 2 * kN * 2 * kR / 1e6);
  std::vector<double> small, warm, cold;
  for (int i = 0; i < 3; ++i) {
    small.push_back(fault_in_ms(false));
    std::this_thread::sleep_for(std::chrono::seconds(3));
    cold.push_back(fault_in_ms(true));
    warm.push_back(fault_in_ms(true));
  }
  std::printf("  fault-in of 256 MiB, median of 3: small pages %.0f ms; huge pages just freed %.0f ms;"
              " huge pages after 3 s idle %.0f ms\n",
              median(small), median(warm), median(cold));
}

// Reads --rounds and --core; false (usage printed) on anything else.
bool parse_args(int argc, char** argv, int& rounds) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--rounds" && i + 1 < argc) {
      rounds = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--core" && i + 1 < argc) {
      const std::string_view want = argv[++i];
      const auto* core = std::find_if(std::begin(tuning::kAllCores), std::end(tuning::kAllCores),
                                      [&](auto c) { return tuning::core_name(c) == want; });
      if (core == std::end(tuning::kAllCores)) {
        std::fprintf(stderr, "unknown core %s\n", argv[i]);
        return false;
      }
      if (!tuning::force_core(*core)) {
        std::fprintf(stderr, "core %s cannot run here\n", argv[i]);
        return false;
      }
    } else {
      std::fprintf(stderr, "usage: %s [--rounds N] [--core portable|SSE2|AVX2|AVX-512VL]\n", argv[0]);
      return false;
    }
  }
  return true;
}

// Memory first, from a parent that has not yet touched a large working array but has
// set up OpenSSL and libsodium (a child starts from the parent's resident set).
bool report_memory(const std::vector<Contender>& contenders) {
  {
    std::array<std::uint8_t, 32> key{};
    if (vek_signer::scrypt_derive(bytes(kPass), g_salt, 2, 1, 1, key) != 0 ||
        crypto_pwhash_scryptsalsa208sha256_ll(bytes(kPass).data(), kPass.size(), g_salt.data(), g_salt.size(), 2, 1,
                                              1, key.data(), key.size()) != 0) {
      return false;
    }
  }
  const Peak base = peak_of(nullptr);
  std::vector<Peak> peaks;
  for (const Contender& c : contenders) peaks.push_back(peak_of(&c.run));
  std::printf("peak resident set of a child running one derivation (a child that runs none: %.1f MiB):\n",
              static_cast<double>(base.rss_kib) / 1024);
  for (std::size_t i = 0; i < contenders.size(); ++i) {
    std::printf("  %-26s %7.1f MiB  (%.3f x libsodium; above the idle child %.1f MiB; huge pages held %.0f MiB)\n",
                contenders[i].name, static_cast<double>(peaks[i].rss_kib) / 1024,
                static_cast<double>(peaks[i].rss_kib) / static_cast<double>(peaks[0].rss_kib),
                static_cast<double>(peaks[i].rss_kib - base.rss_kib) / 1024,
                static_cast<double>(peaks[i].huge_kib) / 1024);
  }
  return true;
}

// Each turn runs a contender twice in a row. The first run finds memory as the
// previous contender left it; the second gets back the pages its own first run just
// freed. The two differ where the hypervisor takes back freed guest memory (free
// page reporting hands free 2 MiB blocks to the host after about two seconds, and
// touching them again costs a host fault per 4 KiB).
void report_times(const std::vector<Contender>& contenders, int rounds) {
  for (const Contender& c : contenders) c.run();  // warm-up
  constexpr const char* kRun[] = {"first run", "repeat run"};
  std::vector<std::array<std::vector<double>, 2>> times(contenders.size());
  for (int round = 0; round < rounds; ++round) {
    for (std::size_t k = 0; k < contenders.size(); ++k) {
      const std::size_t i = (static_cast<std::size_t>(round) + k) % contenders.size();
      for (auto& t : times[i]) t.push_back(seconds(contenders[i].run));
    }
  }
  for (std::size_t run = 0; run < 2; ++run) {
    std::printf("%s of each turn, median of %d interleaved rounds (min, max):\n", kRun[run], rounds);
    for (std::size_t i = 0; i < contenders.size(); ++i) {
      const auto& t = times[i][run];
      std::printf("  %-26s %7.1f ms  (%.1f, %.1f)\n", contenders[i].name, median(t) * 1e3,
                  *std::min_element(t.begin(), t.end()) * 1e3, *std::max_element(t.begin(), t.end()) * 1e3);
    }
    std::printf("  per-round ratio to libsodium, median (min, max):\n");
    for (std::size_t i = 1; i < contenders.size(); ++i) {
      std::vector<double> ratios;
      for (std::size_t k = 0; k < times[i][run].size(); ++k) ratios.push_back(times[i][run][k] / times[0][run][k]);
      std::printf("    %-24s %.3f  (%.3f, %.3f)  target %s\n", contenders[i].name, median(ratios),
                  *std::min_element(ratios.begin(), ratios.end()), *std::max_element(ratios.begin(), ratios.end()),
                  i == 3 ? "<= 1.00" : i == 4 ? "none (contrast)" : "<= 0.80");
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = 9;
  if (!parse_args(argc, argv, rounds)) return 2;
  if (sodium_init() < 0) return 1;
  for (std::size_t i = 0; i < g_salt.size(); ++i) g_salt[i] = static_cast<std::uint8_t>(i);

  const std::vector<Contender> contenders = {
      {"libsodium", run_libsodium},
      {"ours (default)", [] { run_ours(tuning::HugePages::Use); }},
      {"ours, huge pages always", [] { run_ours(tuning::HugePages::Always); }},
      {"ours, huge pages refused", [] { run_ours(tuning::HugePages::Refuse); }},
      {"ours, no helper thread", [] {
         tuning::set_background_prefault(false);
         run_ours(tuning::HugePages::Use);
         tuning::set_background_prefault(true);
       }},
  };
  std::printf("scrypt N=2^18 r=8 p=1 dkLen=32, Salsa20/8 core: %s, %d rounds\n",
              std::string(tuning::core_name(tuning::active_core())).c_str(), rounds);
  machine_report();
  if (!report_memory(contenders)) return 1;
  report_times(contenders, rounds);
  return 0;
}
