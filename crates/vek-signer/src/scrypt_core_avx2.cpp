// Salsa20/8 core compiled for AVX2: the SSE2 arithmetic in three-operand VEX form,
// which spares the register copies the two-operand SSE2 form needs.
//
// How it was checked: as the SSE2 core (scrypt_core_sse2.cpp): forced in scrypt_test
// against libsodium's scrypt, and run on the RFC 7914 examples and against the
// portable core before first use, with fallback should anything differ.
#if defined(__x86_64__)

#include <immintrin.h>

#include "scrypt_core.h"

#define VEK_SCRYPT_TARGET [[gnu::target("avx2")]]
#include "scrypt_salsa_simd.h"

namespace vek_signer::scrypt_core {
namespace {

struct ShiftRotate {
  template <int S>
  [[gnu::always_inline]] VEK_SCRYPT_TARGET static inline __m128i rotl(__m128i v) noexcept {
    return _mm_or_si128(_mm_slli_epi32(v, S), _mm_srli_epi32(v, 32 - S));
  }
};
using Avx2Core = SimdCore<ShiftRotate>;

}  // namespace

constinit const Core kAvx2 = {&romix<Avx2Core>, &block_mix_only<Avx2Core>};

}  // namespace vek_signer::scrypt_core

#endif
