// VekLibError: the one error type of the wallet operations, with its fixed display texts.
#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <system_error>
#include <variant>

#include "vek/signer/crypto.h"
#include "vek/signer/hd.h"
#include "vek/signer/mnemonic.h"
#include "vek/signer/traits.h"

namespace vek_lib {

enum class VekLibErrorKind : std::uint8_t {
  WalletNotFound = 0,    // "wallet not found: '{0}'"
  AmbiguousWallet = 1,   // "ambiguous wallet name '{name}' matches {count} wallets; use the wallet ID instead"
  WalletNameExists = 2,  // "wallet name already exists: '{0}'"
  InvalidInput = 3,      // "invalid input: {0}"
  BroadcastFailed = 4,   // "broadcast failed: {0}"
  Crypto = 5,            // the CryptoError's own text
  Signer = 6,            // the SignerError's own text
  Mnemonic = 7,          // the MnemonicError's own text
  Hd = 8,                // the HdError's own text
  Io = 9,                // "I/O error: {0}"
  Json = 10,             // "JSON error: {0}"
  SessionClosed = 11,    // "session closed: {0}" (a closed or expired session, session.h)
};

class VekLibError {
 public:
  using Inner = std::variant<std::monostate, vek_signer::CryptoError, vek_signer::SignerError,
                             vek_signer::MnemonicError, vek_signer::HdError>;

  static VekLibError wallet_not_found(std::string name_or_id);
  static VekLibError ambiguous_wallet(std::string name, std::uint64_t count);
  static VekLibError wallet_name_exists(std::string name);
  static VekLibError invalid_input(std::string text);
  static VekLibError broadcast_failed(std::string text);
  static VekLibError io(std::string text);  // already "{strerror} (os error {n})"
  static VekLibError io_errno(int err);
  static VekLibError json(std::string message);
  static VekLibError session_closed(std::string text);
  VekLibError(vek_signer::CryptoError e);    // NOLINT: implicit wrapping is the point
  VekLibError(vek_signer::SignerError e);    // NOLINT
  VekLibError(vek_signer::MnemonicError e);  // NOLINT
  VekLibError(vek_signer::HdError e);        // NOLINT

  [[nodiscard]] VekLibErrorKind kind() const noexcept { return kind_; }
  [[nodiscard]] const std::string& text() const noexcept { return text_; }
  [[nodiscard]] std::uint64_t count() const noexcept { return count_; }
  [[nodiscard]] const Inner& inner() const noexcept { return inner_; }
  [[nodiscard]] std::string display() const;

 private:
  VekLibError(VekLibErrorKind kind, std::string text, std::uint64_t count = 0)
      : kind_(kind), text_(std::move(text)), count_(count) {}
  VekLibErrorKind kind_;
  std::string text_;
  std::uint64_t count_ = 0;
  Inner inner_;
};

template <typename T>
using VekResult = std::expected<T, VekLibError>;

}  // namespace vek_lib
