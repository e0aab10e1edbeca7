// BlockMix and ROMix (RFC 7914 sections 4 and 5) over a Salsa20/8 core. Each core file
// defines VEK_SCRYPT_TARGET (its [[gnu::target(...)]] attribute, or nothing) and includes this header
// after all others; everything here has internal linkage, so the copies compiled for
// different instruction sets can never be merged by the linker.
//
// A core is a type with
//   State                              the 16 words of one Salsa20 block, in registers
//   State load(const uint32_t* p)      a block in diagonal order (scrypt_core.h)
//   void xor_in(State&, const uint32_t* p)
//   void store(uint32_t* p, const State&)
//   void salsa(State&)                 Salsa20/8 core, with the final addition
//   uint64_t integerify(const State&)  words 0 and 1 as a little-endian 64-bit number
// all of them inline and compiled for the same target.
#pragma once

#ifndef VEK_SCRYPT_TARGET
#error "define VEK_SCRYPT_TARGET before including scrypt_romix.h"
#endif

#include <cstddef>
#include <cstdint>

namespace vek_signer::scrypt_core {
namespace {

// BlockMix of `in` into `out`: Y_i = Salsa(Y_{i-1} xor B_i), even Y_i to the first
// half of `out`, odd Y_i to the second. Returns Integerify of the result.
template <class C>
[[gnu::always_inline]] VEK_SCRYPT_TARGET inline std::uint64_t block_mix(const std::uint32_t* in, std::uint32_t* out,
                                                                       std::uint32_t r) noexcept {
  typename C::State x = C::load(in + (2 * std::size_t{r} - 1) * 16);
  for (std::size_t i = 0; i < r; ++i) {
    C::xor_in(x, in + 32 * i);
    C::salsa(x);
    C::store(out + 16 * i, x);
    C::xor_in(x, in + 32 * i + 16);
    C::salsa(x);
    C::store(out + 16 * (r + i), x);
  }
  return C::integerify(x);
}

// BlockMix of `a` xor `b` into `out`, the xor taken one Salsa20 block at a time so that
// the reads of `b` (a random block of the working array) overlap the arithmetic.
template <class C>
[[gnu::always_inline]] VEK_SCRYPT_TARGET inline std::uint64_t block_mix_xor(const std::uint32_t* a,
                                                                           const std::uint32_t* b, std::uint32_t* out,
                                                                           std::uint32_t r) noexcept {
  const std::size_t last = (2 * std::size_t{r} - 1) * 16;
  typename C::State x = C::load(a + last);
  C::xor_in(x, b + last);
  for (std::size_t i = 0; i < r; ++i) {
    C::xor_in(x, a + 32 * i);
    C::xor_in(x, b + 32 * i);
    C::salsa(x);
    C::store(out + 16 * i, x);
    C::xor_in(x, a + 32 * i + 16);
    C::xor_in(x, b + 32 * i + 16);
    C::salsa(x);
    C::store(out + 16 * (r + i), x);
  }
  return C::integerify(x);
}

// ROMix as described in scrypt_core.h. The first loop writes each block straight into
// the next slot of v; the second alternates between x and y, two steps per turn, so
// the result ends in x (n is even).
template <class C>
VEK_SCRYPT_TARGET void romix(std::uint32_t* v, std::uint32_t* x, std::uint32_t* y, std::uint64_t n,
                             std::uint32_t r) noexcept {
  const std::size_t words = 32 * std::size_t{r};
  const std::uint64_t mask = n - 1;
  for (std::uint64_t i = 0; i + 1 < n; ++i) block_mix<C>(v + i * words, v + (i + 1) * words, r);
  std::uint64_t j = block_mix<C>(v + (n - 1) * words, x, r);
  // Each step's random block is requested whole before the arithmetic starts, so its
  // cache misses overlap instead of coming one Salsa20 block at a time.
  const auto fetch = [&](std::uint64_t jj) {
    const std::uint32_t* b = v + (jj & mask) * words;
    for (std::size_t k = 0; k < words; k += 16) __builtin_prefetch(b + k);
    return b;
  };
  for (std::uint64_t i = 0; i < n; i += 2) {
    j = block_mix_xor<C>(x, fetch(j), y, r);
    j = block_mix_xor<C>(y, fetch(j), x, r);
  }
}

template <class C>
VEK_SCRYPT_TARGET void block_mix_only(const std::uint32_t* in, std::uint32_t* out, std::uint32_t r) noexcept {
  (void)block_mix<C>(in, out, r);
}

}  // namespace
}  // namespace vek_signer::scrypt_core
