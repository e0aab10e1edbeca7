// The one error type of vek: a code from one project-wide list, the text that goes with
// it, and the few numbers some codes show. Every code has a row in one table (error.cpp):
// its stable name, its display format, the exception class the bindings raise for it and
// a one-line description. Display texts come from that table and nothing else.
#pragma once

#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace vek_core {

// Enumerator names are unique across the project, so that each layer's older kind names
// (vek_signer::SignerErrorKind, HdErrorKind, ...) are aliases of this one enum.
enum class ErrorCode : std::uint8_t {
  // The key envelope and key files.
  EncryptionFailed,
  DecryptionFailed,
  InvalidParams,
  // Chain signers.
  InvalidPrivateKey,
  InvalidMessage,
  SigningFailed,
  AddressDerivation,
  InvalidTransaction,
  // Recovery phrases.
  GenerationFailed,
  InvalidPhrase,
  // Key derivation.
  InvalidPath,
  DerivationFailed,
  Ed25519NonHardened,
  // Wallets, the vault and the network.
  WalletNotFound,
  AmbiguousWallet,
  WalletNameExists,
  InvalidInput,
  BroadcastFailed,
  Io,
  Json,
  SessionClosed,
  // Text encodings of addresses and keys.
  Bech32InvalidHrp,
  Bech32TooLong,
  Bech32InvalidDataValue,
  Bech32InvalidCharacter,
  Bech32MixedCase,
  Bech32MissingSeparator,
  Bech32ChecksumTooShort,
  Bech32InvalidChecksum,
  Bech32InvalidPadding,
  Bech32HrpMismatch,
  Bech32InvalidWitnessVersion,
  Bech32InvalidProgramLength,
  Base58InvalidCharacter,
  Base58TooShort,
  Base58BadChecksum,
  Base64InvalidCharacter,
  Base64InvalidLength,
  Base64NonCanonical,
  // Wallets again (codes are appended).
  WrongBip39Passphrase,
  // Submission and waiting: what became of a transaction.
  NotSent,
  SendOutcomeUnknown,
  WaitTimeout,
  WaitCancelled,
};

// What is wrong with a typed recovery phrase (InvalidPhrase).
enum class PhraseFault : std::uint8_t {
  None = 0,         // not about a typed phrase
  UnknownWord = 1,  // a word not in the list (an empty one included)
  WordCount = 2,    // a number of words BIP-39 does not allow
  Checksum = 3,     // the words' checksum does not match
};

struct Error {
  ErrorCode code{};
  // The variable text of the code's format ({detail}); empty for codes without one.
  std::string detail{};
  // EncryptionFailed/DecryptionFailed when scrypt could not have its working memory
  // (ENOMEM): the bytes of its largest part, 128 * r * N; otherwise 0. Code and detail
  // stay what the failure has always given, so this tells a lack of memory from a wrong
  // passphrase. (Third, where the envelope's error always had it.)
  std::uint64_t scrypt_memory_bytes = 0;
  // {value} of the format: AmbiguousWallet the number of wallets; Bech32/Base58/Base64 a
  // position, length or version; InvalidPhrase with UnknownWord the word's number (from
  // 1), with WordCount or Checksum the number of words typed.
  std::uint64_t value = 0;
  // {limit}: Bech32TooLong the length limit, Bech32InvalidDataValue the group width.
  std::uint64_t limit = 0;
  PhraseFault fault = PhraseFault::None;  // InvalidPhrase: what is wrong
  std::string word{};                     // InvalidPhrase with UnknownWord: the word as typed
  // SendOutcomeUnknown, WaitTimeout, WaitCancelled: the transaction's hash, when it is known.
  std::string tx_hash{};

  // The code's format with its fields filled in.
  [[nodiscard]] std::string display() const;
  // For InvalidPhrase with a fault, a text that quotes no more of a typed phrase than the
  // word not in the list, and that one only when it is a run of at most 16 ASCII letters
  // (longer or other text may hold several words), after the code's prefix:
  //   "word {n} is not in the BIP-39 English word list: `{word}`";
  //   "word {n} is not in the BIP-39 English word list (not shown: not a run of at most
  //     16 letters; words are separated by single spaces)";
  //   "word {n} is empty (words are separated by single spaces, with none before or after)";
  //   "{count} words; a phrase has 12, 15, 18, 21 or 24 words" ("1 word; ..." for one);
  //   "the checksum does not match: a word is wrong, or the words are out of order".
  // Any other error displays as display() does.
  [[nodiscard]] std::string display_without_phrase() const;

  // Shorthands for the wallet-level codes.
  static Error wallet_not_found(std::string name_or_id) { return {ErrorCode::WalletNotFound, std::move(name_or_id)}; }
  static Error ambiguous_wallet(std::string name, std::uint64_t count) {
    return {ErrorCode::AmbiguousWallet, std::move(name), 0, count};
  }
  static Error wallet_name_exists(std::string name) { return {ErrorCode::WalletNameExists, std::move(name)}; }
  static Error invalid_input(std::string text) { return {ErrorCode::InvalidInput, std::move(text)}; }
  static Error broadcast_failed(std::string text) { return {ErrorCode::BroadcastFailed, std::move(text)}; }
  static Error io(std::string text) { return {ErrorCode::Io, std::move(text)}; }  // "{strerror} (os error {n})"
  static Error io_errno(int err);
  static Error json(std::string message) { return {ErrorCode::Json, std::move(message)}; }
  static Error session_closed(std::string text) { return {ErrorCode::SessionClosed, std::move(text)}; }
};

template <typename T>
using Result = std::expected<T, Error>;

[[nodiscard]] inline std::unexpected<Error> fail(ErrorCode code, std::string detail = {}) {
  return std::unexpected(Error{code, std::move(detail)});
}

// An error whose display shows numbers ({value}, {limit}) rather than a detail.
[[nodiscard]] inline std::unexpected<Error> fail_at(ErrorCode code, std::uint64_t value, std::uint64_t limit = 0) {
  return std::unexpected(Error{code, {}, 0, value, limit});
}

// ---------------------------------------------------------------- the table

// A row of the table. `format` holds {detail}, {value} and {limit} where the fields go.
struct ErrorInfo {
  ErrorCode code;
  std::string_view name;         // stable snake_case name
  std::string_view format;       // the display format
  std::string_view error_class;  // the exception class bindings raise (ErrorClassInfo::name)
  std::string_view description;  // one line
};

// Every code once, in the order of ErrorCode.
[[nodiscard]] std::span<const ErrorInfo> error_table() noexcept;
[[nodiscard]] const ErrorInfo& error_info(ErrorCode code) noexcept;

// The exception classes bindings create, each before the classes derived from it. The
// first has no base (it derives from the binding's general runtime error). Besides the
// classes of the table's rows: kOutOfMemoryClass, for a key derivation without memory,
// and kInternalClass, for a fault of the native code itself.
struct ErrorClassInfo {
  std::string_view name;
  std::string_view base;  // empty: the root
  std::string_view doc;
  bool out_of_memory;  // also the binding's out-of-memory error
};
inline constexpr std::string_view kOutOfMemoryClass = "OutOfMemoryError";
inline constexpr std::string_view kInternalClass = "InternalError";

[[nodiscard]] std::span<const ErrorClassInfo> error_classes() noexcept;
// The class of `error`: kOutOfMemoryClass when scrypt lacked memory, else its code's.
[[nodiscard]] std::string_view error_class_of(const Error& error) noexcept;

}  // namespace vek_core

// ---------------------------------------------------------------- propagation

// The two propagation helpers, for the lines that hand a failed step's error up unchanged
// (`if (!x) return std::unexpected(std::move(x.error()));`). They work with any
// std::expected whose error converts to the enclosing function's, vek_core::Error above
// all. Grep for VEK_TRY to find every use.
//
// VEK_TRY(var, expr): declares `auto var = (expr);` and returns its error from the
// enclosing function when it holds one; below the line, `*var` / `var->` is the value.
//   VEK_TRY(key, parse_key(text));
//   use(*key);
#define VEK_TRY(var, ...)   \
  auto var = (__VA_ARGS__); \
  if (!var) [[unlikely]]    \
  return std::unexpected(std::move(var.error()))

// VEK_TRY_VOID(expr): evaluates `expr` (a std::expected of any value type, void included)
// and returns its error from the enclosing function when it holds one; a value is dropped.
//   VEK_TRY_VOID(check_params(k));
#define VEK_TRY_VOID(...)                                                  \
  if (auto vek_try_result_ = (__VA_ARGS__); !vek_try_result_) [[unlikely]] \
  return std::unexpected(std::move(vek_try_result_.error()))
