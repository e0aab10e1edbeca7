// Checking signatures without a wallet: who signed a message, and whether an address did.
//
// Formats by family (absent: the family's standard, listed first):
//   EVM:     "eip191" (personal message), "eip712" (`message` is the JSON text of
//            eth_signTypedData_v4); r || s || v, hex.
//   Solana:  "raw" (the Ed25519 signature over the message bytes, what wallet adapters check);
//            hex. "offchain" and "offchain_domain" (an off-chain message; either checks
//            both headers, any format byte that admits the message); base58. Checks of
//            each read the signature as base58 (as dApps send it) or hex.
//   Bitcoin: "bip322" (simple, P2WPKH), "bip137", "raw"; base64, base64, hex.
//   Cosmos:  "adr036" (64-byte low-s signature of the amino-JSON sign document), "raw"; base64, hex.
//   Tron:    "tip191" (v = 27/28), "raw" (v = 0/1); hex. Both accept either v.
//   TON:     "raw" (hex), "ton_proof" and "sign_data" (TON Connect; base64); checks need
//            the signer's public key or the wallet's StateInit, and the TON Connect formats
//            the dApp's domain and the timestamp, in `context` (a bare key must derive the
//            address with this library's wallet contract on the chain's network; a
//            StateInit must hash to the address, and gives the key of wallets v3r1 to v5r1).
// vek/signer/message_formats.h says what each signs and lays out.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "vek/lib/error.h"
#include "vek/lib/ops.h"
#include "vek/lib/types.h"

namespace vek_lib {

// Signature bytes from hex text; a "0x" prefix (either case) is dropped.
// Error: InvalidInput "invalid hex signature: {hex error}".
[[nodiscard]] VekResult<std::vector<std::uint8_t>> decode_signature_hex(std::string_view text);

// Signature bytes from the text `format` of `chain` writes: base64 for bip322, bip137 and
// adr036, hex (as decode_signature_hex) for the others.
// Errors, first failure wins: InvalidInput (unknown chain; the unknown-format text of
// verify_message; "invalid hex signature: {hex error}"; "invalid base64 signature:
// {base64 error}").
[[nodiscard]] VekResult<std::vector<std::uint8_t>> decode_signature(std::string_view chain, std::string_view text,
                                                                    OptText format);

// The address whose key made `signature` over `message` on `chain`, for the formats that
// allow recovery: eip191, eip712, Tron tip191 and raw, Bitcoin bip137 (the address kind
// its header names) and raw (P2WPKH), Cosmos raw.
// Errors, first failure wins: InvalidInput (unknown chain; "unknown format for {an EVM /
// a Bitcoin / ...} chain: '{format}' (use {formats})"; "recovering the signer covers EVM,
// Bitcoin, Cosmos and Tron chains only, not {family}"; "the signer of a {format}
// signature cannot be recovered; verify it against an address (formats of {Family} that
// allow recovery: {formats})"); Signer InvalidMessage (vek/signer/eip712.h for typed
// data; the texts of vek/signer/verify.h and vek/signer/message_formats.h for the signature).
[[nodiscard]] VekResult<std::string> recover_address(std::string_view chain, std::span<const std::uint8_t> message,
                                                     std::span<const std::uint8_t> signature, OptText format);

// Whether `address` made `signature` over `message` on `chain`. False when the signature
// is well formed but belongs to another key or to none.
// Errors, first failure wins: InvalidInput (unknown chain; the unknown-format text;
// "invalid EVM address: '{address}'"; for TON "checking a TON signature needs the
// signer's public key or the wallet's state_init (a TON address does not reveal the
// key)", "invalid state_init: not base64: {error}", "invalid TON public key:
// expected 64 hex digits or base64 of 32 bytes", "{ton_proof | sign_data} signs for a dApp:
// give its domain and the Unix timestamp"); then Signer InvalidMessage: for EVM those of
// recover_address except a signature that recovers no key; for Solana those of
// vek_signer::solana_verify and solana_offchain_verify; for the others those of
// vek/signer/message_formats.h and vek/signer/ed25519_message_formats.h.
[[nodiscard]] VekResult<bool> verify_message(std::string_view chain, std::string_view address,
                                             std::span<const std::uint8_t> message,
                                             std::span<const std::uint8_t> signature, OptText format,
                                             const MessageContext& context = {});

}  // namespace vek_lib
