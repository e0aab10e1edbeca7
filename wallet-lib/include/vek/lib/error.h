// The wallet operations' names for the one error type of vek (vek/core/error.h). Errors of
// the signer (key envelope, signers, phrases, derivation) pass through unchanged; the
// wallet-level codes have the shorthands Error::wallet_not_found, invalid_input, ...
#pragma once

#include <expected>

#include "vek/core/error.h"
#include "vek/signer/crypto.h"  // the signer's headers, for the files that use its errors
#include "vek/signer/error.h"
#include "vek/signer/hd.h"
#include "vek/signer/mnemonic.h"
#include "vek/signer/traits.h"

namespace vek_lib {

using VekLibErrorKind = vek_core::ErrorCode;
using VekLibError = vek_core::Error;

template <typename T>
using VekResult = std::expected<T, VekLibError>;

}  // namespace vek_lib
