#include "vek/lib/queries.h"

#include <string>
#include <utility>

#include "capabilities.h"
#include "message_formats.h"
#include "vek/core/chain.h"
#include "vek/lib/ops.h"
#include "vek/signer/chains.h"
#include "vek/signer/family.h"

namespace vek_lib {
namespace {

using vek_core::ChainType;

std::string_view curve_name(vek_signer::Curve curve) {
  return curve == vek_signer::Curve::Ed25519 ? "ed25519" : "secp256k1";
}

std::vector<std::string_view> format_names(ChainType family) {
  std::vector<std::string_view> names;
  for (const MessageFormat& f : message_formats(family)) names.push_back(f.name);
  return names;
}

FamilyInfo describe(ChainType family) {
  const vek_signer::FamilyDescriptor& f = vek_signer::family(family);
  FamilyInfo info;
  info.name = f.name;
  info.curve = curve_name(f.curve);
  info.coin_type = f.coin_type;
  info.default_path = f.default_path_pattern();
  info.default_chain = vek_signer::default_chain_for_type(family).name;
  for (const vek_core::Chain& c : vek_signer::all_chains()) {
    if (c.chain_type == family) info.chains.emplace_back(c.name);
  }
  info.message_formats = format_names(family);
  info.key_formats = key_format_names(family);
  // Every family's signer signs its transactions (Session::sign_transaction); none builds them yet.
  info.sign_transaction = true;
  info.decode = f.decodes;
  info.build = f.build != nullptr;
  info.broadcast = f.broadcasts;
  return info;
}

}  // namespace

const std::vector<FamilyInfo>& families() {
  static const std::vector<FamilyInfo> table = [] {
    std::vector<FamilyInfo> all;
    for (const ChainType family : vek_core::kAllChainTypes) all.push_back(describe(family));
    return all;
  }();
  return table;
}

VekResult<std::vector<std::string_view>> message_format_names(std::string_view chain) {
  VEK_TRY(c, resolve_chain(chain));
  return format_names(c->chain_type);
}

}  // namespace vek_lib
