// What the secp256k1 families' message formats (Bitcoin, Cosmos, Tron) share: byte
// appends, refusals, and the key a recoverable signature names. Internal header: not
// installed.
#pragma once

#include <array>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "chains/secp256k1.h"
#include "vek/signer/hash.h"
#include "vek/signer/verify.h"

namespace vek_signer::secp_messages {

using Bytes = std::vector<std::uint8_t>;
using Hash20 = std::array<std::uint8_t, kRipemd160Bytes>;

inline std::unexpected<SignerError> invalid(std::string what) {
  return signer_error(SignerErrorKind::InvalidMessage, std::move(what));
}

inline std::string count_text(std::size_t n) { return std::to_string(n) + " bytes"; }

// Appends by resize and copy: GCC 12 at -O3 misreads vector::insert of a range here
// (a false -Wstringop-overflow).
inline void append(Bytes& out, std::span<const std::uint8_t> bytes) {
  const std::size_t at = out.size();
  out.resize(at + bytes.size());
  if (!bytes.empty()) std::memcpy(out.data() + at, bytes.data(), bytes.size());
}
inline void append(Bytes& out, std::initializer_list<std::uint8_t> bytes) {
  append(out, std::span<const std::uint8_t>(bytes.begin(), bytes.size()));
}
inline void append_zeros(Bytes& out, std::size_t n) { out.resize(out.size() + n, 0); }

// A recoverable signature over `hash` with the recovery id taken from `recid`; the key or
// an error (kRecoversNoKey when none).
inline SignerResult<std::array<std::uint8_t, secp::kUncompressedBytes>> recover_key(std::span<const std::uint8_t, 32> hash,
                                                                             std::span<const std::uint8_t> rs,
                                                                             int recid) {
  auto pub = secp::recover(hash, rs.first<64>(), recid);
  if (!pub) return invalid(std::string(kRecoversNoKey));
  return *pub;
}

inline Hash20 compressed_key_hash(std::span<const std::uint8_t, secp::kUncompressedBytes> pub) {
  return hash160(secp::compress(pub));
}

// The key of a raw signature (r || s || recid) over `hash`.
inline SignerResult<std::array<std::uint8_t, secp::kUncompressedBytes>> raw_signer_key(std::span<const std::uint8_t, 32> hash,
                                                                                std::span<const std::uint8_t> sig) {
  if (sig.size() != 65) return invalid("expected a 65-byte signature (r || s || recovery id), got " + count_text(sig.size()));
  if (sig[64] > 3) return invalid("recovery id must be 0 to 3, got " + std::to_string(sig[64]));
  return recover_key(hash, sig.first<64>(), sig[64]);
}

// A verification result from a recovered key: a signature of no key is false.
template <typename Check>
SignerResult<bool> if_recovered(const SignerResult<std::array<std::uint8_t, secp::kUncompressedBytes>>& pub,
                                Check check) {
  if (!pub) {
    if (pub.error().detail == kRecoversNoKey) return false;
    return std::unexpected(pub.error());
  }
  return check(*pub);
}

}  // namespace vek_signer::secp_messages
