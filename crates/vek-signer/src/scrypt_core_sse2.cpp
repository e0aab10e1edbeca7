// Salsa20/8 core with SSE2, which every x86-64 CPU has: rotation by two shifts.
//
// How it was checked: scrypt_test forces it and compares scrypt_derive bit for bit
// with libsodium's scrypt on the RFC 7914 vectors, 300 random parameter sets and 5
// sets with N = 2^18, r = 8; before first use scrypt.cpp runs it on the RFC 7914
// Salsa20/8, BlockMix and ROMix examples and against the portable core, and falls
// back to the portable core should anything differ.
#if defined(__x86_64__)

#include <emmintrin.h>

#include "scrypt_core.h"

#define VEK_SCRYPT_TARGET [[gnu::target("sse2")]]
#include "scrypt_salsa_simd.h"

namespace vek_signer::scrypt_core {

constinit const Core kSse2 = {&romix<SimdCore<ShiftRotate>>, &block_mix_only<SimdCore<ShiftRotate>>};

}  // namespace vek_signer::scrypt_core

#endif
