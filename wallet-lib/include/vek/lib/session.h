// A session: one wallet unlocked once (one scrypt) and then used for many signatures.
//
// A session decrypts the wallet once (the one-call operations of signing.h open one per
// call, and close it at once) and keeps what signing needs (the BIP-39 seed of a mnemonic wallet, or the two keys of
// a private-key wallet, and the keys derived so far) in memory that is locked, excluded
// from core dumps and wiped when the session closes. With no index, a session signs
// for a chain family with the account the wallet stores for that family (its stored
// derivation path; the stored key for private-key wallets), so the key that signs is
// the one whose address the wallet lists.
//
// Every member may be called from several threads at once; one mutex orders them, and
// none of them blocks for longer than a key derivation and a signature (a broadcast
// waits for the node without holding it). In a forked child of the process that unlocked
// it a session is closed: every member fails with SessionClosed "a session does not pass
// to a forked process; unlock the wallet again to sign" (closed() is true) without
// waiting for the mutex, which another thread may have held at the fork.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "vek/core/chain.h"
#include "vek/lib/broadcast.h"
#include "vek/lib/error.h"
#include "vek/lib/secrets.h"
#include "vek/lib/signing.h"
#include "vek/lib/types.h"

namespace vek_core {
struct EncryptedWallet;  // the wallet file record (internal)
}  // namespace vek_core

namespace vek_lib {

struct WalletSecret;  // wallets.h

// A signed transaction: the signature, and for chain families whose signer assembles
// signed transactions from what sign_transaction takes (EVM), the signed transaction
// and its hash, ready for any broadcaster.
struct SignedTransaction {
  SignResult signature;
  std::optional<std::string> raw_transaction;  // lower-case hex with "0x"
  std::optional<std::string> tx_hash;          // "0x" + Keccak-256 of the raw transaction (EVM)
};

// Which account of a chain a session uses: by default the wallet's first stored account
// of the chain's family (on the chain's coin type: secrets.h chain_account_path); an index
// selects the chain's default path for that index; a derivation path selects that path
// (mnemonic wallets; validated as every path is, or the seed-prefix marker).
// Every Session method taking a chain name accepts any chain of the table or
// "eip155:<n>"; the overloads taking a vek_core::Chain sign for the chain given.
struct AccountRef {
  OptIndex index;
  OptText path;
  AccountRef() = default;
  AccountRef(std::nullopt_t) {}                     // NOLINT: the default account
  AccountRef(OptIndex i) : index(i) {}              // NOLINT
  AccountRef(std::uint32_t i) : index(i) {}         // NOLINT
  AccountRef(OptIndex i, OptText p) : index(i), path(p) {}
};

// What Session::sign_transaction and Session::assemble make of the bytes given.
enum class TxForm : std::uint8_t {
  // What the application API signs: an EVM typed transaction held to a node's reading
  // (see sign_transaction), completed with the signature; a whole Solana transaction
  // (its signature slots, then a message that needs that many signatures) completed
  // with it too; any other bytes signed as given.
  Checked,
  // Completed by sign_and_assemble (broadcast.h) with none of the checks above.
  Assembled,
  // Signed as given by the family's transaction scheme; nothing is checked or completed.
  AsGiven,
};

class Session {
 public:
  // Finds the wallet (by id, else by its only name), decrypts it with `passphrase`
  // (absent: "") and checks the decrypted secret. `ttl_seconds`, when given, is how long
  // the session may sign; it must be above zero (infinity means no limit).
  // A wallet marked "bip39_passphrase" needs `bip39_passphrase`, under which its seed is
  // taken and its stored accounts checked; the session keeps only that seed.
  // Errors: InvalidInput "ttl must be a positive number of seconds"; those of
  // load_wallet_by_name_or_id; those of check_bip39_use (before decrypting); those of
  // decrypt_wallet (Crypto DecryptionFailed for a wrong passphrase); those of
  // check_stored_accounts (a wrong BIP-39 passphrase: "the BIP-39 passphrase does not
  // give the stored accounts of wallet '{name}'"); Io when the memory for the secret
  // cannot be mapped.
  [[nodiscard]] static VekResult<std::unique_ptr<Session>> unlock(std::string_view wallet, OptText passphrase,
                                                                  OptText vault,
                                                                  std::optional<double> ttl_seconds = std::nullopt,
                                                                  OptText bip39_passphrase = std::nullopt);

  // The same for a wallet record already read from `vault`: check_bip39_use, then
  // decrypt_wallet, then the checks of the secret. The library's one-call operations
  // open their wallet with it (no time limit) and close it when done.
  [[nodiscard]] static VekResult<std::unique_ptr<Session>> open(const vek_core::EncryptedWallet& wallet,
                                                                OptText passphrase, OptText vault,
                                                                std::optional<double> ttl_seconds = std::nullopt,
                                                                OptText bip39_passphrase = std::nullopt);

  // An ephemeral session: one over a secret given by the caller rather than read from a
  // vault (no file, no scrypt). `made` is what mnemonic_wallet_secret or
  // private_key_wallet_secret (wallets.h) give, `bip39_passphrase` the one a phrase's
  // accounts were derived under. The secret is checked against its accounts and kept
  // as open() keeps a decrypted one. wallet() has an empty id, name and created_at, the
  // accounts made and their generated_keys; add_account() refuses (there is no file).
  // Errors: InvalidInput "ttl must be a positive number of seconds"; those of
  // check_stored_accounts; Io when the memory for the secret cannot be mapped.
  [[nodiscard]] static VekResult<std::unique_ptr<Session>> from_secret(const WalletSecret& made,
                                                                       OptText bip39_passphrase,
                                                                       std::optional<double> ttl_seconds);

  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;
  ~Session();

  // The public view of the wallet as it was when unlocked.
  [[nodiscard]] const WalletInfo& wallet() const noexcept { return info_; }

  // Whether the session can no longer sign (closed, its time to live has run out, or
  // this is a forked child of the process that unlocked it; such a session is wiped here).
  [[nodiscard]] bool closed();

  // Wipes and releases every secret. Idempotent; waits for a signature in progress.
  void close() noexcept;

  // The address of the key that would sign for `chain` with `which` (by default the
  // wallet's stored account of that family).
  // Errors: InvalidInput (unknown chain; "give an index or a derivation path, not both";
  // "a private-key wallet has no derivation paths"); SessionClosed; Hd (a path that is
  // not valid for the family's curve); Signer. The same errors apply wherever an
  // AccountRef is taken.
  [[nodiscard]] VekResult<std::string> address(std::string_view chain, AccountRef which);

  // The public key of the key that would sign for `chain` with `which`, in lower-case
  // hex: the compressed point (33 bytes) for secp256k1 families, the 32-byte key for
  // Ed25519 families (as vek_lib::public_key gives for the stored account).
  // Errors: those of address().
  [[nodiscard]] VekResult<std::string> public_key(std::string_view chain, AccountRef which);

  // The address of the account at `which` (as address()); nothing is stored.
  [[nodiscard]] VekResult<std::string> derive(std::string_view chain, AccountRef which) { return address(chain, which); }

  // Adds the account at `which` for `chain`'s family (on the family's default chain) to
  // the wallet's file, after its stored accounts, and returns the wallet as stored. The
  // file is read afresh and written atomically through the vault's save path; name, id,
  // created_at and secret are unchanged. An account of the same chain and path already
  // stored is not added again (nothing is written). The session's wallet() stays as it
  // was when unlocked.
  // Errors: InvalidInput "a session made from a phrase or key (not unlocked from a vault)
  // has no wallet file to add an account to" (from_secret), first; those of address();
  // InvalidInput "a private-key wallet has one account per family"; those of load_stored_wallet (the wallet deleted meanwhile) and
  // save_encrypted_wallet; Io "refusing to add an account to wallet '{id}': its file
  // holds another encrypted secret than the one this session unlocked; unlock the wallet
  // again" when the file's envelope is not the one the session decrypted (another secret,
  // or the same under a changed passphrase), checked before anything is written.
  [[nodiscard]] VekResult<WalletInfo> add_account(std::string_view chain, AccountRef which);

  // Signs a message in `format`, by default the family's standard: EVM "eip191" (or
  // "eip712", `message` being the typed-data JSON), Solana "raw", Bitcoin "bip322" (or
  // "bip137", "raw"), Cosmos "adr036" (or "raw"), Tron "tip191" (or "raw"), TON "raw"
  // (verify.h and vek/signer/message_formats.h say what each signs). The signature is the
  // format's text: base64 for bip322, bip137 and adr036, lower-case hex otherwise; the
  // result names the format, and for adr036 carries the public key (type
  // "tendermint/PubKeySecp256k1", base64 of the compressed key). With format "raw" (and
  // "eip191") the signature is that of signing.h sign_message, except that Solana, Cosmos and
  // TON "raw" refuse bytes whose signature would authorise a transaction (raw_messages.h:
  // InvalidInput "refusing to sign {what} as a raw message: ..."). Solana "offchain" writes
  // the short off-chain header, "offchain_domain" the one with application domain and signers.
  // The chain is checked first, then the format, then `message` is turned into bytes
  // (message_bytes: UTF-8 text, or hex, "0x" optional, with encoding "hex"), then the key is used.
  // Errors: InvalidInput (unknown chain; "unknown format for {an EVM / a Bitcoin / ...}
  // chain: '{format}' (use {the family's formats})"; bad hex, unknown encoding; a raw
  // refusal); SessionClosed; Hd; Signer (eip712: malformed typed data, vek/signer/eip712.h).
  // With "eip712" the typed data is checked as by sign_typed_data, before the session is
  // looked at.
  [[nodiscard]] VekResult<SignResult> sign_message(std::string_view chain, std::string_view message, OptText encoding,
                                                   AccountRef which, OptText format = std::nullopt,
                                                   const MessageContext& context = {});
  // The same for message bytes taken as they are.
  [[nodiscard]] VekResult<SignResult> sign_message(std::string_view chain, std::span<const std::uint8_t> message,
                                                   AccountRef which, OptText format = std::nullopt,
                                                   const MessageContext& context = {});
  [[nodiscard]] VekResult<SignResult> sign_message(const vek_core::Chain& chain, std::span<const std::uint8_t> message,
                                                   AccountRef which, OptText format, const MessageContext& context);

  // Signs `message` with the message scheme of the family's signer (vek/signer/traits.h),
  // with no format and nothing refused: what signing.h sign_message returns.
  // Errors: SessionClosed; those of the account (address()); Signer.
  [[nodiscard]] VekResult<SignResult> sign_family_message(const vek_core::Chain& chain,
                                                          std::span<const std::uint8_t> message, AccountRef which);

  // EIP-712 (eth_signTypedData_v4) by an EVM chain's key: the signature r || s || v with
  // v = 27 or 28, the form wallets return, recovery_id = v, format "eip712".
  // Errors: InvalidInput (unknown chain; "typed data is signed by EVM chains only, not
  // {family}"); Signer InvalidMessage "typed data: ..." (vek/signer/eip712.h) and
  // InvalidInput "the typed data's domain chainId {id} is not that of '{chain name}'
  // ({CAIP-2 id})" (a domain whose type has chainId must name the chain signed for; {id}
  // in decimal, or the JSON given when it is not an integer), both before the session is
  // looked at; SessionClosed; Hd; Signer.
  [[nodiscard]] VekResult<SignResult> sign_typed_data(std::string_view chain, std::string_view typed_data,
                                                      AccountRef which);

  // As signing.h sign_transaction (the same bytes are signed, giving the same signature),
  // `tx_hex` decoded by decode_transaction_hex after the chain is checked; for EVM chains
  // also the signed transaction and its hash, assembled by sign_and_assemble (broadcast.h)
  // as send() assembles it.
  // For EVM chains, before the session is looked at (signing.h sign_transaction checks none
  // of this; send() checks all of it), a typed transaction the signer can complete must be
  // (InvalidInput):
  //   - nothing after its RLP list: "{n} byte(s) follow(s) the transaction's RLP list";
  //   - canonical RLP throughout, a list, integer fields without leading zeros: the texts
  //     of rlp::read_typed_tx (vek/signer/rlp.h), e.g. "non-canonical RLP length: a long
  //     form for a length below 56", "the nonce has a leading zero byte";
  //   - for its own chain id the chain's: "the transaction's chain id {id} is not that of
  //     '{chain name}' ({CAIP-2 id})".
  // Errors: InvalidInput (unknown chain, bad hex, the checks above); SessionClosed; Hd;
  // Signer (for EVM also when the bytes are not an unsigned typed transaction the signer
  // can complete).
  [[nodiscard]] VekResult<SignedTransaction> sign_transaction(std::string_view chain, std::string_view tx_hex,
                                                              AccountRef which);
  // The same for transaction bytes taken as they are.
  [[nodiscard]] VekResult<SignedTransaction> sign_transaction(std::string_view chain,
                                                              std::span<const std::uint8_t> tx, AccountRef which);
  // The same for a resolved chain, the bytes taken in `form`. With TxForm::Checked (what
  // the overloads above use) Solana is signed as sign_solana_transaction
  // (session/solana_signing.h) signs: a whole transaction gets the signature in the slot
  // of the account's key among its required signers and comes back as raw_transaction,
  // lower-case hex without "0x", the other slots as given; tx_hash is the base58 of its
  // first slot once that slot is filled (a node's name for it), else absent. A bare
  // message is signed when the account is its only signer (no raw_transaction). Errors
  // there: InvalidInput "{address} is not a signer of this transaction", "this message
  // needs {n} signatures: ...", "invalid solana transaction: {reason}" for other bytes.
  [[nodiscard]] VekResult<SignedTransaction> sign_transaction(const vek_core::Chain& chain,
                                                              std::span<const std::uint8_t> tx, AccountRef which,
                                                              TxForm form = TxForm::Checked);

  // Signs and completes `tx` (sign_and_assemble), nothing sent; with TxForm::Checked the
  // EVM checks of sign_transaction come first (TxForm::AsGiven is taken as Assembled), and
  // Solana takes only a whole transaction ("invalid solana transaction: {reason}"),
  // signed into the account's slot as sign_transaction signs it.
  // Errors: as send() before anything is submitted.
  [[nodiscard]] VekResult<AssembledTransaction> assemble(const vek_core::Chain& chain,
                                                         std::span<const std::uint8_t> tx, AccountRef which,
                                                         TxForm form);

  // As signing.h sign_and_send, with the session's key: signs, assembles and submits the
  // transaction (EVM and Solana) and returns the node's transaction hash, which must be
  // the transaction's own. It signs and assembles under the session's lock, straight
  // from its locked pages, then releases the lock and waits for the node: no copy of a
  // key is alive during the wait, and the session may be closed (or expire) meanwhile.
  // The endpoint and the request are handled as broadcast.h submit_signed describes (an
  // unusable configuration file is refused, nothing on a command line, redirects only to
  // the same host), within `limits` (a time allowed and a cancel token).
  // Errors: InvalidInput (unknown chain, bad hex, the EVM checks of sign_transaction;
  // Solana: those of assemble(), then another signer's signature still missing, before
  // anything is sent); SessionClosed; Hd; those of sign_and_assemble and submit_signed
  // (broadcast.h).
  [[nodiscard]] VekResult<std::string> send(std::string_view chain, std::string_view tx_hex, OptText rpc_url,
                                            AccountRef which, const CallLimits& limits = {});
  [[nodiscard]] VekResult<std::string> send(std::string_view chain, std::span<const std::uint8_t> tx, OptText rpc_url,
                                            AccountRef which, const CallLimits& limits = {});
  // assemble() with TxForm::Checked, then broadcast() (signing.h) of the result.
  [[nodiscard]] VekResult<std::string> send(const vek_core::Chain& chain, std::span<const std::uint8_t> tx,
                                            OptText rpc_url, AccountRef which, const CallLimits& limits = {});

  // ---- EVM signing in the forms eth-account and web3 use (evm_signing.cpp)

  // Signs the transaction the family's `assemble` makes of `fields_json` (EVM: an
  // eth-account transaction dictionary as JSON, families/evm/transaction.h), exactly as
  // sign_transaction signs those bytes (its checks included: another chain's chainId is
  // refused there). A "from" field must name the signing account (any case).
  // Errors: InvalidInput (unknown chain; "transaction fields are assembled for {families}
  // chains only, not {family}"; the assembler's "transaction fields: ..."; "transaction
  // fields: from {from} is not the signing account {address}"); those of sign_transaction.
  [[nodiscard]] VekResult<SignedTransaction> sign_transaction_fields(std::string_view chain,
                                                                     std::string_view fields_json, AccountRef which);

  // Signs an EIP-191 signed-data message from its parts (eth-account's SignableMessage:
  // version, header, body; EvmSigner::signable_message_hash): v = 27 or 28; format
  // "eip191" for versions 0x45 and 0x00, "eip712" for 0x01 (whose domain is not seen, so
  // its chainId is not checked). Errors: InvalidInput (unknown chain, not an EVM chain,
  // the parts refused); SessionClosed; Hd; Signer.
  [[nodiscard]] VekResult<SignResult> sign_signable_message(std::string_view chain, std::uint8_t version,
                                                            std::span<const std::uint8_t> header,
                                                            std::span<const std::uint8_t> body, AccountRef which);

  // Signs a 32-byte hash as given with an EVM chain's key (eth-account's unsafe_sign_hash):
  // whatever the hash is the digest of, a transaction's included, the signature authorises
  // it. v = 27 or 28, format empty. Errors: InvalidInput (unknown chain, not an EVM chain,
  // "the hash must be 32 bytes, got {n}"); SessionClosed; Hd; Signer.
  [[nodiscard]] VekResult<SignResult> unsafe_sign_hash(std::string_view chain, std::span<const std::uint8_t> hash,
                                                       AccountRef which);

  class Secrets;  // the locked pages holding the secret and the derived keys

 private:
  using Clock = std::chrono::steady_clock;

  Session(WalletInfo info, std::optional<std::string> vault, std::unique_ptr<Secrets> secrets,
          std::optional<Clock::time_point> deadline, std::string ttl_text);
  // The session over `wallet`'s decrypted secret `plain` (open() and from_secret()).
  [[nodiscard]] static VekResult<std::unique_ptr<Session>> over(const vek_core::EncryptedWallet& wallet,
                                                                const vek_signer::SecretBytes& plain, OptText vault,
                                                                std::optional<double> ttl_seconds,
                                                                OptText bip39_passphrase);
  // Under mu_: the derivation path `which` names for `chain` (empty for private-key wallets).
  [[nodiscard]] VekResult<std::string> path_locked(const vek_core::Chain& chain, const AccountRef& which);

  // Whether this is a forked child of the process that unlocked the session.
  [[nodiscard]] bool forked_child() const noexcept;
  // The lock on the session's state; in a forked child, SessionClosed without touching
  // the lock, which another thread of the parent may have held at the fork (no thread of
  // the child would ever release it).
  [[nodiscard]] VekResult<std::unique_lock<std::mutex>> lock_unless_forked();
  // Under mu_: SessionClosed when closed or expired (wiping an expired session first).
  [[nodiscard]] VekResult<void> check_open_locked();
  // Under mu_: the key that signs for `chain` with `which`, valid until mu_ is released.
  [[nodiscard]] VekResult<std::span<const std::uint8_t>> key_locked(const vek_core::Chain& chain, AccountRef which);

  // Takes the lock and signs the 32-byte `digest` with the EVM key for `chain`, v = 27 or
  // 28, the signature written as format `format_name`'s (an EVM format) is.
  [[nodiscard]] VekResult<SignResult> sign_evm_digest(const vek_core::Chain& chain,
                                                      std::span<const std::uint8_t> digest, AccountRef which,
                                                      std::string_view format_name);
  // sign_transaction's result for a Solana `tx` taken with TxForm::Checked.
  [[nodiscard]] VekResult<SignedTransaction> solana_result(const vek_core::Chain& chain,
                                                           std::span<const std::uint8_t> tx, AccountRef which);
  // Takes the lock and signs the Solana `tx` with the key for `chain` as
  // sign_solana_transaction does.
  [[nodiscard]] VekResult<AssembledTransaction> sign_solana_locked(const vek_core::Chain& chain,
                                                                   std::span<const std::uint8_t> tx, AccountRef which);

  // Takes the lock and signs `tx` with the key for `chain`: completed by
  // sign_and_assemble when `assemble`, else the signature alone.
  [[nodiscard]] VekResult<AssembledTransaction> sign_locked(const vek_core::Chain& chain,
                                                            std::span<const std::uint8_t> tx, AccountRef which,
                                                            bool assemble);

  const WalletInfo info_;
  const std::optional<std::string> vault_;  // the vault the wallet was read from (add_account)
  std::mutex mu_;
  std::unique_ptr<Secrets> secrets_;  // null once closed
  const std::optional<Clock::time_point> deadline_;
  const std::string ttl_text_;
  bool expired_ = false;
  bool forked_ = false;
  const pid_t pid_;  // the process that unlocked the session
};

}  // namespace vek_lib
