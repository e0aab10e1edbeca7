// Salsa20/8 core for AVX-512VL: one VPROLD rotates the four lanes, where SSE2 needs
// two shifts and an OR.
//
// How it was checked: it compiles here, but the development machine has no AVX-512,
// so it has not been executed there. It shares everything except rotl with the SSE2
// and AVX2 cores, which are tested bit for bit against libsodium. scrypt_test forces
// it on CPUs that have AVX-512VL (and skips, saying so, elsewhere); before first use
// scrypt.cpp runs it on the RFC 7914 Salsa20/8, BlockMix and ROMix examples and against
// the portable core, and falls back should anything differ.
#if defined(__x86_64__)

#include <immintrin.h>

#include "scrypt_core.h"

#define VEK_SCRYPT_TARGET [[gnu::target("avx512f,avx512vl")]]
#include "scrypt_salsa_simd.h"

namespace vek_signer::scrypt_core {
namespace {

struct VprolRotate {
  template <int S>
  [[gnu::always_inline]] VEK_SCRYPT_TARGET static inline __m128i rotl(__m128i v) noexcept {
    return _mm_rol_epi32(v, S);
  }
};
using Avx512vlCore = SimdCore<VprolRotate>;

}  // namespace

constinit const Core kAvx512vl = {&romix<Avx512vlCore>, &block_mix_only<Avx512vlCore>};

}  // namespace vek_signer::scrypt_core

#endif
