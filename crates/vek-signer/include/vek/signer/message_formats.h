// The standard signed-message formats of the secp256k1 families other than EVM: what each
// signs, how the signature is laid out, and how it is checked without the key.
//
//   Tron     tip191  Keccak-256(0x19 "TRON Signed Message:\n" {length} || message); r || s || v, v = 27/28.
//            raw     the same hash; r || s || v with v = 0/1 (the signer's sign_message).
//   Bitcoin  bip322  the "simple" proof of a P2WPKH address: the witness (DER signature with
//                    SIGHASH_ALL, compressed public key) of the virtual to_sign transaction.
//            bip137  header || r || s over the legacy signed-message hash; header 39 + recid (P2WPKH).
//            raw     r || s || recid over the legacy hash (the signer's sign_message).
//   Cosmos   adr036  r || s (low s) over SHA-256 of the amino-JSON sign document of one
//                    sign/MsgSignData message (adr036_sign_doc).
//            raw     r || s || recid over SHA-256(message) (the signer's sign_message).
//
// Every checking function below answers false for a well-formed signature of another key
// or of none, and refuses malformed input with InvalidMessage and the text given.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "vek/signer/traits.h"

namespace vek_signer {

// A message signature in one of the formats above.
struct MessageSignature {
  std::vector<std::uint8_t> signature;      // the format's bytes, before any text encoding
  std::optional<std::uint8_t> recovery_id;  // the recovery byte as the signature carries it
  std::vector<std::uint8_t> public_key;     // compressed key, for formats that return it (adr036)
};

// ---------------------------------------------------------------- Tron

// tip191 (`wallet_v` true: v = 27/28) or raw (v = 0/1); key errors as TronSigner::sign.
[[nodiscard]] SignerResult<MessageSignature> tron_sign_message(std::span<const std::uint8_t> key,
                                                               std::span<const std::uint8_t> message, bool wallet_v);
// The Tron address (base58check, "T...") whose key made the 65-byte r || s || v (v 0, 1,
// 27 or 28) over the message. Errors: "expected a 65-byte signature (r || s || v), got {n}
// bytes"; "signature v must be 0, 1, 27 or 28, got {v}"; kRecoversNoKey (verify.h).
[[nodiscard]] SignerResult<std::string> tron_recover_address(std::span<const std::uint8_t> message,
                                                             std::span<const std::uint8_t> signature);
// Whether `address` made the signature. Errors: "invalid Tron address: '{address}'" (not
// base58check of 0x41 and 20 bytes), then those of tron_recover_address except
// kRecoversNoKey (false).
[[nodiscard]] SignerResult<bool> tron_verify_message(std::string_view address, std::span<const std::uint8_t> message,
                                                     std::span<const std::uint8_t> signature);

// ---------------------------------------------------------------- Bitcoin

// BIP-340 tagged hash of the message under "BIP0322-signed-message".
[[nodiscard]] std::array<std::uint8_t, 32> bip322_message_hash(std::span<const std::uint8_t> message);
// The BIP-143 digest the P2WPKH key of `key_hash` (HASH160 of its compressed key) signs to
// prove `message`: the to_sign transaction spending the to_spend transaction's output.
[[nodiscard]] std::array<std::uint8_t, 32> bip322_p2wpkh_sighash(std::span<const std::uint8_t, 20> key_hash,
                                                                 std::span<const std::uint8_t> message);
// The serialised witness: 0x02, the DER signature with 0x01 appended, the compressed key.
[[nodiscard]] SignerResult<MessageSignature> bip322_sign(std::span<const std::uint8_t> key,
                                                         std::span<const std::uint8_t> message);
// Whether the P2WPKH `address` (any network's bech32 prefix) made the serialised witness.
// Errors: "BIP-322 signatures are checked for P2WPKH addresses only, not '{address}'";
// "malformed BIP-322 witness: {what}" (not two items, a key that is not 33 bytes, a
// signature hash type other than SIGHASH_ALL, trailing bytes, a DER signature that does
// not parse). A high s is false, as Bitcoin's standard rules refuse it.
[[nodiscard]] SignerResult<bool> bip322_verify(std::string_view address, std::span<const std::uint8_t> message,
                                               std::span<const std::uint8_t> witness);

// header || r || s with header 39 + recid (a P2WPKH address's), over the legacy hash.
[[nodiscard]] SignerResult<MessageSignature> bip137_sign(std::span<const std::uint8_t> key,
                                                         std::span<const std::uint8_t> message);
// The mainnet address the header names: 27-30 P2PKH of the uncompressed key, 31-34 P2PKH,
// 35-38 P2SH-P2WPKH, 39-42 P2WPKH of the compressed key. Errors: "expected a 65-byte
// signature (header || r || s), got {n} bytes"; "BIP-137 header must be 27 to 42, got
// {h}"; kRecoversNoKey.
[[nodiscard]] SignerResult<std::string> bip137_recover_address(std::span<const std::uint8_t> message,
                                                               std::span<const std::uint8_t> signature);
// Whether `address` (P2PKH, P2SH-P2WPKH or P2WPKH, mainnet or testnet) made the signature.
// A compressed-key header (31 to 42) matches any of the three address kinds of that key,
// since wallets differ in the header they write for SegWit addresses; 27 to 30 match P2PKH
// of the uncompressed key only. Errors: "invalid Bitcoin address: '{address}'", then those
// of bip137_recover_address except kRecoversNoKey (false).
[[nodiscard]] SignerResult<bool> bip137_verify(std::string_view address, std::span<const std::uint8_t> message,
                                               std::span<const std::uint8_t> signature);
// raw: r || s || recid (65 bytes, recid 0 to 3) over the legacy hash. The P2WPKH address
// with `hrp`; whether `address` (as bip137_verify, compressed key) made it.
// Errors: "expected a 65-byte signature (r || s || recovery id), got {n} bytes";
// "recovery id must be 0 to 3, got {v}"; kRecoversNoKey (false for verify).
[[nodiscard]] SignerResult<std::string> bitcoin_raw_recover_address(std::span<const std::uint8_t> message,
                                                                    std::span<const std::uint8_t> signature,
                                                                    std::string_view hrp);
[[nodiscard]] SignerResult<bool> bitcoin_raw_verify(std::string_view address, std::span<const std::uint8_t> message,
                                                    std::span<const std::uint8_t> signature);

// ---------------------------------------------------------------- Cosmos

// The ADR-036 sign document, keys sorted, no whitespace:
// {"account_number":"0","chain_id":"","fee":{"amount":[],"gas":"0"},"memo":"","msgs":[{"type":
// "sign/MsgSignData","value":{"data":"{base64 of message}","signer":"{signer}"}}],"sequence":"0"}
[[nodiscard]] std::string adr036_sign_doc(std::string_view signer, std::span<const std::uint8_t> message);
// r || s (64 bytes, low s) over SHA-256 of adr036_sign_doc(signer, message), and the
// compressed public key. `signer` is the key's bech32 address.
[[nodiscard]] SignerResult<MessageSignature> adr036_sign(std::span<const std::uint8_t> key, std::string_view signer,
                                                         std::span<const std::uint8_t> message);
// Whether the bech32 account `address` (any prefix) made the signature. A high s is false
// (Cosmos refuses it). Errors: "invalid Cosmos address: '{address}'" (not bech32 of 20
// bytes); "expected a 64-byte signature (r || s), got {n} bytes".
[[nodiscard]] SignerResult<bool> adr036_verify(std::string_view address, std::span<const std::uint8_t> message,
                                               std::span<const std::uint8_t> signature);
// raw: r || s || recid (65 bytes) over SHA-256(message). The address with `hrp`; whether
// `address` made it. Errors as bitcoin_raw_recover_address, and "invalid Cosmos address".
[[nodiscard]] SignerResult<std::string> cosmos_raw_recover_address(std::span<const std::uint8_t> message,
                                                                   std::span<const std::uint8_t> signature,
                                                                   std::string_view hrp);
[[nodiscard]] SignerResult<bool> cosmos_raw_verify(std::string_view address, std::span<const std::uint8_t> message,
                                                   std::span<const std::uint8_t> signature);

}  // namespace vek_signer
