// The family registry: one descriptor per line of families.def, in its order.
#include <array>

#include "vek/signer/chains.h"
#include "vek/signer/family.h"

namespace vek_signer {

// Defined in each family's folder, families/<folder>/family.cpp.
#define VEK_FAMILY(folder, Name) const FamilyDescriptor& folder##_family() noexcept;
#include "vek/core/families.def"
#undef VEK_FAMILY

namespace {

using Table = std::array<const FamilyDescriptor*, vek_core::kAllChainTypes.size()>;

// Built on first use, so that no static initialiser depends on another unit's.
const Table& table() noexcept {
  static const Table families = {
#define VEK_FAMILY(folder, Name) &folder##_family(),
#include "vek/core/families.def"
#undef VEK_FAMILY
  };
  return families;
}

}  // namespace

std::string FamilyDescriptor::default_path(std::uint32_t coin, std::uint32_t index) const {
  std::string out(path_head);
  out.append(std::to_string(coin)).append(path_middle).append(std::to_string(index)).append(path_tail);
  return out;
}

std::string FamilyDescriptor::default_path_pattern() const {
  std::string out(path_head);
  out.append(std::to_string(coin_type)).append(path_middle).append("{index}").append(path_tail);
  return out;
}

std::span<const FamilyDescriptor* const> families() noexcept { return table(); }

const FamilyDescriptor& family(ChainType type) noexcept { return *table()[static_cast<std::size_t>(type)]; }

SignerPtr signer_for_chain(ChainType chain_type) { return signer_for_chain(default_chain_for_type(chain_type)); }

SignerPtr signer_for_chain(const vek_core::Chain& chain) { return family(chain.chain_type).signer(chain); }

}  // namespace vek_signer
