// Keccak-256 as Ethereum uses it: Keccak[r=1088, c=512] with the original padding
// byte 0x01 (FIPS 202 SHA3-256 pads with 0x06 and gives other digests). OpenSSL 3.0
// offers no such digest, so the permutation lives here.
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#include "vek/signer/hash.h"
#include "vek/signer/zeroizing.h"

namespace vek_signer {
namespace {

constexpr std::size_t kRateBytes = 136;  // 1088 bits
constexpr std::size_t kLanes = 25;

constexpr std::array<std::uint64_t, 24> kRoundConstants = {
    0x0000000000000001ULL, 0x0000000000008082ULL, 0x800000000000808aULL, 0x8000000080008000ULL,
    0x000000000000808bULL, 0x0000000080000001ULL, 0x8000000080008081ULL, 0x8000000000008009ULL,
    0x000000000000008aULL, 0x0000000000000088ULL, 0x0000000080008009ULL, 0x000000008000000aULL,
    0x000000008000808bULL, 0x800000000000008bULL, 0x8000000000008089ULL, 0x8000000000008003ULL,
    0x8000000000008002ULL, 0x8000000000000080ULL, 0x000000000000800aULL, 0x800000008000000aULL,
    0x8000000080008081ULL, 0x8000000000008080ULL, 0x0000000080000001ULL, 0x8000000080008008ULL,
};

// Rho offsets and pi destinations, following the lane walk of the reference code.
constexpr std::array<int, 24> kRho = {1,  3,  6,  10, 15, 21, 28, 36, 45, 55, 2,  14,
                                      27, 41, 56, 8,  25, 43, 62, 18, 39, 61, 20, 44};
constexpr std::array<std::size_t, 24> kPi = {10, 7,  11, 17, 18, 3, 5,  16, 8,  21, 24, 4,
                                     15, 23, 19, 13, 12, 2, 20, 14, 22, 9,  6,  1};

void keccak_f1600(std::uint64_t (&a)[kLanes]) noexcept {
  for (std::uint64_t rc : kRoundConstants) {
    // Theta
    std::uint64_t c[5];
    for (int x = 0; x < 5; ++x) c[x] = a[x] ^ a[x + 5] ^ a[x + 10] ^ a[x + 15] ^ a[x + 20];
    for (int x = 0; x < 5; ++x) {
      const std::uint64_t d = c[(x + 4) % 5] ^ std::rotl(c[(x + 1) % 5], 1);
      for (int y = 0; y < 25; y += 5) a[y + x] ^= d;
    }
    // Rho and pi
    std::uint64_t t = a[1];
    for (std::size_t i = 0; i < 24; ++i) {
      const std::size_t j = kPi[i];
      const std::uint64_t next = a[j];
      a[j] = std::rotl(t, kRho[i]);
      t = next;
    }
    // Chi
    for (int y = 0; y < 25; y += 5) {
      std::uint64_t row[5];
      for (int x = 0; x < 5; ++x) row[x] = a[y + x];
      for (int x = 0; x < 5; ++x) a[y + x] = row[x] ^ (~row[(x + 1) % 5] & row[(x + 2) % 5]);
    }
    // Iota
    a[0] ^= rc;
  }
}

// Lanes are little-endian (Keccak reference), independent of the host's byte order.
std::uint64_t load_le64(const std::uint8_t* p) noexcept {
  std::uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

void absorb_block(std::uint64_t (&a)[kLanes], const std::uint8_t* block) noexcept {
  for (std::size_t i = 0; i < kRateBytes / 8; ++i) a[i] ^= load_le64(block + 8 * i);
  keccak_f1600(a);
}

}  // namespace

std::array<std::uint8_t, kKeccak256Bytes> keccak256(std::span<const std::uint8_t> data) {
  // The state and the last block may hold secret input (a public key is not secret,
  // but callers may hash anything), so both are wiped.
  std::uint64_t a[kLanes] = {};
  std::size_t off = 0;
  for (; data.size() - off >= kRateBytes; off += kRateBytes) absorb_block(a, data.data() + off);

  WipedArray<kRateBytes> last;
  const std::size_t rest = data.size() - off;
  if (rest != 0) std::memcpy(last.data(), data.data() + off, rest);
  // Keccak pad10*1 with the 0x01 domain byte; both ends meet in one byte at rest == 135.
  last.bytes[rest] ^= 0x01;
  last.bytes[kRateBytes - 1] ^= 0x80;
  absorb_block(a, last.data());

  std::array<std::uint8_t, kKeccak256Bytes> out{};
  for (std::size_t i = 0; i < kKeccak256Bytes; ++i) out[i] = static_cast<std::uint8_t>(a[i / 8] >> (8 * (i % 8)));
  secure_wipe(a, sizeof a);
  return out;
}

}  // namespace vek_signer
