// Steps shared by the four secp256k1 signers (EVM, Tron, Cosmos, Bitcoin):
// turning key bytes into a signing key, public-key encodings, and the recoverable
// RFC 6979 signature over a 32-byte hash. Internal header: not installed.
#pragma once

#include <secp256k1.h>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "vek/signer/traits.h"
#include "vek/signer/zeroizing.h"

namespace vek_signer::secp {

inline constexpr std::size_t kSecretKeyBytes = 32;
inline constexpr std::size_t kHashBytes = 32;
inline constexpr std::size_t kUncompressedBytes = 65;
inline constexpr std::size_t kCompressedBytes = 33;

// The process-wide context: created on first use (thread-safe), randomised with 32
// bytes from the OS, then only read; destroyed at exit. Null when it could not be
// allocated.
[[nodiscard]] const secp256k1_context* context() noexcept;

// A validated secret scalar and its public point.
struct SigningKey {
  WipedArray<kSecretKeyBytes> secret;                                // big-endian scalar in 1 .. n-1
  std::array<std::uint8_t, kUncompressedBytes> public_uncompressed{};  // 04 || X || Y
  std::array<std::uint8_t, kCompressedBytes> public_compressed{};      // 02/03 || X
};

// 32 bytes as they are, 24 to 31 bytes left-padded with zeros; anything else, zero,
// or a value not below the group order: InvalidPrivateKey "signature error".
[[nodiscard]] SignerResult<std::unique_ptr<SigningKey>> signing_key(std::span<const std::uint8_t> key);

// Recoverable deterministic ECDSA (RFC 6979 nonce of libsecp256k1, low S) over `hash`.
// Checks, in order:
//   hash not 32 bytes: InvalidMessage "expected 32-byte {hash_word}, got {n} bytes"
//     (`hash_word` is "prehash" for EVM, "hash" elsewhere); the key is not looked at;
//   key refused by signing_key(): its error unchanged;
//   the primitive fails: SigningFailed "signature error".
// Result: signature r || s || recid (65 bytes), recovery_id = recid (0 or 1 in practice).
[[nodiscard]] SignerResult<SignOutput> sign_hash(std::span<const std::uint8_t> key, std::span<const std::uint8_t> hash,
                                                 std::string_view hash_word);

// The public key (04 || X || Y) that made the compact signature `rs` (r || s, 64 bytes)
// with recovery id `recid` (0 to 3) over the 32-byte `hash`; nullopt when the signature
// does not parse or recovers no key. A high S is accepted, as ECDSA itself does.
[[nodiscard]] std::optional<std::array<std::uint8_t, kUncompressedBytes>> recover(
    std::span<const std::uint8_t, kHashBytes> hash, std::span<const std::uint8_t, 64> rs, int recid);

// The compressed form (02/03 || X) of an uncompressed public key (04 || X || Y).
[[nodiscard]] std::array<std::uint8_t, kCompressedBytes> compress(std::span<const std::uint8_t, kUncompressedBytes> pub);

// Whether the compact signature r || s has s above half the group order (the form
// Bitcoin's standard rules and Cosmos refuse). False when it does not parse.
[[nodiscard]] bool high_s(std::span<const std::uint8_t, 64> rs);

// The strict DER encoding of the compact signature r || s; empty when it does not parse.
[[nodiscard]] std::vector<std::uint8_t> der_encode(std::span<const std::uint8_t, 64> rs);

// Whether the DER signature `der` by the public key `pub` (33 or 65 bytes) is valid over
// the 32-byte `hash` with a low s; nullopt when the signature or the key does not parse
// (empty included).
[[nodiscard]] std::optional<bool> verify_der(std::span<const std::uint8_t, kHashBytes> hash,
                                             std::span<const std::uint8_t> der, std::span<const std::uint8_t> pub);

// The account of EVM and Tron addresses: the last 20 bytes of Keccak-256 of X || Y
// (the uncompressed public key without its 0x04 tag).
inline constexpr std::size_t kKeccakAccountBytes = 20;
[[nodiscard]] std::array<std::uint8_t, kKeccakAccountBytes> keccak_account(const SigningKey& key);
// The same of an uncompressed public key (04 || X || Y).
[[nodiscard]] std::array<std::uint8_t, kKeccakAccountBytes> keccak_account(
    std::span<const std::uint8_t, kUncompressedBytes> pub);

// A 32-byte digest: keccak256 or sha256d.
using Digest32 = std::array<std::uint8_t, kHashBytes> (*)(std::span<const std::uint8_t>);

// The signed-message hash of EVM, Tron and Bitcoin: `digest` of `header` followed by
// `message`. The two are joined in one buffer that is wiped before it is freed, since
// the message may be private to the caller.
[[nodiscard]] std::array<std::uint8_t, kHashBytes> prefixed_message_hash(std::string_view header,
                                                                        std::span<const std::uint8_t> message,
                                                                        Digest32 digest);

}  // namespace vek_signer::secp
