#include "vek/lib/queries.h"

#include <string>
#include <utility>

#include "capabilities.h"
#include "message_formats.h"
#include "vek/core/chain.h"
#include "vek/lib/ops.h"
#include "vek/signer/chains.h"

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
  const vek_core::Chain& home = vek_signer::default_chain_for_type(family);
  FamilyInfo info;
  info.name = vek_core::chain_type_name(family);
  info.curve = curve_name(vek_signer::signer_for_chain(home)->curve());
  info.coin_type = home.coin_type;
  info.default_path.append(home.path_head).append("{index}").append(home.path_tail);
  info.default_chain = home.name;
  for (const vek_core::Chain& c : vek_signer::all_chains()) {
    if (c.chain_type == family) info.chains.emplace_back(c.name);
  }
  info.message_formats = format_names(family);
  info.key_formats = key_format_names(family);
  // Every family's signer signs its transactions (Session::sign_transaction); none builds them yet.
  info.sign_transaction = true;
  info.decode = decodes(family);
  info.build = false;
  info.broadcast = broadcasts(family);
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
  auto c = resolve_chain(chain);
  if (!c) return std::unexpected(std::move(c.error()));
  return format_names(c->chain_type);
}

}  // namespace vek_lib
