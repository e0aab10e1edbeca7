// scrypt (RFC 7914) for the key encryption envelope: PBKDF2-HMAC-SHA256 from OpenSSL
// around our own ROMix, whose working array lives on transparent huge pages when the
// kernel grants them. Internal to vek_signer; the envelope in crypto.cpp is the user.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace vek_signer {

// scrypt of `password` and `salt` with cost N = `n`, block size `r` and
// parallelisation `p`, filling all of `out` (any length, empty included).
// Returns 0, or an errno value and leaves `out` unspecified:
//   EINVAL  n is not a power of two of at least 2, or r or p is zero;
//   EFBIG   r * p reaches 2^30, n is above 2^32 - 1, `out` is longer than
//           (2^32 - 1) * 32 bytes, or a length passed to OpenSSL (password, salt,
//           `out`, or PBKDF2's output of 128 * r * p bytes) does not fit in an int;
//   ENOMEM  (or mmap's own errno) the working memory (128 * r * n bytes and a little
//           more) cannot be addressed or had, or OpenSSL could not allocate.
// The refusals are those of libsodium's crypto_pwhash_scryptsalsa208sha256_ll, with
// the same errno values, except for the int limits OpenSSL adds.
//   ECANCELED  the call waited for a free core (see ScopedKdfWaitCheck in crypto.h)
//           and the thread's wait check said to stop.
// Every buffer derived from the password is wiped before return; the working array
// is unmapped. Reentrant: each call maps its own array; at most one call per usable
// core runs at a time, and while a core stays free the array is faulted in on it.
[[nodiscard]] int scrypt_derive(std::span<const std::uint8_t> password, std::span<const std::uint8_t> salt,
                                std::uint64_t n, std::uint32_t r, std::uint32_t p,
                                std::span<std::uint8_t> out) noexcept;

// Knobs for tests and benchmarks. Production code never calls them.
namespace scrypt_tuning {

// The Salsa20/8 cores, best last.
enum class SalsaCore : std::uint8_t { Portable, Sse2, Avx2, Avx512vl };
inline constexpr SalsaCore kAllCores[] = {SalsaCore::Portable, SalsaCore::Sse2, SalsaCore::Avx2,
                                          SalsaCore::Avx512vl};

[[nodiscard]] std::string_view core_name(SalsaCore core) noexcept;
// Whether this build has the core and this CPU has its instructions.
[[nodiscard]] bool core_supported(SalsaCore core) noexcept;
// Runs the core on the RFC 7914 Salsa20/8, BlockMix and ROMix examples and against
// the portable core on a block with r = 3; false when unsupported or any differs.
[[nodiscard]] bool core_self_check(SalsaCore core) noexcept;
// The core scrypt_derive uses now.
[[nodiscard]] SalsaCore active_core() noexcept;
// Makes scrypt_derive use `core` from now on, for all threads; returns false and
// changes nothing when the core is unsupported or fails its self-check.
[[nodiscard]] bool force_core(SalsaCore core) noexcept;
// Back to the automatic choice: the best supported core that passes its self-check.
void reset_core() noexcept;

// How the working array uses transparent huge pages, for later calls on all threads:
//   Use     the default: huge pages, until pre-faulting them costs more than small
//           pages would (see WorkArea in scrypt.cpp);
//   Always  huge pages throughout, whatever they cost;
//   Refuse  advised MADV_NOHUGEPAGE, as if the kernel had refused huge pages.
enum class HugePages : std::uint8_t { Use, Always, Refuse };
void set_huge_pages(HugePages mode) noexcept;

// Whether a derivation that leaves a core free has its array faulted in by a helper
// thread on that core (the default) or by itself.
void set_background_prefault(bool on) noexcept;

// How many derivations may run at once: the cores this process may run on.
[[nodiscard]] unsigned derivation_slots() noexcept;
// The most derivations that ran at once since the last call (or the start).
[[nodiscard]] unsigned take_peak_derivations() noexcept;

}  // namespace scrypt_tuning
}  // namespace vek_signer
