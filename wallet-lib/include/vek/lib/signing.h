// The one-call operations that sign with a stored wallet: each finds the wallet, opens it
// (one scrypt) as a Session without a time limit, signs through it, and closes it. And
// broadcast(), which submits a transaction that is signed already (no wallet, no secret).
//
// `caller` says which chains the caller takes (an unknown chain otherwise) and how the
// refusals below name it and what they suggest instead. The key of a one-call operation
// is that of the chain's default path for `index` (0 when absent; a private-key wallet
// ignores it). Before the key is used, after the secret's own checks (Session::open),
// two kinds of wallet are refused, as InvalidInput:
//   "wallet '{name}' is protected by a BIP-39 passphrase, which {caller.name} cannot
//    take; sign with {caller.instead}" (first, before the wallet is decrypted);
//   "wallet '{name}' stores its {family} account at derivation path {path}, which
//    {caller.name} does not derive; sign with {caller.instead}" (a mnemonic wallet whose
//    first stored account of the family is not at one of the family's default paths: the
//    key of the index asked for would not be the one the wallet shows).
// Errors common to the three: those of load_wallet_by_name_or_id; the first refusal;
// those of decrypt_wallet and check_stored_accounts; the second refusal; then Hd.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "vek/core/chain.h"
#include "vek/lib/broadcast.h"
#include "vek/lib/caller.h"
#include "vek/lib/error.h"
#include "vek/lib/types.h"

namespace vek_lib {

// Signs `message` with the chain family's message scheme (the signer's own: no format).
// Errors, first failure wins: InvalidInput (unknown chain; then message_bytes' errors);
// those common to the operations here; Signer.
[[nodiscard]] VekResult<SignResult> sign_message(std::string_view wallet, std::string_view chain,
                                                 std::string_view message, OptText passphrase, OptText encoding,
                                                 OptIndex index, OptText vault, const Caller& caller);

// Signs the transaction bytes of `tx_hex` as given with the chain family's transaction
// scheme (Session::sign_transaction with TxForm::AsGiven: nothing checked or completed).
// Errors, first failure wins: InvalidInput (unknown chain; then decode_transaction_hex's
// error); those common to the operations here; Signer.
[[nodiscard]] VekResult<SignResult> sign_transaction(std::string_view wallet, std::string_view chain,
                                                     std::string_view tx_hex, OptText passphrase, OptIndex index,
                                                     OptText vault, const Caller& caller);

// Signs `tx_hex` with the wallet's key for `chain`, completes the transaction
// (Session::assemble with TxForm::Assembled) and submits it with send_signed
// (broadcast.h; EVM and Solana). Returns the node's transaction hash. The session is
// closed, its key wiped, before the node is contacted.
// Errors, first failure wins: InvalidInput (unknown chain; decode_transaction_hex's
// error); those common to the operations here; those of sign_and_assemble (broadcast.h:
// trailing bytes, a family without broadcasting, Signer); those of send_signed (an
// endpoint that is not http(s), BroadcastFailed).
[[nodiscard]] VekResult<std::string> sign_and_send(std::string_view wallet, std::string_view chain,
                                                   std::string_view tx_hex, OptText passphrase, OptIndex index,
                                                   OptText rpc_url, OptText vault, const Caller& caller);

// Submits `signed_tx`, a transaction of `chain` signed already (EVM: the signed typed
// transaction; Solana: the whole transaction, signature slots filled), as Session::send
// does after signing: through broadcast.h submit_signed (the endpoint `rpc_url`, else
// rpc_endpoint()'s; the request off the command line; the node's hash checked against
// the transaction's own; `limits` as submit_signed takes them). Returns the transaction
// hash the node answered.
// Errors: InvalidInput (unknown chain); those of submit_signed, among them InvalidInput
// "no broadcast method for chain family '{family}'" for the families other than EVM and
// Solana.
[[nodiscard]] VekResult<std::string> broadcast(const vek_core::Chain& chain, std::span<const std::uint8_t> signed_tx,
                                               OptText rpc_url, const CallLimits& limits = {});
[[nodiscard]] VekResult<std::string> broadcast(std::string_view chain, std::span<const std::uint8_t> signed_tx,
                                               OptText rpc_url, const CallLimits& limits = {});

// The bytes sign_message signs: `encoding` absent or "utf8": the message text itself
// (the span points into `message`); "hex": hex-decoded into `decoded` (the span points there).
// Errors: InvalidInput "invalid hex message: {hex error}",
// "unsupported encoding: {encoding} (use 'utf8' or 'hex')".
[[nodiscard]] VekResult<std::span<const std::uint8_t>> message_bytes(std::string_view message, OptText encoding,
                                                                   std::vector<std::uint8_t>& decoded);

// Transaction bytes from hex text; the prefix "0x" (lower-case only) is dropped.
// Error: InvalidInput "invalid hex transaction: {hex error}".
[[nodiscard]] VekResult<std::vector<std::uint8_t>> decode_transaction_hex(std::string_view tx_hex);

}  // namespace vek_lib
