// Derivation paths other wallets use, by name (ops.h preset_path): "default", then each
// family's presets (its descriptor's) in the family order.
#include <string>
#include <vector>

#include "vek/lib/ops.h"
#include "vek/signer/family.h"

namespace vek_lib {
namespace {

struct Found {
  const vek_signer::FamilyDescriptor* family;
  const vek_signer::PathPreset* preset;
};

// "'a'", "'a' or 'b'", "'a', 'b' or 'c'".
std::string quoted_or_list(const std::vector<std::string_view>& names) {
  std::string out;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) out.append(i + 1 == names.size() ? " or " : ", ");
    out.append("'").append(names[i]).append("'");
  }
  return out;
}

VekResult<Found> find_preset(std::string_view name) {
  std::vector<std::string_view> names = {"default"};
  for (const auto* f : vek_signer::families()) {
    for (const auto& p : f->path_presets) {
      if (p.name == name) return Found{f, &p};
      names.push_back(p.name);
    }
  }
  std::string text = "unknown derivation preset: ";
  text.append(name).append(" (use ").append(quoted_or_list(names)).append(")");
  return std::unexpected(VekLibError::invalid_input(std::move(text)));
}

}  // namespace

VekResult<std::string> preset_path(std::string_view preset, std::string_view chain, std::uint32_t index) {
  VEK_TRY(c, resolve_chain(chain));
  if (preset == "default") return c->default_path(index);
  VEK_TRY(found, find_preset(preset));
  const auto& [family, p] = *found;
  if (family->type != c->chain_type) {
    std::string text = "derivation preset '";
    text.append(preset).append("' is for ").append(family->name).append(" chains, not for '").append(chain).append("'");
    return std::unexpected(VekLibError::invalid_input(std::move(text)));
  }
  if (!p->fixed_path.empty()) {
    if (index != 0) {
      std::string text = "derivation preset '";
      text.append(p->name).append("' names one key: give index 0");
      return std::unexpected(VekLibError::invalid_input(std::move(text)));
    }
    return std::string(p->fixed_path);
  }
  std::string path(p->head);
  path.append(std::to_string(c->coin_type)).append(p->middle).append(std::to_string(index)).append(p->tail);
  return path;
}

}  // namespace vek_lib
