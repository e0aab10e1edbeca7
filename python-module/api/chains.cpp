// The chain table of the library, the one every operation resolves chain names against.
#include <nanobind/stl/string.h>
#include <nanobind/stl/string_view.h>
#include <nanobind/stl/tuple.h>
#include <nanobind/stl/vector.h>

#include <cstdint>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "bindings.h"
#include "lists.h"
#include "values.h"
#include "interop.h"
#include "vek/core/chain.h"
#include "vek/signer/chains.h"

namespace nb = nanobind;
using namespace nb::literals;

namespace vek_api {
namespace {

using vek_core::Chain;

constexpr const char* kKnownChainsDoc =
    "Every named chain, in a fixed order: the twelve of vek._native (the seven EVM mainnets,\n"
    "ethereum first, then solana, bitcoin, cosmos, tron and ton), then the test networks and\n"
    "further chains of the application API (sepolia, holesky, solana-devnet, solana-testnet,\n"
    "bitcoin-testnet, bitcoin-signet, osmosis, celestia, secret, kava, cosmos-testnet,\n"
    "ton-testnet). Any other EVM chain is named by its id, \"eip155:<n>\". The first chain\n"
    "of each family is the chain of that family's accounts in a wallet.";

std::vector<Chain> chain_table() {
  const auto table = vek_signer::all_chains();
  return {table.begin(), table.end()};
}

}  // namespace

void bind_chains(nb::module_& m) {
  nb::class_<Chain> chain(m, "Chain", "A chain the library knows (public data only).");
  chain.def_prop_ro(
           "name", [](const Chain& c) { return c.name; },
           "The chain's name, as every chain argument accepts it (in any letter case).")
      .def_prop_ro(
          "family", [](const Chain& c) { return vek_core::chain_type_name(c.chain_type); },
          kept("The chain's family: " + family_names() + "."))
      .def_prop_ro(
          "chain_id", [](const Chain& c) { return c.chain_id; },
          "The CAIP-2 id, also accepted as a chain argument (exactly as written).")
      .def_prop_ro(
          "coin_type", [](const Chain& c) { return c.coin_type; },
          "The SLIP-44 coin type of the chain's default paths (1 for Bitcoin's test networks).")
      .def_prop_ro(
          "address_prefix", [](const Chain& c) { return c.address_prefix; },
          "The bech32 prefix of its addresses (Bitcoin and Cosmos chains); \"\" for the other families.")
      .def_prop_ro("testnet", [](const Chain& c) { return c.testnet; }, "Whether it is a test network.")
      .def_prop_ro(
          "currency", [](const Chain& c) { return c.currency; },
          "The symbol of the chain's own currency (\"ETH\", \"POL\", \"BNB\", \"SOL\", \"BTC\", \"ATOM\", ...);\n"
          "\"native\" for an EVM chain named by its id alone, whose currency is not known.")
      .def_prop_ro(
          "decimals", [](const Chain& c) { return c.decimals; },
          "The decimals of the currency's smallest unit (18 for EVM chains, 9 Solana and TON, 8\n"
          "Bitcoin, 6 Cosmos chains and Tron): an amount in base units is amount / 10**decimals.")
      .def_prop_ro(
          "native", [](const Chain& c) { return vek_py::is_native_chain(c.name); },
          "Whether vek._native accepts it (the twelve mainnets); the others are for Vault and Session.")
      .def(
          "default_path", [](const Chain& c, std::uint32_t index) { return c.default_path(index); }, "index"_a = 0,
          "The chain's default derivation path for account `index`.");
  value_methods(chain, "Chain", {"name", "family", "chain_id"});
  // Pickled by name, and read back from the table.
  chain.def(
          "__getstate__", [](const Chain& c) { return nb::make_tuple(c.name); },
          nb::sig("def __getstate__(self) -> tuple[str]"))
      .def("__setstate__", [](Chain& self, const std::tuple<std::string>& state) {
        auto c = vek_signer::parse_chain(std::get<0>(state));
        if (!c) throw nb::value_error(c.error().c_str());
        new (&self) Chain(std::move(*c));
      });

  m.def("known_chains", &chain_table, kKnownChainsDoc);
}

}  // namespace vek_api
