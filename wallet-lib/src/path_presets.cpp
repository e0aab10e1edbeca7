// Derivation paths other wallets use, by name (ops.h preset_path).
#include <algorithm>
#include <array>
#include <optional>
#include <string>

#include "vek/lib/ops.h"

namespace vek_lib {
namespace {

using vek_core::ChainType;

struct Preset {
  std::string_view name;
  std::optional<ChainType> family;  // none: every family
  // The path for account i on a chain of coin type c: head + c + middle + i + tail.
  std::string_view head, middle, tail;
};

constexpr std::array<Preset, 5> kPresets = {{
    {"default", std::nullopt, "", "", ""},
    {"evm-account", ChainType::Evm, "m/44'/", "'/", "'/0/0"},
    {"solana-account", ChainType::Solana, "m/44'/", "'/", "'"},
    {"solana-seed", ChainType::Solana, "", "", ""},
    {"bitcoin-bip84", ChainType::Bitcoin, "m/84'/", "'/", "'/0/0"},
}};

}  // namespace

VekResult<std::string> preset_path(std::string_view preset, std::string_view chain, std::uint32_t index) {
  auto c = resolve_chain(chain);
  if (!c) return std::unexpected(std::move(c.error()));
  const auto p = std::find_if(kPresets.begin(), kPresets.end(), [&](const Preset& x) { return x.name == preset; });
  if (p == kPresets.end()) {
    return std::unexpected(VekLibError::invalid_input(
        "unknown derivation preset: " + std::string(preset) +
        " (use 'default', 'evm-account', 'solana-account', 'solana-seed' or 'bitcoin-bip84')"));
  }
  if (p->family && *p->family != c->chain_type) {
    return std::unexpected(VekLibError::invalid_input("derivation preset '" + std::string(preset) + "' is for " +
                                                      std::string(vek_core::chain_type_name(*p->family)) +
                                                      " chains, not for '" + std::string(chain) + "'"));
  }
  if (!p->family) return c->default_path(index);
  if (p->name == "solana-seed") {
    if (index != 0) {
      return std::unexpected(VekLibError::invalid_input("derivation preset 'solana-seed' names one key: give index 0"));
    }
    return std::string(kSeedPrefixPath);
  }
  return std::string(p->head) + std::to_string(c->coin_type) + std::string(p->middle) + std::to_string(index) +
         std::string(p->tail);
}

}  // namespace vek_lib
