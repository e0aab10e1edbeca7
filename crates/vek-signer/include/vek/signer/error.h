// The signer's names for the one error type of vek (vek/core/error.h): each older kind
// enum is the project-wide ErrorCode, each error struct is vek_core::Error.
#pragma once

#include <expected>
#include <string>
#include <utility>

#include "vek/core/error.h"

namespace vek_signer {

using vek_core::Error;
using vek_core::ErrorCode;
using vek_core::PhraseFault;

// EncryptionFailed, DecryptionFailed, InvalidParams (crypto.h, key_formats.h).
using CryptoErrorKind = ErrorCode;
using CryptoError = Error;
// InvalidPrivateKey, InvalidMessage, SigningFailed, AddressDerivation, InvalidTransaction.
using SignerErrorKind = ErrorCode;
using SignerError = Error;
// GenerationFailed, InvalidPhrase (mnemonic.h).
using MnemonicErrorKind = ErrorCode;
using MnemonicError = Error;
// InvalidPath, DerivationFailed, Ed25519NonHardened (hd.h).
using HdErrorKind = ErrorCode;
using HdError = Error;

template <typename T>
using SignerResult = std::expected<T, Error>;

[[nodiscard]] inline std::unexpected<Error> signer_error(ErrorCode kind, std::string detail) {
  return std::unexpected(Error{kind, std::move(detail)});
}

}  // namespace vek_signer
