// Salsa20/8 core in plain C++, for every CPU; the reference the other cores are
// checked against at first use.
//
// How it was checked: scrypt_test runs scrypt_derive with this core forced on the
// RFC 7914 scrypt vectors and against libsodium's scrypt (bit for bit) on 300 random
// parameter sets and on 5 sets with N = 2^18, r = 8; core_self_check runs it on the
// RFC 7914 Salsa20/8, BlockMix and ROMix examples.
#include <bit>
#include <cstdint>
#include <cstring>

#include "scrypt_core.h"

#define VEK_SCRYPT_TARGET
#include "scrypt_romix.h"

namespace vek_signer::scrypt_core {
namespace {

struct PortableCore {
  struct State {
    std::uint32_t w[16];  // diagonal order
  };

  static inline State load(const std::uint32_t* p) noexcept {
    State s;
    std::memcpy(s.w, p, sizeof s.w);
    return s;
  }
  static inline void xor_in(State& s, const std::uint32_t* p) noexcept {
    for (std::size_t k = 0; k < 16; ++k) s.w[k] ^= p[k];
  }
  static inline void store(std::uint32_t* p, const State& s) noexcept { std::memcpy(p, s.w, sizeof s.w); }

  static inline void salsa(State& s) noexcept {
    std::uint32_t x[16];  // natural order, as in RFC 7914 section 3
    for (std::size_t k = 0; k < 16; ++k) x[diagonal_word(k)] = s.w[k];
    const auto step = [&x](std::size_t out, std::size_t a, std::size_t b, int shift) {
      x[out] ^= std::rotl(static_cast<std::uint32_t>(x[a] + x[b]), shift);
    };
    for (int round = 0; round < 4; ++round) {
      step(4, 0, 12, 7), step(8, 4, 0, 9), step(12, 8, 4, 13), step(0, 12, 8, 18);
      step(9, 5, 1, 7), step(13, 9, 5, 9), step(1, 13, 9, 13), step(5, 1, 13, 18);
      step(14, 10, 6, 7), step(2, 14, 10, 9), step(6, 2, 14, 13), step(10, 6, 2, 18);
      step(3, 15, 11, 7), step(7, 3, 15, 9), step(11, 7, 3, 13), step(15, 11, 7, 18);
      step(1, 0, 3, 7), step(2, 1, 0, 9), step(3, 2, 1, 13), step(0, 3, 2, 18);
      step(6, 5, 4, 7), step(7, 6, 5, 9), step(4, 7, 6, 13), step(5, 4, 7, 18);
      step(11, 10, 9, 7), step(8, 11, 10, 9), step(9, 8, 11, 13), step(10, 9, 8, 18);
      step(12, 15, 14, 7), step(13, 12, 15, 9), step(14, 13, 12, 13), step(15, 14, 13, 18);
    }
    for (std::size_t k = 0; k < 16; ++k) s.w[k] += x[diagonal_word(k)];
  }

  static inline std::uint64_t integerify(const State& s) noexcept {
    return s.w[diagonal_position(0)] | (std::uint64_t{s.w[diagonal_position(1)]} << 32);
  }
};

}  // namespace

constinit const Core kPortable = {&romix<PortableCore>, &block_mix_only<PortableCore>};

}  // namespace vek_signer::scrypt_core
