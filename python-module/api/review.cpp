#include "review.h"

#include <nanobind/stl/optional.h>
#include <nanobind/stl/pair.h>
#include <nanobind/stl/string.h>
#include <nanobind/stl/string_view.h>
#include <nanobind/stl/variant.h>
#include <nanobind/stl/vector.h>

#include <cstdint>
#include <iterator>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "calls.h"
#include "lists.h"
#include "review_details.h"
#include "vek/lib/review.h"
#include "vek/lib/ops.h"

namespace nb = nanobind;
using namespace nb::literals;

namespace vek_api {
namespace {

using vek_lib::DecodedTransaction;

const Fields kDecodedFields = {
    "chain_id",   "family",         "tx_type",    "evm_chain_id", "nonce",           "to",
    "value_wei",  "value_ether",    "gas_limit",  "gas_price",    "max_fee_per_gas", "max_priority_fee_per_gas",
    "data_length", "fee_payer",     "signatures", "instructions", "signing_payload"};

// A decimal number of the decoder as a Python int (wei amounts exceed 64 bits).
template <std::optional<std::string> DecodedTransaction::*M>
std::optional<nb::int_> number(const DecodedTransaction& d) {
  return decimal_int(d.*M);
}

void bind_decoded(nb::module_& m) {
  nb::class_<DecodedTransaction> decoded(
      m, "DecodedTransaction",
      "An unsigned transaction as a person reviews it before signing. Numbers are ints (value_ether,\n"
      "exact, is decimal text); members of the other family are None.");
  decoded.def_ro("chain_id", &DecodedTransaction::chain_id, "The CAIP-2 id of the chain it was decoded for.")
      .def_ro("family", &DecodedTransaction::family, kept(decoding_families() + "."))
      .def_ro("tx_type", &DecodedTransaction::tx_type, "EVM: the EIP-2718 type, 1 or 2.")
      .def_prop_ro("evm_chain_id", &number<&DecodedTransaction::evm_chain_id>, "EVM: the chain id the transaction names.")
      .def_prop_ro("nonce", &number<&DecodedTransaction::nonce>, "EVM: the nonce.")
      .def_ro("to", &DecodedTransaction::to, "EVM: the recipient (EIP-55); None for contract creation.")
      .def_prop_ro("value_wei", &number<&DecodedTransaction::value_wei>, "EVM: the value in wei.")
      .def_ro("value_ether", &DecodedTransaction::value_ether, "EVM: the value in ether, exact.")
      .def_prop_ro("gas_limit", &number<&DecodedTransaction::gas_limit>, "EVM: the gas limit.")
      .def_prop_ro("gas_price", &number<&DecodedTransaction::gas_price>, "EVM type 1: the gas price in wei.")
      .def_prop_ro("max_fee_per_gas", &number<&DecodedTransaction::max_fee_per_gas>, "EVM type 2: the maximum fee per gas in wei.")
      .def_prop_ro("max_priority_fee_per_gas", &number<&DecodedTransaction::max_priority_fee_per_gas>,
              "EVM type 2: the priority fee per gas in wei.")
      .def_ro("data_length", &DecodedTransaction::data_length, "EVM: the length of the call data in bytes.")
      .def_ro("fee_payer", &DecodedTransaction::fee_payer, "Solana: the fee payer (the first signer), base58.")
      .def_ro("signatures", &DecodedTransaction::signatures, "Solana: the number of signatures the message needs.")
      .def_ro("instructions", &DecodedTransaction::instructions, "Solana: the number of instructions.")
      .def_prop_ro(
          "signing_payload",
          [](const DecodedTransaction& d) {
            return nb::bytes(reinterpret_cast<const char*>(d.signing_payload.data()), d.signing_payload.size());
          },
          "The bytes a signature covers: EVM the transaction itself, Solana the message after the\n"
          "signature slots (what Session.sign_transaction signs for Solana).");
  bind_review_details(m, decoded);
  Fields fields = kDecodedFields;
  fields.insert(fields.end(), std::begin(kDecodedDetailFields), std::end(kDecodedDetailFields));
  value_methods(decoded, "DecodedTransaction", fields);
  state_methods(decoded, &DecodedTransaction::chain_id, &DecodedTransaction::family, &DecodedTransaction::currency,
                &DecodedTransaction::decimals, &DecodedTransaction::tx_type, &DecodedTransaction::evm_chain_id,
                &DecodedTransaction::nonce, &DecodedTransaction::to, &DecodedTransaction::value_wei,
                &DecodedTransaction::value_ether, &DecodedTransaction::gas_limit, &DecodedTransaction::gas_price,
                &DecodedTransaction::max_fee_per_gas, &DecodedTransaction::max_priority_fee_per_gas,
                &DecodedTransaction::data_length, &DecodedTransaction::value_text, &DecodedTransaction::max_cost,
                &DecodedTransaction::max_cost_text, &DecodedTransaction::fee_payer, &DecodedTransaction::signatures,
                &DecodedTransaction::instructions, &DecodedTransaction::instruction_details,
                &DecodedTransaction::review, &DecodedTransaction::signing_payload);
}

DecodedTransaction decode(const nb::str& chain, const TextOrBytes& tx) {
  const auto c = text(chain);
  if (const auto* raw = std::get_if<nb::bytes>(&tx)) return take(vek_lib::decode_transaction(c, bytes_of(*raw)));
  auto bytes = take(vek_lib::decode_transaction_hex(text(std::get<nb::str>(tx))));
  return take(vek_lib::decode_transaction(c, bytes));
}

nb::str generate_mnemonic(std::uint32_t words) { return secret_str(take(vek_lib::generate_mnemonic(words))); }

}  // namespace

void bind_review(nb::module_& m) {
  bind_decoded(m);
  nb::class_<vek_lib::Endpoint> endpoint(m, "Endpoint", "Where a transaction goes when no endpoint is given.");
  endpoint.def_ro("url", &vek_lib::Endpoint::url, "The node's URL.")
      .def_ro("source", &vek_lib::Endpoint::source,
              "\"configuration\" (the configuration file's rpc entry) or \"built-in\" (a public mainnet node).")
      .def_ro("config_file", &vek_lib::Endpoint::config_file, "The configuration file's path (it may not exist).");
  value_methods(endpoint, "Endpoint", {"url", "source", "config_file"});
  state_methods(endpoint, &vek_lib::Endpoint::url, &vek_lib::Endpoint::source, &vek_lib::Endpoint::config_file);

  m.def(
      "decode_transaction",
      &decode,
      "chain"_a, "tx"_a,
      "Decodes an unsigned transaction (hex text, a leading \"0x\" dropped, or bytes) for review.\n\n"
      "EVM: an EIP-2718 type 1 or 2 transaction whose chain id is the chain's. Solana: the whole\n"
      "transaction, signature slots included (what Session.send takes).\n\n"
      "Raises:\n    InvalidInputError: unknown chain, another family, bad hex, a malformed or\n"
      "        already signed transaction, another chain's id (the message says which).");
  m.def(
      "generate_mnemonic",
      &generate_mnemonic,
      "words"_a = 12,
      "A new random BIP-39 phrase of 12 or 24 words (nothing is stored). The native copy is\n"
      "wiped once Python has its own.\n\n"
      "Raises:\n    InvalidInputError: words other than 12 or 24.");
  m.def("mnemonic_words", &vek_lib::mnemonic_words,
        "The 2048 words of the English BIP-39 word list, in order (public data).");
  m.def(
      "rpc_endpoint",
      [](const nb::str& chain) { return take(vek_lib::rpc_endpoint(text(chain))); }, "chain"_a,
      "The endpoint Session.send uses for `chain` without rpc_url: the configuration file's rpc\n"
      "entry for its CAIP-2 id, else the built-in public mainnet node. The URL is never empty.\n\n"
      "Raises:\n    InvalidInputError: unknown chain; a configuration file that exists but is not\n"
      "        used (unreadable or invalid, e.g. without vault_path), which Session.send refuses\n"
      "        too; a chain with neither a configured nor a built-in endpoint.\n"
      "    VaultError: a configuration file another user controls.");
}

}  // namespace vek_api
