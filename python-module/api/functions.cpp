// Functions that need no vault: derivation paths and addresses from a phrase, and the
// submission of a transaction signed elsewhere.
#include <nanobind/stl/optional.h>
#include <nanobind/stl/string.h>
#include <nanobind/stl/variant.h>

#include <cstdint>
#include <string>

#include "bindings.h"
#include "calls.h"
#include "given_secrets.h"
#include "vek/lib/signing.h"

namespace nb = nanobind;
using namespace nb::literals;

namespace vek_api {
namespace {

using vek_lib::OptIndex;

constexpr const char* kPresetPathDoc =
    "The derivation path other wallets use for account `index` of `chain`, by preset:\n"
    "\"default\" (the chain's default path for index), \"evm-account\" (m/44'/60'/i'/0/0),\n"
    "\"solana-account\" (m/44'/501'/i'), \"solana-seed\" (\"seed[0:32]\": the first 32 bytes of\n"
    "the BIP-39 seed as the key, as the Solana command-line tools take a phrase; index 0 only),\n"
    "\"bitcoin-bip84\" (m/84'/0'/i'/0/0; coin type 1 on the test networks). Give it to\n"
    "Session.address, add_account or a signing method as path=, or to Vault.import_mnemonic\n"
    "in paths=.\n\n"
    "Raises:\n    InvalidInputError: unknown chain or preset, a preset of another family.";

constexpr const char* kDeriveAddressDoc =
    "The address of `chain` at its family's default path for `index` (default 0), at the\n"
    "path of `preset` for `index` (the names of preset_path), or at `path`, from the phrase's\n"
    "seed under bip39_passphrase (None: none). The phrase and the BIP-39 passphrase are taken\n"
    "in Unicode NFKD form, as BIP-39 hashes them.\n\n"
    "Raises:\n    InvalidInputError: unknown chain or preset, path given with index or preset.\n"
    "    MnemonicError: the phrase is invalid.\n"
    "    DerivationError: the index is out of range, a path not valid for the chain's curve.";

constexpr const char* kBroadcastDoc =
    "Submits a transaction that is already signed (hex text, a leading \"0x\" dropped, or bytes)\n"
    "and returns the node's transaction hash, which must be the transaction's own; as\n"
    "Session.send does after signing, with the same endpoint, curl and redirect rules. Only the\n"
    "families whose Family.broadcast is true. timeout and cancel as for Session.send.\n\n"
    "Raises:\n    InvalidInputError: unknown chain, bad hex, a family without broadcast; without\n"
    "        rpc_url, a configuration file that exists but is not used, or a chain without an\n"
    "        endpoint; Solana: not a whole transaction, or a required signature missing (an\n"
    "        all-zero slot; the message names how many and whose), before anything is sent.\n"
    "    NotSentError, SendOutcomeUnknownError: as for Session.send.\n"
    "    BroadcastError, JsonError: a redirect to another host, a reply without a hash or\n"
    "        with another transaction's hash.";

std::string preset_path(const nb::str& preset, const nb::str& chain, std::uint32_t index) {
  const auto p = text(preset);
  const auto c = text(chain);
  return take(vek_lib::preset_path(p, c, index));
}

std::string derive_address(const nb::str& phrase, const nb::str& chain, OptIndex index, const OptStr& bip39_passphrase,
                           const OptStr& path, const OptStr& preset) {
  const Nfkd normal(phrase);
  const auto c = text(chain);
  const OptNfkd bip39(bip39_passphrase);
  if (path && (index || preset)) {
    raise(vek_lib::VekLibError::invalid_input("give a path, or an index and a preset, not both"));
  }
  std::optional<std::string> at = path ? std::optional<std::string>(text(*path)) : std::nullopt;
  if (preset) {
    at = take(vek_lib::preset_path(text(*preset), c, index.value_or(0)));
    index.reset();
  }
  return take(released([&] {
    return vek_lib::derive_address(normal.text(), c, index, bip39.text(), vek_lib::Caller{},
                                   at ? vek_lib::OptText(*at) : std::nullopt);
  }));
}

std::string broadcast(const nb::str& chain, const TextOrBytes& signed_tx, const OptStr& rpc_url,
                      std::optional<double> timeout, const vek_lib::CancelToken* cancel) {
  const auto c = text(chain);
  const auto url = opt_text(rpc_url);
  const vek_lib::CallLimits limits{timeout, cancel};
  if (const auto* raw = std::get_if<nb::bytes>(&signed_tx)) {
    const auto b = bytes_of(*raw);
    return send_letting_signals_in([&] { return vek_lib::broadcast(c, b, url, limits); });
  }
  take(vek_lib::resolve_chain(c));  // an unknown chain before bad hex, as in send
  const auto tx = take(vek_lib::decode_transaction_hex(text(std::get<nb::str>(signed_tx))));
  return send_letting_signals_in([&] { return vek_lib::broadcast(c, tx, url, limits); });
}

}  // namespace

void bind_functions(nb::module_& m) {
  m.def("preset_path", &preset_path, "preset"_a, "chain"_a, "index"_a = 0, kPresetPathDoc);
  m.def("derive_address", &derive_address, "phrase"_a, "chain"_a, "index"_a = nb::none(),
        "bip39_passphrase"_a = nb::none(), nb::kw_only(), "path"_a = nb::none(), "preset"_a = nb::none(),
        kDeriveAddressDoc);
  m.def("broadcast", &broadcast, "chain"_a, "signed"_a, "rpc_url"_a = nb::none(), nb::kw_only(), "timeout"_a = nb::none(),
        "cancel"_a.none() = nb::none(), kBroadcastDoc);
}

}  // namespace vek_api
