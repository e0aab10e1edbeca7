#include "vek/core/chain_json.h"

#include "json_text.h"
#include "vek/core/error.h"

namespace vek_core {

nlohmann::json chain_type_to_json(ChainType t) { return std::string(chain_type_name(t)); }

std::expected<ChainType, std::string> chain_type_from_json(const nlohmann::json& value) {
  VEK_TRY(index, json_text::unit_variant(value, kChainTypeNames));
  return kAllChainTypes[*index];
}

}  // namespace vek_core
