// Secrets as the application API takes them from Python: phrases and BIP-39 passphrases
// in the form BIP-39 hashes them, the wallet passphrase a new wallet must be given, and
// the warning that an import made a key at random.
#pragma once

#include <nanobind/nanobind.h>

#include <optional>
#include <string_view>

#include "calls.h"
#include "vek/lib/types.h"

namespace vek_api {

// A phrase or BIP-39 passphrase in Unicode NFKD form (unicodedata.normalize), as BIP-39
// takes both, so that text typed in another composition (or a full-width phrase) gives
// the seed other wallets give. ASCII is its own normal form and is borrowed as it is. A
// normalised copy is a new str holding the secret: it is overwritten before it is
// released (with the interpreter lock held, as every binding's scope ends).
class Nfkd {
 public:
  explicit Nfkd(const nanobind::str& given);
  Nfkd(const Nfkd&) = delete;
  Nfkd& operator=(const Nfkd&) = delete;
  ~Nfkd();
  [[nodiscard]] std::string_view text() const noexcept { return text_; }

 private:
  nanobind::object copy_;  // the normalised str, when it is not the one given
  std::string_view text_;
};

// The same for an optional text (None stays absent).
class OptNfkd {
 public:
  explicit OptNfkd(const OptStr& given) {
    if (given) value_.emplace(*given);
  }
  [[nodiscard]] vek_lib::OptText text() const noexcept {
    return value_ ? vek_lib::OptText(value_->text()) : std::nullopt;
  }

 private:
  std::optional<Nfkd> value_;
};

// The passphrase a new wallet is encrypted with, which must be given: "" stores a
// wallet without one, on purpose. None (or leaving it out) raises InvalidInputError
// "invalid input: passphrase is required: give the wallet's passphrase, or passphrase=\"\"
// to store the wallet without one".
[[nodiscard]] std::string_view required_passphrase(const OptStr& passphrase);

// Warns (GeneratedKeyWarning, from the caller's line) "{what}: the {curve} key was not
// given and is new and random; its {curve} accounts belong to no other wallet: {advice}"
// for each curve of wallet.generated_keys. A warning filter that makes it an error raises it.
void warn_generated_keys(const vek_lib::WalletInfo& wallet, std::string_view what, std::string_view advice);

// vek.GeneratedKeyWarning, a UserWarning.
void bind_generated_key_warning(nanobind::module_& m);

}  // namespace vek_api
