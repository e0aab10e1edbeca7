// The Salsa20/8 core on four 128-bit registers, one diagonal each (the word order of
// scrypt_core.h), for the SSE2, AVX2 and AVX-512VL files. `Rot` supplies the rotation:
//   template <int S> static __m128i rotl(__m128i v)   each 32-bit lane rotated left by S
// The including file defines VEK_SCRYPT_TARGET first (see scrypt_romix.h).
#pragma once

#include <emmintrin.h>

#include <cstdint>

#include "scrypt_romix.h"

namespace vek_signer::scrypt_core {
namespace {

// Rotation by two shifts and an or: what SSE2 and AVX2 have (AVX-512VL has a rotate).
struct ShiftRotate {
  template <int S>
  [[gnu::always_inline]] VEK_SCRYPT_TARGET static inline __m128i rotl(__m128i v) noexcept {
    return _mm_or_si128(_mm_slli_epi32(v, S), _mm_srli_epi32(v, 32 - S));
  }
};

template <class Rot>
struct SimdCore {
  // a = x0 x5 x10 x15, b = x4 x9 x14 x3, c = x8 x13 x2 x7, d = x12 x1 x6 x11.
  struct State {
    __m128i a, b, c, d;
  };

  [[gnu::always_inline]] VEK_SCRYPT_TARGET static inline State load(const std::uint32_t* p) noexcept {
    const auto* q = reinterpret_cast<const __m128i*>(p);
    return {_mm_load_si128(q), _mm_load_si128(q + 1), _mm_load_si128(q + 2), _mm_load_si128(q + 3)};
  }

  [[gnu::always_inline]] VEK_SCRYPT_TARGET static inline void xor_in(State& s, const std::uint32_t* p) noexcept {
    const auto* q = reinterpret_cast<const __m128i*>(p);
    s.a = _mm_xor_si128(s.a, _mm_load_si128(q));
    s.b = _mm_xor_si128(s.b, _mm_load_si128(q + 1));
    s.c = _mm_xor_si128(s.c, _mm_load_si128(q + 2));
    s.d = _mm_xor_si128(s.d, _mm_load_si128(q + 3));
  }

  [[gnu::always_inline]] VEK_SCRYPT_TARGET static inline void store(std::uint32_t* p, const State& s) noexcept {
    auto* q = reinterpret_cast<__m128i*>(p);
    _mm_store_si128(q, s.a);
    _mm_store_si128(q + 1, s.b);
    _mm_store_si128(q + 2, s.c);
    _mm_store_si128(q + 3, s.d);
  }

  // out ^= (in1 + in2) <<< S, four quarter-round steps at once.
  template <int S>
  [[gnu::always_inline]] VEK_SCRYPT_TARGET static inline void arx(__m128i& out, __m128i in1, __m128i in2) noexcept {
    out = _mm_xor_si128(out, Rot::template rotl<S>(_mm_add_epi32(in1, in2)));
  }

  [[gnu::always_inline]] VEK_SCRYPT_TARGET static inline void salsa(State& s) noexcept {
    __m128i a = s.a, b = s.b, c = s.c, d = s.d;
#pragma GCC unroll 4
    for (int round = 0; round < 4; ++round) {
      // Columns: x4 ^= (x0 + x12) <<< 7 and so on, one column per lane.
      arx<7>(b, a, d);
      arx<9>(c, b, a);
      arx<13>(d, c, b);
      arx<18>(a, d, c);
      // Rows: turn b, c, d so that each lane holds one row (b = x3 x4 x9 x14,
      // c = x2 x7 x8 x13, d = x1 x6 x11 x12), then the same steps in row order.
      b = _mm_shuffle_epi32(b, 0x93);
      c = _mm_shuffle_epi32(c, 0x4e);
      d = _mm_shuffle_epi32(d, 0x39);
      arx<7>(d, a, b);
      arx<9>(c, d, a);
      arx<13>(b, c, d);
      arx<18>(a, b, c);
      b = _mm_shuffle_epi32(b, 0x39);
      c = _mm_shuffle_epi32(c, 0x4e);
      d = _mm_shuffle_epi32(d, 0x93);
    }
    s.a = _mm_add_epi32(s.a, a);
    s.b = _mm_add_epi32(s.b, b);
    s.c = _mm_add_epi32(s.c, c);
    s.d = _mm_add_epi32(s.d, d);
  }

  [[gnu::always_inline]] VEK_SCRYPT_TARGET static inline std::uint64_t integerify(const State& s) noexcept {
    const auto x0 = static_cast<std::uint32_t>(_mm_cvtsi128_si32(s.a));
    const auto x1 = static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_shuffle_epi32(s.d, 0x01)));
    return x0 | (std::uint64_t{x1} << 32);
  }
};

}  // namespace
}  // namespace vek_signer::scrypt_core
