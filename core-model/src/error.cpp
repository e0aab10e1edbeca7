#include "vek/core/error.h"

#include <algorithm>
#include <array>

#include "vek/core/support.h"

namespace vek_core {
namespace {

using C = ErrorCode;

// clang-format off
constexpr std::array kTable = {
    ErrorInfo{C::EncryptionFailed, "encryption_failed", "encryption failed: {detail}", "CryptoError",
              "The random source, scrypt or the cipher failed while encrypting a secret."},
    ErrorInfo{C::DecryptionFailed, "decryption_failed", "decryption failed: {detail}", "WrongPassphraseError",
              "An envelope or key file did not authenticate (a wrong passphrase or altered data), or scrypt failed."},
    ErrorInfo{C::InvalidParams, "invalid_params", "invalid parameters: {detail}", "CryptoError",
              "An envelope or key file has parameters or data that cannot be used."},
    ErrorInfo{C::InvalidPrivateKey, "invalid_private_key", "invalid private key: {detail}", "SignerError",
              "A key is not a valid key of the chain's curve."},
    ErrorInfo{C::InvalidMessage, "invalid_message", "invalid message: {detail}", "SignerError",
              "A message, or a document to sign or check, is malformed."},
    ErrorInfo{C::SigningFailed, "signing_failed", "signing failed: {detail}", "SignerError",
              "The signature primitive failed."},
    ErrorInfo{C::AddressDerivation, "address_derivation", "address derivation failed: {detail}", "SignerError",
              "An address could not be made from a key."},
    ErrorInfo{C::InvalidTransaction, "invalid_transaction", "invalid transaction: {detail}", "SignerError",
              "A transaction cannot be read, signed or assembled by its chain's signer."},
    ErrorInfo{C::GenerationFailed, "mnemonic_generation_failed", "mnemonic generation failed: {detail}",
              "MnemonicError", "A recovery phrase could not be made (random source or entropy length)."},
    ErrorInfo{C::InvalidPhrase, "invalid_phrase", "invalid mnemonic phrase: {detail}", "MnemonicError",
              "A typed recovery phrase is not a valid BIP-39 English phrase."},
    ErrorInfo{C::InvalidPath, "invalid_path", "invalid derivation path: {detail}", "DerivationError",
              "A derivation path is malformed or has an index out of range."},
    ErrorInfo{C::DerivationFailed, "derivation_failed", "derivation failed: {detail}", "DerivationError",
              "A key could not be derived from a seed or node."},
    ErrorInfo{C::Ed25519NonHardened, "ed25519_non_hardened", "ed25519 requires hardened-only derivation",
              "DerivationError", "An Ed25519 path has a component without the hardened marker."},
    ErrorInfo{C::WalletNotFound, "wallet_not_found", "wallet not found: '{detail}'", "WalletNotFoundError",
              "No wallet has this id or name."},
    ErrorInfo{C::AmbiguousWallet, "ambiguous_wallet",
              "ambiguous wallet name '{detail}' matches {value} wallets; use the wallet ID instead",
              "AmbiguousWalletError", "Several wallets have this name."},
    ErrorInfo{C::WalletNameExists, "wallet_name_exists", "wallet name already exists: '{detail}'",
              "WalletNameExistsError", "Another wallet already has this name."},
    ErrorInfo{C::InvalidInput, "invalid_input", "invalid input: {detail}", "InvalidInputError",
              "An argument or a stored value is not acceptable."},
    ErrorInfo{C::BroadcastFailed, "broadcast_failed", "broadcast failed: {detail}", "BroadcastError",
              "A transaction could not be submitted, or the node's reply was not the one expected."},
    ErrorInfo{C::Io, "io", "I/O error: {detail}", "VaultError",
              "The vault directory or a file could not be read or written."},
    ErrorInfo{C::Json, "json", "JSON error: {detail}", "JsonError",
              "A document (wallet data or a node's reply) is not the JSON expected."},
    ErrorInfo{C::SessionClosed, "session_closed", "session closed: {detail}", "SessionClosedError",
              "The session was closed, its time to live ran out, or it passed to a forked process."},
    ErrorInfo{C::Bech32InvalidHrp, "bech32_invalid_hrp", "invalid human-readable part", "InvalidInputError",
              "A bech32 human-readable part is empty, too long, mixed case or has a character outside 33..126."},
    ErrorInfo{C::Bech32TooLong, "bech32_too_long", "bech32 string of {value} characters exceeds the limit of {limit}",
              "InvalidInputError", "A bech32 string is longer than its limit."},
    ErrorInfo{C::Bech32InvalidDataValue, "bech32_invalid_data_value",
              "data value at position {value} does not fit in {limit} bits", "InvalidInputError",
              "A value to encode or regroup is wider than its group."},
    ErrorInfo{C::Bech32InvalidCharacter, "bech32_invalid_character", "invalid bech32 character at position {value}",
              "InvalidInputError", "A bech32 string has a character outside its alphabet."},
    ErrorInfo{C::Bech32MixedCase, "bech32_mixed_case", "mixed-case bech32 string", "InvalidInputError",
              "A bech32 string mixes upper and lower case."},
    ErrorInfo{C::Bech32MissingSeparator, "bech32_missing_separator", "missing separator '1'", "InvalidInputError",
              "A bech32 string has no '1' between its human-readable part and its data."},
    ErrorInfo{C::Bech32ChecksumTooShort, "bech32_checksum_too_short", "checksum shorter than 6 characters",
              "InvalidInputError", "A bech32 string's data is shorter than its checksum."},
    ErrorInfo{C::Bech32InvalidChecksum, "bech32_invalid_checksum", "invalid bech32 checksum", "InvalidInputError",
              "A bech32 string's checksum does not match."},
    ErrorInfo{C::Bech32InvalidPadding, "bech32_invalid_padding", "invalid padding in bit regrouping",
              "InvalidInputError", "Regrouped bits leave a partial group or non-zero padding."},
    ErrorInfo{C::Bech32HrpMismatch, "bech32_hrp_mismatch", "unexpected human-readable part", "InvalidInputError",
              "A SegWit address has another network's human-readable part."},
    ErrorInfo{C::Bech32InvalidWitnessVersion, "bech32_invalid_witness_version", "invalid witness version {value}",
              "InvalidInputError", "A SegWit address has a witness version other than 0."},
    ErrorInfo{C::Bech32InvalidProgramLength, "bech32_invalid_program_length",
              "invalid witness program length {value}", "InvalidInputError",
              "A SegWit program is not 20 or 32 bytes long."},
    ErrorInfo{C::Base58InvalidCharacter, "base58_invalid_character", "invalid base58 character at position {value}",
              "InvalidInputError", "A Base58 text has a character outside its alphabet."},
    ErrorInfo{C::Base58TooShort, "base58_too_short",
              "base58check text decodes to {value} bytes, fewer than the 4 checksum bytes", "InvalidInputError",
              "A Base58Check text is shorter than its checksum."},
    ErrorInfo{C::Base58BadChecksum, "base58_bad_checksum", "base58check checksum mismatch", "InvalidInputError",
              "A Base58Check text's checksum does not match."},
    ErrorInfo{C::Base64InvalidCharacter, "base64_invalid_character", "invalid base64 character at position {value}",
              "InvalidInputError", "A Base64 text has a character outside its alphabet or misplaced padding."},
    ErrorInfo{C::Base64InvalidLength, "base64_invalid_length", "invalid base64 length {value}", "InvalidInputError",
              "A Base64 text has a length no byte string encodes to."},
    ErrorInfo{C::Base64NonCanonical, "base64_non_canonical", "non-zero trailing bits in base64 text",
              "InvalidInputError", "A Base64 text sets bits after its last byte."},
    ErrorInfo{C::WrongBip39Passphrase, "wrong_bip39_passphrase", "invalid input: {detail}", "WrongBip39PassphraseError",
              "A wallet's stored accounts are not those of its phrase under the BIP-39 passphrase given."},
    ErrorInfo{C::NotSent, "not_sent", "transaction not sent: {detail}", "NotSentError",
              "The node certainly did not take the transaction: no connection, a refusal, or cancelled before "
              "the request."},
    ErrorInfo{C::SendOutcomeUnknown, "send_outcome_unknown", "not known whether the transaction was sent: {detail}",
              "SendOutcomeUnknownError",
              "The request went out and no complete answer came (time-out, cancelled, connection lost)."},
    ErrorInfo{C::WaitTimeout, "wait_timeout", "wait timed out: {detail}", "WaitTimeoutError",
              "No receipt or confirmation came within the time allowed; the transaction may still be included."},
    ErrorInfo{C::WaitCancelled, "wait_cancelled", "wait cancelled: {detail}", "WaitCancelledError",
              "A wait for a transaction was cancelled; the transaction may still be included."},
};

constexpr std::array kClasses = {
    ErrorClassInfo{"VekError", "",
                   "Every failure of a vek operation. A RuntimeError, with the same one-line message as vek._native.",
                   false},
    ErrorClassInfo{"WalletNotFoundError", "VekError", "No wallet has that id or name.", false},
    ErrorClassInfo{"AmbiguousWalletError", "VekError", "Several wallets have that name; use the wallet id.", false},
    ErrorClassInfo{"WalletNameExistsError", "VekError", "Another wallet already has that name.", false},
    ErrorClassInfo{"InvalidInputError", "VekError",
                   "An argument or a stored value is not acceptable (chain, hex, word count, encoding, key data, ...).",
                   false},
    ErrorClassInfo{"BroadcastError", "VekError",
                   "A transaction could not be submitted, or the node's reply had no transaction hash.", false},
    ErrorClassInfo{"NotSentError", "BroadcastError",
                   "The transaction was certainly not submitted (no connection, the node refused it, cancelled\n"
                   "before the request): sending it again is safe.",
                   false},
    ErrorClassInfo{"SendOutcomeUnknownError", "BroadcastError",
                   "The request went out but no complete answer came (time-out, cancelled in flight, connection\n"
                   "lost): look the transaction up (tx_hash) before sending it again.",
                   false},
    ErrorClassInfo{"WaitTimeoutError", "VekError",
                   "No receipt or confirmation within the time allowed; the transaction may still be included.",
                   false},
    ErrorClassInfo{"WaitCancelledError", "VekError",
                   "A wait for a transaction was cancelled; the transaction may still be included.", false},
    ErrorClassInfo{"CryptoError", "VekError",
                   "The wallet's encryption envelope cannot be used (bad parameters or data).", false},
    ErrorClassInfo{"WrongPassphraseError", "CryptoError",
                   "The envelope did not authenticate: a wrong passphrase (or altered encrypted data).", false},
    ErrorClassInfo{"WrongBip39PassphraseError", "WrongPassphraseError",
                   "The BIP-39 passphrase given does not give the wallet's stored accounts (a wrong one).", false},
    ErrorClassInfo{"SignerError", "VekError", "The chain's signer refused a key, message or transaction.", false},
    ErrorClassInfo{"MnemonicError", "VekError", "A recovery phrase is invalid, or one could not be generated.", false},
    ErrorClassInfo{"DerivationError", "VekError", "A key could not be derived (derivation path or index).", false},
    ErrorClassInfo{"VaultError", "VekError", "The vault directory or a wallet file could not be read or written.",
                   false},
    ErrorClassInfo{"JsonError", "VekError", "A document (wallet data or a node's reply) is not the JSON expected.",
                   false},
    ErrorClassInfo{"SessionClosedError", "VekError",
                   "The session was closed or its time to live ran out; unlock the wallet again.", false},
    ErrorClassInfo{kOutOfMemoryClass, "VekError",
                   "The key derivation (scrypt) could not have its working memory; also a MemoryError. Nothing was\n"
                   "decrypted or written: free memory (or raise the address-space limit) and try again.",
                   true},
    ErrorClassInfo{kInternalClass, "VekError",
                   "An internal fault of the native code (vek._native raises PanicException for it). It should never\n"
                   "happen; please report it. Nothing was written.",
                   false},
};
// clang-format on

constexpr bool table_in_code_order() {
  for (std::size_t i = 0; i < kTable.size(); ++i) {
    if (static_cast<std::size_t>(kTable[i].code) != i) return false;
  }
  return kTable.size() == static_cast<std::size_t>(ErrorCode::WaitCancelled) + 1;
}
static_assert(table_in_code_order(), "one row per ErrorCode, in its order");

// Each row's class is a listed class, and each class comes after its base.
constexpr bool classes_consistent() {
  auto position = [](std::string_view name) -> std::size_t {
    for (std::size_t i = 0; i < kClasses.size(); ++i) {
      if (kClasses[i].name == name) return i;
    }
    return kClasses.size();
  };
  for (std::size_t i = 1; i < kClasses.size(); ++i) {
    if (position(kClasses[i].base) >= i) return false;
  }
  return std::all_of(kTable.begin(), kTable.end(),
                     [&](const ErrorInfo& row) { return position(row.error_class) < kClasses.size(); });
}
static_assert(kClasses[0].base.empty() && classes_consistent(), "the classes form one tree over the table's rows");

// `format` with {detail}, {value} and {limit} replaced by the error's fields.
std::string fill(std::string_view format, const Error& e) {
  std::string out;
  out.reserve(format.size() + e.detail.size());
  while (!format.empty()) {
    const std::size_t open = format.find('{');
    out.append(format.substr(0, open));
    if (open == std::string_view::npos) break;
    format.remove_prefix(open);
    const std::size_t close = format.find('}');
    const std::string_view field = format.substr(1, close - 1);
    if (field == "detail") {
      out.append(e.detail);
    } else if (field == "value") {
      out.append(std::to_string(e.value));
    } else {
      out.append(std::to_string(e.limit));
    }
    format.remove_prefix(close + 1);
  }
  return out;
}

bool letters_only(std::string_view word) {
  return std::all_of(word.begin(), word.end(), [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); });
}

}  // namespace

std::span<const ErrorInfo> error_table() noexcept { return kTable; }
const ErrorInfo& error_info(ErrorCode code) noexcept { return kTable[static_cast<std::size_t>(code)]; }
std::span<const ErrorClassInfo> error_classes() noexcept { return kClasses; }

std::string_view error_class_of(const Error& error) noexcept {
  return error.scrypt_memory_bytes != 0 ? kOutOfMemoryClass : error_info(error.code).error_class;
}

std::string Error::display() const { return fill(error_info(code).format, *this); }

std::string Error::display_without_phrase() const {
  if (code != ErrorCode::InvalidPhrase || fault == PhraseFault::None) return display();
  const std::string_view format = error_info(code).format;
  std::string out(format.substr(0, format.find('{')));
  const std::string n = std::to_string(value);
  switch (fault) {
    case PhraseFault::UnknownWord:
      out.append("word ").append(n);
      if (word.empty()) return out.append(" is empty (words are separated by single spaces, with none before or after)");
      if (word.size() <= 16 && letters_only(word)) {
        return out.append(" is not in the BIP-39 English word list: `").append(word).append("`");
      }
      return out.append(
          " is not in the BIP-39 English word list (not shown: not a run of at most 16 letters; words are separated "
          "by single spaces)");
    case PhraseFault::WordCount:
      return out.append(n).append(value == 1 ? " word" : " words").append("; a phrase has 12, 15, 18, 21 or 24 words");
    case PhraseFault::Checksum:
      return out.append("the checksum does not match: a word is wrong, or the words are out of order");
    case PhraseFault::None: break;
  }
  return display();
}

Error Error::io_errno(int err) { return io(os_error_text(err)); }

}  // namespace vek_core
