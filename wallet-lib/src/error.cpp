#include "vek/lib/error.h"

#include "vek/core/support.h"

namespace vek_lib {

VekLibError VekLibError::wallet_not_found(std::string s) { return {VekLibErrorKind::WalletNotFound, std::move(s)}; }
VekLibError VekLibError::ambiguous_wallet(std::string s, std::uint64_t count) {
  return {VekLibErrorKind::AmbiguousWallet, std::move(s), count};
}
VekLibError VekLibError::wallet_name_exists(std::string s) { return {VekLibErrorKind::WalletNameExists, std::move(s)}; }
VekLibError VekLibError::invalid_input(std::string s) { return {VekLibErrorKind::InvalidInput, std::move(s)}; }
VekLibError VekLibError::broadcast_failed(std::string s) { return {VekLibErrorKind::BroadcastFailed, std::move(s)}; }
VekLibError VekLibError::io(std::string s) { return {VekLibErrorKind::Io, std::move(s)}; }
VekLibError VekLibError::io_errno(int err) { return {VekLibErrorKind::Io, vek_core::os_error_text(err)}; }
VekLibError VekLibError::json(std::string s) { return {VekLibErrorKind::Json, std::move(s)}; }
VekLibError VekLibError::session_closed(std::string s) { return {VekLibErrorKind::SessionClosed, std::move(s)}; }

VekLibError::VekLibError(vek_signer::CryptoError e) : kind_(VekLibErrorKind::Crypto), inner_(std::move(e)) {}
VekLibError::VekLibError(vek_signer::SignerError e) : kind_(VekLibErrorKind::Signer), inner_(std::move(e)) {}
VekLibError::VekLibError(vek_signer::MnemonicError e) : kind_(VekLibErrorKind::Mnemonic), inner_(std::move(e)) {}
VekLibError::VekLibError(vek_signer::HdError e) : kind_(VekLibErrorKind::Hd), inner_(std::move(e)) {}

std::string VekLibError::display() const {
  switch (kind_) {
    case VekLibErrorKind::WalletNotFound: return "wallet not found: '" + text_ + "'";
    case VekLibErrorKind::AmbiguousWallet:
      return "ambiguous wallet name '" + text_ + "' matches " + std::to_string(count_) +
             " wallets; use the wallet ID instead";
    case VekLibErrorKind::WalletNameExists: return "wallet name already exists: '" + text_ + "'";
    case VekLibErrorKind::InvalidInput: return "invalid input: " + text_;
    case VekLibErrorKind::BroadcastFailed: return "broadcast failed: " + text_;
    case VekLibErrorKind::Crypto:
    case VekLibErrorKind::Signer:
    case VekLibErrorKind::Mnemonic:
    case VekLibErrorKind::Hd:
      return std::visit(
          [](const auto& e) -> std::string {
            if constexpr (std::is_same_v<std::decay_t<decltype(e)>, std::monostate>) {
              return {};
            } else {
              return e.display();
            }
          },
          inner_);
    case VekLibErrorKind::Io: return "I/O error: " + text_;
    case VekLibErrorKind::Json: return "JSON error: " + text_;
    case VekLibErrorKind::SessionClosed: return "session closed: " + text_;
  }
  return text_;
}

}  // namespace vek_lib
