// vek.Session.from_mnemonic and vek.Session.from_private_key: sessions over a secret the
// caller holds, with no vault file and no scrypt. What they keep, and how, is what
// Vault.unlock's sessions keep (vek_lib::Session::from_secret).
#include <nanobind/stl/optional.h>
#include <nanobind/stl/string.h>
#include <nanobind/stl/unique_ptr.h>

#include <memory>
#include <optional>
#include <string_view>

#include "bindings.h"
#include "calls.h"
#include "given_secrets.h"
#include "vek/lib/session.h"
#include "vek/lib/wallets.h"

namespace nb = nanobind;
using namespace nb::literals;

namespace vek_api {
namespace {

using vek_lib::Session;
using vek_lib::VekResult;

constexpr const char* kFromMnemonicDoc =
    "A session over a recovery phrase held by the caller: no vault, no file, no scrypt. The\n"
    "phrase's seed (under bip39_passphrase; both taken in Unicode NFKD form) is kept as\n"
    "Vault.unlock's sessions keep it, in locked memory wiped by close(); the phrase is not\n"
    "kept. Its wallet has id \"\", name \"\" and the accounts import_mnemonic would store (index\n"
    "0 of each family), which it signs with by default; add_account raises InvalidInputError.\n\n"
    "Raises:\n    MnemonicError: the phrase is invalid.\n"
    "    InvalidInputError: ttl is not above zero.";
constexpr const char* kFromPrivateKeyDoc =
    "A session over private keys held by the caller (hex, with or without 0x): the rules of\n"
    "Vault.import_private_key. private_key is for the curve of `chain` (default secp256k1);\n"
    "the other curve's key is secp256k1_key or ed25519_key, else random (a GeneratedKeyWarning;\n"
    "Session.wallet.generated_keys names it; it is gone when the session closes). With both\n"
    "secp256k1_key and ed25519_key, private_key is not used. No vault, no file, no scrypt;\n"
    "its wallet has id \"\" and name \"\"; add_account raises InvalidInputError.\n\n"
    "Raises:\n    InvalidInputError: bad hex, unknown chain, ttl not above zero.\n"
    "    SignerError: an invalid key.";

std::unique_ptr<Session> from_mnemonic(const nb::str& mnemonic, const OptStr& bip39_passphrase,
                                       std::optional<double> ttl) {
  const Nfkd phrase(mnemonic);
  const OptNfkd bip39(bip39_passphrase);
  return take(released([&]() -> VekResult<std::unique_ptr<Session>> {
    VEK_TRY(made, vek_lib::mnemonic_wallet_secret(phrase.text(), std::nullopt, bip39.text()));
    return Session::from_secret(*made, bip39.text(), ttl);
  }));
}

std::unique_ptr<Session> from_private_key(const OptStr& private_key, const OptStr& chain, const OptStr& secp256k1_key,
                                          const OptStr& ed25519_key, std::optional<double> ttl) {
  const auto k = private_key ? text(*private_key) : std::string_view();
  const auto c = opt_text(chain);
  const auto secp = opt_text(secp256k1_key);
  const auto ed = opt_text(ed25519_key);
  auto session = take(released([&]() -> VekResult<std::unique_ptr<Session>> {
    VEK_TRY(made, vek_lib::private_key_wallet_secret(k, c, secp, ed, vek_lib::Caller{}));
    return Session::from_secret(*made, std::nullopt, ttl);
  }));
  warn_generated_keys(session->wallet(), "this session",
                      "it is gone when the session closes; give both keys to sign with keys of your own");
  return session;
}

}  // namespace

void bind_ephemeral(nb::class_<Session>& session) {
  session
      .def_static("from_mnemonic", &from_mnemonic, "mnemonic"_a, "bip39_passphrase"_a = nb::none(), nb::kw_only(),
                  "ttl"_a = nb::none(), kFromMnemonicDoc)
      .def_static("from_private_key", &from_private_key, "private_key"_a = nb::none(), "chain"_a = nb::none(),
                  nb::kw_only(), "secp256k1_key"_a = nb::none(), "ed25519_key"_a = nb::none(), "ttl"_a = nb::none(),
                  kFromPrivateKeyDoc);
}

}  // namespace vek_api
