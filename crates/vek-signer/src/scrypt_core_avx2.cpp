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

constinit const Core kAvx2 = {&romix<SimdCore<ShiftRotate>>, &block_mix_only<SimdCore<ShiftRotate>>};

}  // namespace vek_signer::scrypt_core

#endif
