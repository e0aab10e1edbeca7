#include "vek/lib/session.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>
#include <utility>
#include <vector>

#include "checks.h"
#include "message_formats.h"
#include "secrets.h"
#include "solana_signing.h"
#include "transactions/solana_transaction.h"
#include "vek/lib/broadcast.h"
#include "vek/core/ascii.h"
#include "vek/lib/vault.h"
#include "vek/lib/wallets.h"
#include "vek/signer/chains.h"
#include "vek/signer/hex.h"
#include "vek/signer/public_key.h"

namespace vek_lib {

using vek_core::ChainType;
using vek_core::EncryptedWallet;

namespace {

constexpr std::string_view kForkedText = "a session does not pass to a forked process; unlock the wallet again to sign";

std::string seconds_text(double seconds) {
  std::array<char, 64> buf{};
  auto [end, ec] = std::to_chars(buf.data(), buf.data() + buf.size(), seconds);
  return ec == std::errc() ? std::string(buf.data(), end) : std::string("?");
}

VekResult<void> check_ttl(std::optional<double> ttl_seconds) {
  if (ttl_seconds && !(*ttl_seconds > 0)) {
    return std::unexpected(VekLibError::invalid_input("ttl must be a positive number of seconds"));
  }
  return {};
}

SignResult signature_result(const vek_signer::SignOutput& out) {
  return SignResult{vek_signer::hex_encode(out.signature), out.recovery_id, {}, std::nullopt, std::nullopt};
}

}  // namespace

VekResult<std::unique_ptr<Session>> Session::unlock(std::string_view wallet_ref, OptText passphrase, OptText vault,
                                                    std::optional<double> ttl_seconds, OptText bip39_passphrase) {
  if (auto ttl = check_ttl(ttl_seconds); !ttl) return std::unexpected(std::move(ttl.error()));
  VEK_TRY(wallet, load_wallet_by_name_or_id(wallet_ref, vault));
  return open(*wallet, passphrase, vault, ttl_seconds, bip39_passphrase);
}

VekResult<std::unique_ptr<Session>> Session::open(const EncryptedWallet& wallet, OptText passphrase, OptText vault,
                                                  std::optional<double> ttl_seconds, OptText bip39_passphrase) {
  // Before the scrypt: a BIP-39 passphrase missing, or given for a wallet without one.
  if (auto fits = check_bip39_use(wallet, bip39_passphrase); !fits) return std::unexpected(std::move(fits.error()));
  VEK_TRY(plain, decrypt_wallet(wallet, passphrase));
  return over(wallet, *plain, vault, ttl_seconds, bip39_passphrase);
}

VekResult<std::unique_ptr<Session>> Session::from_secret(const WalletSecret& made, OptText bip39_passphrase,
                                                         std::optional<double> ttl_seconds) {
  if (auto ttl = check_ttl(ttl_seconds); !ttl) return std::unexpected(std::move(ttl.error()));
  // The record a vault would store, in memory only: the checks and the keys are those of
  // a wallet read from a file.
  EncryptedWallet record;
  record.key_type = made.mnemonic ? vek_core::KeyType::Mnemonic : vek_core::KeyType::PrivateKey;
  record.accounts = made.accounts;
  record.bip39_passphrase = made.bip39_passphrase;
  record.generated_keys = made.generated_keys;
  return over(record, made.secret, std::nullopt, ttl_seconds, bip39_passphrase);
}

VekResult<std::unique_ptr<Session>> Session::over(const EncryptedWallet& wallet, const SecretBytes& plain,
                                                  OptText vault, std::optional<double> ttl_seconds,
                                                  OptText bip39_passphrase) {
  VEK_TRY(secrets, Secrets::open(wallet, plain, bip39_passphrase));
  std::optional<Clock::time_point> deadline;
  std::string ttl_text;
  // Beyond about a century a limit is no limit (and would overflow the clock).
  constexpr double kNoLimitSeconds = 3.0e9;
  if (ttl_seconds && *ttl_seconds < kNoLimitSeconds) {
    deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(*ttl_seconds));
    ttl_text = seconds_text(*ttl_seconds);
  }
  return std::unique_ptr<Session>(new Session(wallet_to_info(wallet), vault ? std::optional<std::string>(*vault) : std::nullopt,
                                              std::move(*secrets), deadline, std::move(ttl_text)));
}

Session::Session(WalletInfo info, std::optional<std::string> vault, std::unique_ptr<Secrets> secrets,
                 std::optional<Clock::time_point> deadline, std::string ttl_text)
    : info_(std::move(info)),
      vault_(std::move(vault)),
      secrets_(std::move(secrets)),
      deadline_(deadline),
      ttl_text_(std::move(ttl_text)),
      pid_(::getpid()) {}

Session::~Session() {
  // In a forked child the state may be a copy taken while another thread of the parent
  // was changing it: the secret's pages are wiped (the kernel has mostly done so) and the
  // rest is left alone rather than freed.
  if (forked_child() && secrets_) {
    secrets_->wipe();
    (void)secrets_.release();
  }
}

bool Session::forked_child() const noexcept { return ::getpid() != pid_; }

VekResult<std::unique_lock<std::mutex>> Session::lock_unless_forked() {
  if (forked_child()) return std::unexpected(VekLibError::session_closed(std::string(kForkedText)));
  return std::unique_lock(mu_);
}

VekResult<void> Session::check_open_locked() {
  if (secrets_ && !secrets_->intact()) {
    secrets_.reset();
    forked_ = true;
  }
  if (secrets_ && deadline_ && Clock::now() >= *deadline_) {
    secrets_.reset();
    expired_ = true;
  }
  if (secrets_) return {};
  if (forked_) return std::unexpected(VekLibError::session_closed(std::string(kForkedText)));
  if (expired_) {
    return std::unexpected(
        VekLibError::session_closed("its time to live of " + ttl_text_ + " s ran out; unlock the wallet again to sign"));
  }
  return std::unexpected(VekLibError::session_closed("unlock the wallet again to sign"));
}

bool Session::closed() {
  const auto lock = lock_unless_forked();
  return !lock || !check_open_locked();
}

void Session::close() noexcept {
  if (forked_child()) {  // the lock is not taken there (lock_unless_forked)
    if (secrets_) secrets_->wipe();
    return;
  }
  const std::lock_guard lock(mu_);
  secrets_.reset();
}

VekResult<std::span<const std::uint8_t>> Session::key_locked(const vek_core::Chain& chain, AccountRef which) {
  if (auto open = check_open_locked(); !open) return std::unexpected(std::move(open.error()));
  return secrets_->key(chain, which);
}

VekResult<std::string> Session::path_locked(const vek_core::Chain& chain, const AccountRef& which) {
  if (auto open = check_open_locked(); !open) return std::unexpected(std::move(open.error()));
  return secrets_->path(chain, which);
}

VekResult<WalletInfo> Session::add_account(std::string_view chain_text, AccountRef which) {
  if (info_.id.empty()) {
    return std::unexpected(VekLibError::invalid_input(
        "a session made from a phrase or key (not unlocked from a vault) has no wallet file to add an account to"));
  }
  VEK_TRY(c, resolve_chain(chain_text));
  // Stored accounts live on the family's default chain, in its form, so the account is
  // derived there (the same key as on the chain named, for a chain of the family's coin type).
  const vek_core::Chain& main = vek_signer::default_chain_for_type(c->chain_type);
  if (c->coin_type != main.coin_type) {
    return std::unexpected(VekLibError::invalid_input(
        "accounts are stored for '" + main.name + "', not for '" + c->name + "', whose keys have their own coin type (" +
        std::to_string(c->coin_type) + "); add the account on '" + main.name + "'"));
  }
  std::string address, path;
  nlohmann::json unlocked_crypto;
  {
    const auto lock = lock_unless_forked();
    if (!lock) return std::unexpected(lock.error());
    VEK_TRY(key, key_locked(main, which));
    if (!secrets_->mnemonic()) {
      return std::unexpected(VekLibError::invalid_input("a private-key wallet has one account per family"));
    }
    auto a = vek_signer::signer_for_chain(main)->derive_address(*key);
    if (!a) return std::unexpected(VekLibError(std::move(a.error())));
    address = std::move(*a);
    VEK_TRY(p, path_locked(main, which));
    path = std::move(*p);
    unlocked_crypto = secrets_->crypto();
  }
  const OptText vault = vault_ ? OptText(*vault_) : std::nullopt;
  VEK_TRY(stored, load_stored_wallet(info_.id, vault));
  // The account is derived from the secret this session holds; a file that now holds
  // another envelope (another secret, or the same under a new passphrase: which, cannot
  // be told without it) must not get it.
  if (stored->wallet.crypto != unlocked_crypto) {
    return std::unexpected(VekLibError::io("refusing to add an account to wallet '" + info_.id +
                                           "': its file holds another encrypted secret than the one this session "
                                           "unlocked; unlock the wallet again"));
  }
  auto& accounts = stored->wallet.accounts;
  const std::string& chain_id = main.chain_id;
  const bool present = std::any_of(accounts.begin(), accounts.end(), [&](const vek_core::WalletAccount& a) {
    return a.chain_id == chain_id && a.derivation_path == path && a.address == address;
  });
  if (!present) {
    vek_core::WalletAccount account;
    account.account_id = chain_id + ":" + address;
    account.address = address;
    account.chain_id = chain_id;
    account.derivation_path = path;
    accounts.push_back(std::move(account));
    if (auto saved = save_encrypted_wallet(stored->wallet, vault, stored->file_name); !saved) {
      return std::unexpected(std::move(saved.error()));
    }
  }
  return wallet_to_info(stored->wallet);
}

VekResult<std::string> Session::address(std::string_view chain, AccountRef which) {
  VEK_TRY(c, resolve_chain(chain));
  const auto lock = lock_unless_forked();
  if (!lock) return std::unexpected(lock.error());
  VEK_TRY(key, key_locked(*c, which));
  auto address = vek_signer::signer_for_chain(*c)->derive_address(*key);
  if (!address) return std::unexpected(VekLibError(std::move(address.error())));
  return std::move(*address);
}

VekResult<std::string> Session::public_key(std::string_view chain, AccountRef which) {
  VEK_TRY(c, resolve_chain(chain));
  const auto lock = lock_unless_forked();
  if (!lock) return std::unexpected(lock.error());
  VEK_TRY(key, key_locked(*c, which));
  auto pk = vek_signer::public_key(vek_signer::signer_for_chain(c->chain_type)->curve(), *key);
  if (!pk) return std::unexpected(VekLibError(std::move(pk.error())));
  return vek_signer::hex_encode(*pk);
}

VekResult<SignResult> Session::sign_message(std::string_view chain, std::string_view message, OptText encoding,
                                            AccountRef which, OptText format, const MessageContext& context) {
  VEK_TRY(c, resolve_chain(chain));
  if (auto f = find_message_format(c->chain_type, format); !f) return std::unexpected(std::move(f.error()));
  // Hex may carry "0x", as every hex input of the application API.
  if (encoding && *encoding == "hex") message = vek_core::without_0x(message, vek_core::HexPrefix::EitherCase);
  std::vector<std::uint8_t> decoded;
  VEK_TRY(bytes, message_bytes(message, encoding, decoded));
  // Hex spells bytes, not text.
  MessageContext bound = context;
  bound.binary = bound.binary || encoding.has_value();
  return sign_message(*c, *bytes, which, format, bound);
}

VekResult<SignResult> Session::sign_message(std::string_view chain, std::span<const std::uint8_t> message,
                                            AccountRef which, OptText format, const MessageContext& context) {
  VEK_TRY(c, resolve_chain(chain));
  return sign_message(*c, message, which, format, context);
}

VekResult<SignResult> Session::sign_message(const vek_core::Chain& chain, std::span<const std::uint8_t> message,
                                            AccountRef which, OptText format, const MessageContext& context) {
  VEK_TRY(f, find_message_format(chain.chain_type, format));
  // Typed data, its domain's chain included, is checked before the session is looked at.
  if ((*f)->name == "eip712") {
    if (auto ok = check_typed_data(chain, message); !ok) return std::unexpected(std::move(ok.error()));
  }
  const vek_signer::SignerPtr signer = vek_signer::signer_for_chain(chain);
  const auto lock = lock_unless_forked();
  if (!lock) return std::unexpected(lock.error());
  VEK_TRY(key, key_locked(chain, which));
  return sign_in_format(**f, MessageSignRequest{*signer, *key, message, context});
}

VekResult<SignResult> Session::sign_family_message(const vek_core::Chain& chain, std::span<const std::uint8_t> message,
                                                   AccountRef which) {
  const vek_signer::SignerPtr signer = vek_signer::signer_for_chain(chain.chain_type);
  VekResult<SignResult> out = SignResult{};
  {
    const auto lock = lock_unless_forked();
    if (!lock) return std::unexpected(lock.error());
    VEK_TRY(key, key_locked(chain, which));
    auto sig = signer->sign_message(*key, message);
    if (!sig) return std::unexpected(VekLibError(std::move(sig.error())));
    out = signature_result(*sig);
  }
  return out;
}

VekResult<SignResult> Session::sign_typed_data(std::string_view chain, std::string_view typed_data,
                                               AccountRef which) {
  VEK_TRY(c, resolve_chain(chain));
  if (c->chain_type != ChainType::Evm) {
    return std::unexpected(VekLibError::invalid_input("typed data is signed by EVM chains only, not " +
                                                      std::string(vek_core::chain_type_name(c->chain_type))));
  }
  const std::span<const std::uint8_t> json(reinterpret_cast<const std::uint8_t*>(typed_data.data()), typed_data.size());
  return sign_message(*c, json, which, "eip712", MessageContext{});
}

VekResult<SignedTransaction> Session::sign_transaction(std::string_view chain, std::string_view tx_hex,
                                                       AccountRef which) {
  VEK_TRY(c, resolve_chain(chain));
  VEK_TRY(tx, decode_transaction_hex(tx_hex));
  return sign_transaction(*c, *tx, which);
}

VekResult<SignedTransaction> Session::sign_transaction(std::string_view chain, std::span<const std::uint8_t> tx,
                                                       AccountRef which) {
  VEK_TRY(c, resolve_chain(chain));
  return sign_transaction(*c, tx, which);
}

VekResult<SignedTransaction> Session::sign_transaction(const vek_core::Chain& chain, std::span<const std::uint8_t> tx,
                                                       AccountRef which, TxForm form) {
  if (form == TxForm::Checked) {
    if (auto r = check_evm_transaction(chain, tx); !r) return std::unexpected(std::move(r.error()));
  }
  if (form == TxForm::Checked && chain.chain_type == ChainType::Solana) return solana_result(chain, tx, which);
  // EVM transactions are completed by the signature; other bytes get the signature only.
  const bool assemble =
      form == TxForm::Assembled || (form == TxForm::Checked && chain.chain_type == ChainType::Evm);
  VEK_TRY(out, sign_locked(chain, tx, which, assemble));
  SignedTransaction result{signature_result(out->signature), {}, {}};
  if (assemble) {
    result.raw_transaction = "0x" + vek_signer::hex_encode(out->signed_tx);
    result.tx_hash = transaction_hash(chain.chain_type, out->signed_tx);
  }
  return result;
}

VekResult<SignedTransaction> Session::solana_result(const vek_core::Chain& chain, std::span<const std::uint8_t> tx,
                                                    AccountRef which) {
  VEK_TRY(out, sign_solana_locked(chain, tx, which));
  SignedTransaction result{signature_result(out->signature), {}, {}};
  if (out->signed_tx.empty()) return result;  // a bare message: nothing to complete
  // The transaction is named by its first signature, known once the fee payer has signed.
  const std::span<const std::uint8_t> signed_tx(out->signed_tx);
  const auto slots = read_solana_transaction_slots(signed_tx);
  const auto first = signed_tx.subspan(slots ? slots->first_slot : 0, kSolanaSignatureBytes);
  if (slots && std::any_of(first.begin(), first.end(), [](std::uint8_t b) { return b != 0; })) {
    result.tx_hash = transaction_hash(ChainType::Solana, out->signed_tx);
  }
  result.raw_transaction = vek_signer::hex_encode(out->signed_tx);
  return result;
}

VekResult<AssembledTransaction> Session::sign_solana_locked(const vek_core::Chain& chain,
                                                            std::span<const std::uint8_t> tx, AccountRef which) {
  const auto lock = lock_unless_forked();
  if (!lock) return std::unexpected(lock.error());
  VEK_TRY(key, key_locked(chain, which));
  return sign_solana_transaction(*key, tx);
}

VekResult<AssembledTransaction> Session::sign_locked(const vek_core::Chain& chain, std::span<const std::uint8_t> tx,
                                                     AccountRef which, bool assemble) {
  // Signed (and assembled) under the lock, straight from the session's pages: no copy of
  // the key exists afterwards, and close() or the end of the time to live wipes the key
  // even while a caller still waits for a node.
  const auto lock = lock_unless_forked();
  if (!lock) return std::unexpected(lock.error());
  VEK_TRY(key, key_locked(chain, which));
  if (assemble) return sign_and_assemble(*key, chain, tx);
  auto sig = vek_signer::signer_for_chain(chain)->sign_transaction(*key, tx);
  if (!sig) return std::unexpected(VekLibError(std::move(sig.error())));
  return AssembledTransaction{std::move(*sig), {}};
}

VekResult<AssembledTransaction> Session::assemble(const vek_core::Chain& chain, std::span<const std::uint8_t> tx,
                                                  AccountRef which, TxForm form) {
  if (form == TxForm::Checked) {
    if (auto r = check_evm_transaction(chain, tx); !r) return std::unexpected(std::move(r.error()));
    if (chain.chain_type == ChainType::Solana) {
      // Only a whole transaction has the slots a node needs.
      if (auto whole = read_solana_transaction(tx); !whole) {
        return std::unexpected(VekLibError::invalid_input("invalid solana transaction: " + whole.error()));
      }
      return sign_solana_locked(chain, tx, which);
    }
  }
  return sign_locked(chain, tx, which, true);
}

VekResult<std::string> Session::send(std::string_view chain, std::string_view tx_hex, OptText rpc_url,
                                     AccountRef which, const CallLimits& limits) {
  VEK_TRY(c, resolve_chain(chain));
  VEK_TRY(tx, decode_transaction_hex(tx_hex));
  return send(*c, *tx, rpc_url, which, limits);
}

VekResult<std::string> Session::send(std::string_view chain, std::span<const std::uint8_t> tx, OptText rpc_url,
                                     AccountRef which, const CallLimits& limits) {
  VEK_TRY(c, resolve_chain(chain));
  return send(*c, tx, rpc_url, which, limits);
}

VekResult<std::string> Session::send(const vek_core::Chain& chain, std::span<const std::uint8_t> tx, OptText rpc_url,
                                     AccountRef which, const CallLimits& limits) {
  VEK_TRY(out, assemble(chain, tx, which, TxForm::Checked));
  return broadcast(chain, out->signed_tx, rpc_url, limits);
}

}  // namespace vek_lib
