#include "vek/core/chain_json.h"

#include <array>
#include <string_view>

#include "json_text.h"

namespace vek_core {
namespace {

// The serialised names in the families' fixed order.
constexpr std::array<std::string_view, 6> kNames = {"evm", "solana", "cosmos", "bitcoin", "tron", "ton"};

}  // namespace

nlohmann::json chain_type_to_json(ChainType t) { return std::string(chain_type_name(t)); }

std::expected<ChainType, std::string> chain_type_from_json(const nlohmann::json& value) {
  auto index = json_text::unit_variant(value, kNames);
  if (!index) return std::unexpected(std::move(index.error()));
  return kAllChainTypes[*index];
}

}  // namespace vek_core
