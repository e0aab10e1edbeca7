// Private keys in the text forms other wallets read and write: Bitcoin's WIF and
// Solana's 64-byte keypair (secret key, then public key) as base58 or as the JSON array
// of byte values that Solana's command-line tools keep in a keypair file.
//
// Errors are one line and never quote the text they were given (it is a secret).
// Encoders return text holding the secret: the caller wipes it (wipe_string).
#pragma once

#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <string_view>

#include "vek/signer/zeroizing.h"

namespace vek_signer {

struct WifKey {
  SecretBytes key;  // 32 bytes
  bool compressed = true;
  bool testnet = false;  // version byte 0xef rather than 0x80
};

// Errors: "{base58check error}"; "version byte 0x{xx} is not a private key's (0x80 or 0xef)";
// "{n} bytes, expected 33 or 34"; "compression flag 0x{xx}, expected 0x01".
[[nodiscard]] std::expected<WifKey, std::string> wif_decode(std::string_view text);

// Base58Check of the version byte (0x80, testnet 0xef), the 32-byte key and, for a
// compressed public key, 0x01. Cannot fail.
[[nodiscard]] std::string wif_encode(std::span<const std::uint8_t> key, bool compressed, bool testnet);

// The 32-byte Ed25519 secret key of a keypair given as base58 text or as a JSON array of
// 64 integers from 0 to 255 (white space around the elements allowed), after checking
// that its second half is the public key of the first.
// Errors: "{base58 error}"; "not a JSON array of integers from 0 to 255";
// "{n} bytes, expected 64"; "its public key does not match its secret key"; the
// Ed25519 key setup's error.
[[nodiscard]] std::expected<SecretBytes, std::string> solana_keypair_decode(std::string_view text);

// The keypair of a 32-byte Ed25519 secret key as base58 text, or as the JSON array
// "[b0,b1,...,b63]" (no spaces). Error: the Ed25519 key setup's error.
[[nodiscard]] std::expected<std::string, std::string> solana_keypair_encode(std::span<const std::uint8_t> key,
                                                                            bool json_array);

}  // namespace vek_signer
