// Hash functions used by the signers: SHA-2 and RIPEMD-160 from OpenSSL, Keccak-256 of our own.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace vek_signer {

inline constexpr std::size_t kSha256Bytes = 32;
inline constexpr std::size_t kSha512Bytes = 64;
inline constexpr std::size_t kRipemd160Bytes = 20;
inline constexpr std::size_t kKeccak256Bytes = 32;

[[nodiscard]] std::array<std::uint8_t, kSha256Bytes> sha256(std::span<const std::uint8_t> data);
// SHA-256 of SHA-256.
[[nodiscard]] std::array<std::uint8_t, kSha256Bytes> sha256d(std::span<const std::uint8_t> data);
[[nodiscard]] std::array<std::uint8_t, kSha512Bytes> sha512(std::span<const std::uint8_t> data);
[[nodiscard]] std::array<std::uint8_t, kRipemd160Bytes> ripemd160(std::span<const std::uint8_t> data);
// HASH160: RIPEMD-160 of SHA-256.
[[nodiscard]] std::array<std::uint8_t, kRipemd160Bytes> hash160(std::span<const std::uint8_t> data);
// HMAC-SHA512 into `out` (64 bytes). The caller wipes `out` when it holds key material.
void hmac_sha512(std::span<const std::uint8_t> key, std::span<const std::uint8_t> data,
                 std::span<std::uint8_t, kSha512Bytes> out);
// Keccak-256 as Ethereum uses it (padding byte 0x01), not SHA3-256 (0x06).
[[nodiscard]] std::array<std::uint8_t, kKeccak256Bytes> keccak256(std::span<const std::uint8_t> data);

}  // namespace vek_signer
