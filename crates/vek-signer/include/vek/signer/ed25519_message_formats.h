// The message formats the Ed25519 families' own verifiers read: Solana off-chain
// messages, and TON Connect's ton_proof and sign-data (text and binary). Each wraps the
// signed text in a prefix no transaction of its chain can start with, so a signature made
// here can never be replayed as a transaction signature (unlike raw Ed25519 over bytes a
// dApp supplies).
//
// Every key-taking function gets the 32-byte Ed25519 secret key (held by the caller in
// SecretBytes); the signing key lives only inside the call. Errors are SignerError:
// InvalidPrivateKey "expected 32 bytes, got {n}" for a key of another length,
// InvalidMessage for the inputs named below, SigningFailed as the Ed25519 primitives.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "vek/signer/traits.h"

namespace vek_signer {

using Ed25519Key = std::array<std::uint8_t, 32>;

// ---------------------------------------------------------------- Solana off-chain messages
//
// Bytes signed (header version 0):
//   "\xffsolana offchain" (16) || version 0 || application domain (32) || format (1) ||
//   signer count (1, 1..255) || signers (32 each) || message length (u16 LE) || message.
// The format is the first that admits the message: 0 = printable ASCII (0x20..0x7e),
// 1 = UTF-8, both while the whole (header and message) is at most 1232 bytes; 2 = UTF-8
// up to 65535 bytes in all.
//
// The released command-line tools and Rust SDK (solana-offchain-message through 3.0) read
// a shorter version-0 header without application domain and signers:
// "\xffsolana offchain" || 0 || format || length (u16 LE) || message, with formats 0 and 1
// for messages up to 1212 bytes and 2 up to 65515; the newer JavaScript SDK reads the one
// above. solana_offchain_sign writes the current layout, solana_offchain_sign_legacy the
// short one; verification accepts both, with any format byte that admits the message.

inline constexpr std::string_view kSolanaSigningDomain{"\xffsolana offchain", 16};
inline constexpr std::size_t kSolanaOffchainLedgerMax = 1232;  // formats 0 and 1, whole bytes
inline constexpr std::size_t kSolanaOffchainMax = 65535;       // format 2, whole bytes

enum class SolanaOffchainFormat : std::uint8_t { RestrictedAscii = 0, LimitedUtf8 = 1, ExtendedUtf8 = 2 };

// A parsed off-chain message; `message` views the parsed bytes.
struct SolanaOffchainMessage {
  bool legacy = false;                  // the short header (no application domain, no signers)
  Ed25519Key application_domain{};      // zero for the short header
  SolanaOffchainFormat format = SolanaOffchainFormat::RestrictedAscii;
  std::vector<Ed25519Key> signers;      // empty for the short header
  std::span<const std::uint8_t> message;
};

// The bytes to sign for `message` committed to by `signers` under `application_domain`.
// Errors (InvalidMessage):
//   "off-chain message is empty";
//   "off-chain message needs 1 to 255 signers, got {n}";
//   "off-chain message signers include the zero key" (with more than one signer);
//   "off-chain message is not valid UTF-8: {decoder's explanation}";
//   "off-chain message of {n} bytes is too long: at most {max} bytes" ({max} is 65535 less
//   the header: 65450 with one signer).
[[nodiscard]] SignerResult<std::vector<std::uint8_t>> solana_offchain_bytes(
    std::span<const std::uint8_t> message, std::span<const Ed25519Key> signers,
    const Ed25519Key& application_domain = {});

// The short (earlier) layout of `message`; errors as above, at most 65515 bytes.
[[nodiscard]] SignerResult<std::vector<std::uint8_t>> solana_offchain_bytes_legacy(
    std::span<const std::uint8_t> message);

// Reads either layout, checked strictly: the message must fit its declared format (a
// declared format wider than needed is accepted, as the current SDK does; the 1232-byte
// limit of formats 0 and 1 is applied to the bytes after the signing domain and version,
// the SDK's reading, which admits everything written by the stricter count above).
// Header version 1 (version 0 plus newlines in format 0) is not read.
// Errors (InvalidMessage), each starting "off-chain message: ":
//   "no signing domain"; "unsupported header version {v}"; "truncated header";
//   "unknown format {f}"; "no signers"; "signers include the zero key";
//   "empty message"; "length field says {n} bytes but {m} follow";
//   "text does not fit format {f}".
[[nodiscard]] SignerResult<SolanaOffchainMessage> solana_offchain_parse(std::span<const std::uint8_t> bytes);

// The signature over solana_offchain_bytes(message, {the key's public key}, domain).
[[nodiscard]] SignerResult<SignOutput> solana_offchain_sign(std::span<const std::uint8_t> key,
                                                            std::span<const std::uint8_t> message,
                                                            const Ed25519Key& application_domain = {});

// The signature over solana_offchain_bytes_legacy(message): the layout the released
// command-line tools verify. Errors as solana_offchain_bytes_legacy.
[[nodiscard]] SignerResult<SignOutput> solana_offchain_sign_legacy(std::span<const std::uint8_t> key,
                                                                   std::span<const std::uint8_t> message);

// Whether the Solana account `address` signed `message` as an off-chain message: the
// current layout with `address` as the only signer under `application_domain`, then the
// short layout, each with every format byte that admits the message (formats 0 and 1
// within their 1232-byte limit, counted from the application domain on in the current
// layout, the SDK's reading). Errors: "invalid Solana address: '{address}'"; "expected a
// 64-byte signature, got {n} bytes"; the message errors of solana_offchain_bytes when no
// layout admits the message.
[[nodiscard]] SignerResult<bool> solana_offchain_verify(std::string_view address, std::span<const std::uint8_t> message,
                                                        std::span<const std::uint8_t> signature,
                                                        const Ed25519Key& application_domain = {});

// Whether `address` signed the serialized off-chain message `bytes` (either layout): the
// bytes parse, `address` is one of the signers the current layout lists, and the
// signature verifies. Errors: those of solana_offchain_parse, and the address and
// signature errors above.
[[nodiscard]] SignerResult<bool> solana_offchain_verify_bytes(std::string_view address,
                                                              std::span<const std::uint8_t> bytes,
                                                              std::span<const std::uint8_t> signature);

// ---------------------------------------------------------------- TON Connect

// A TON account: workchain and 32-byte account id.
struct TonAccount {
  std::int32_t workchain = 0;
  Ed25519Key hash{};
  bool operator==(const TonAccount&) const = default;
};

// Reads the raw form "{workchain}:{64 hex digits}" or the 48-character user-friendly form
// (URL-safe or standard base64 of flags, workchain, account id and CRC-16/XMODEM; any of
// the bounceable, non-bounceable and test-only flags).
// Error (InvalidMessage): "invalid TON address: '{text}'".
[[nodiscard]] SignerResult<TonAccount> ton_parse_address(std::string_view text);

// The network whose wallet id the wallet contract carries: the same key has a different
// account on mainnet and on the test network.
enum class TonNetwork : std::uint8_t { Mainnet = 0, Testnet = 1 };

// The account of the wallet contract this project derives for `public_key` on `network`
// (v5r1 with the network's wallet id, workchain 0).
[[nodiscard]] TonAccount ton_wallet_account(const Ed25519Key& public_key, TonNetwork network);

// ton_proof: message = "ton-proof-item-v2/" || workchain (i32 BE) || account id ||
// domain length (u32 LE) || domain || timestamp (u64 LE) || payload; the signature is
// Ed25519 over sha256(0xffff || "ton-connect" || sha256(message)), which this returns.
// Errors (InvalidMessage): "ton_proof domain is empty"; "ton_proof domain of {n} bytes is too long".
[[nodiscard]] SignerResult<std::array<std::uint8_t, 32>> ton_proof_digest(const TonAccount& account,
                                                                          std::string_view domain,
                                                                          std::uint64_t timestamp,
                                                                          std::span<const std::uint8_t> payload);

// sign-data, text and binary payloads: the signature is Ed25519 over sha256 of
// 0xffff || "ton-connect/sign-data/" || workchain (i32 BE) || account id ||
// domain length (u32 BE) || domain || timestamp (u64 BE) || "txt" or "bin" ||
// payload length (u32 BE) || payload; this returns that hash.
// Errors (InvalidMessage): "sign-data domain is empty"; "sign-data domain of {n} bytes is too long";
// "sign-data payload of {n} bytes is too long"; "sign-data text is not valid UTF-8: {explanation}".
enum class TonSignDataKind : std::uint8_t { Text = 0, Binary = 1 };
[[nodiscard]] SignerResult<std::array<std::uint8_t, 32>> ton_sign_data_digest(const TonAccount& account,
                                                                              std::string_view domain,
                                                                              std::uint64_t timestamp,
                                                                              TonSignDataKind kind,
                                                                              std::span<const std::uint8_t> payload);

// Signing binds the proof to the account ton_wallet_account derives for the key on `network`.
[[nodiscard]] SignerResult<SignOutput> ton_proof_sign(std::span<const std::uint8_t> key, std::string_view domain,
                                                      std::uint64_t timestamp, std::span<const std::uint8_t> payload,
                                                      TonNetwork network);
[[nodiscard]] SignerResult<SignOutput> ton_sign_data_sign(std::span<const std::uint8_t> key, std::string_view domain,
                                                          std::uint64_t timestamp, TonSignDataKind kind,
                                                          std::span<const std::uint8_t> payload, TonNetwork network);

// A wallet's StateInit, as a TON Connect proof carries it (its `state_init`, a bag of
// cells): the hash of the StateInit (the account id of the address it deploys, in any
// workchain), the wallet version its code is, and the public key its data holds. Read are
// wallets v3r1, v3r2, v4r2, v5r1 and the v5 beta, their code given in full or as a
// library cell. Errors (InvalidMessage), each starting "invalid state_init: ":
//   "larger than 16384 bytes"; "not a bag of cells"; "truncated bag of cells";
//   "unsupported bag of cells header"; "expected one root cell, got {n}";
//   "absent cells are not read"; "cell count {n}"; "the root must be the first cell";
//   "cell data size does not match"; "cells with levels or stored hashes are not read";
//   "a cell has more than 4 references"; "a cell's last byte has no end tag";
//   "a reference does not point to a later cell";
//   "exotic cells other than libraries are not read"; "checksum mismatch";
//   "deeper than 1024 cells"; "not a StateInit of code and data"; "the data cell is exotic";
//   "the code is not a wallet of version v3r1, v3r2, v4r2, v5r1 or v5 beta (code hash {hex})";
//   "the data is too short for a {version} wallet".
struct TonStateInit {
  Ed25519Key hash{};
  std::string_view version;
  Ed25519Key public_key{};
};
[[nodiscard]] SignerResult<TonStateInit> ton_parse_state_init(std::span<const std::uint8_t> boc);

// How a TON verifier ties the public key to the address. A TON address is the hash of a
// contract's code and data, so it cannot give the key back:
//   WalletContract: the key must derive the address with this project's wallet contract
//     on the verifier's `network` (ton_wallet_account); a key of another contract
//     (another wallet version, the other network's wallet id, another workchain) is a
//     false result.
//   AsGiven: the caller vouches for the key (read from the wallet's StateInit with
//     ton_state_init_key, or from its get_public_key method); only the signature is
//     checked, over the given address.
enum class TonKeyCheck : std::uint8_t { WalletContract = 0, AsGiven = 1 };

// Each verifier: whether `public_key` (32 bytes) signed the format's bytes for `address`
// (either address form). Errors (InvalidMessage): the address error above; "expected a
// 32-byte public key, got {n} bytes"; "expected a 64-byte signature, got {n} bytes"; and
// the digest function's errors.
[[nodiscard]] SignerResult<bool> ton_proof_verify(std::string_view address, std::span<const std::uint8_t> public_key,
                                                  std::string_view domain, std::uint64_t timestamp,
                                                  std::span<const std::uint8_t> payload,
                                                  std::span<const std::uint8_t> signature, TonKeyCheck check,
                                                  TonNetwork network);
[[nodiscard]] SignerResult<bool> ton_sign_data_verify(std::string_view address,
                                                      std::span<const std::uint8_t> public_key,
                                                      std::string_view domain, std::uint64_t timestamp,
                                                      TonSignDataKind kind, std::span<const std::uint8_t> payload,
                                                      std::span<const std::uint8_t> signature, TonKeyCheck check,
                                                      TonNetwork network);
// Raw Ed25519 over `message` as it is (what TonSigner::sign_message makes).
[[nodiscard]] SignerResult<bool> ton_raw_verify(std::string_view address, std::span<const std::uint8_t> public_key,
                                                std::span<const std::uint8_t> message,
                                                std::span<const std::uint8_t> signature, TonKeyCheck check,
                                                TonNetwork network);

}  // namespace vek_signer
