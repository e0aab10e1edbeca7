// The Salsa20/8 cores behind scrypt_derive, one file per instruction set:
// scrypt_core_portable.cpp, scrypt_core_sse2.cpp, scrypt_core_avx2.cpp and
// scrypt_core_avx512vl.cpp. scrypt.cpp picks one at run time.
//
// Word order. A block of scrypt is 2r Salsa20 blocks of 16 little-endian 32-bit words.
// The cores keep every Salsa20 block in diagonal order: position k holds word
// (5 * k) mod 16, so that the four diagonals x0 x5 x10 x15, x4 x9 x14 x3, x8 x13 x2 x7
// and x12 x1 x6 x11 are the four rows a 128-bit register loads. XOR and addition work
// word by word, so BlockMix and ROMix are unchanged by the order; scrypt.cpp converts
// on the way in and out. All pointers are 64-byte aligned.
#pragma once

#include <cstddef>
#include <cstdint>

#include "scrypt.h"

namespace vek_signer::scrypt_core {

// Position of Salsa20 word i in diagonal order, and the word at position k.
constexpr std::size_t diagonal_position(std::size_t i) noexcept { return (13 * i) % 16; }
constexpr std::size_t diagonal_word(std::size_t k) noexcept { return (5 * k) % 16; }

// ROMix. On entry v[0, 32r) holds the input block; on return x[0, 32r) holds the
// output. v has room for n blocks (32 * r * n words), y is a second block of scratch.
// n is a power of two of at least 2.
using RomixFn = void (*)(std::uint32_t* v, std::uint32_t* x, std::uint32_t* y, std::uint64_t n,
                         std::uint32_t r) noexcept;
// BlockMix of `in` into `out` (separate blocks of 32r words); for the first-use check.
using BlockMixFn = void (*)(const std::uint32_t* in, std::uint32_t* out, std::uint32_t r) noexcept;

struct Core {
  RomixFn romix;
  BlockMixFn block_mix;
};

extern const Core kPortable;
#if defined(__x86_64__)
extern const Core kSse2;
extern const Core kAvx2;
extern const Core kAvx512vl;
#endif

// The code of `core` in this build, or nullptr where the build has none (whether the
// CPU can run it is scrypt_tuning::core_supported's answer).
[[nodiscard]] const Core* core_code(scrypt_tuning::SalsaCore core) noexcept;

}  // namespace vek_signer::scrypt_core
