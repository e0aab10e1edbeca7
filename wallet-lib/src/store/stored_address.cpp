// A stored account's address on another chain of its family, from public data only.
#include <string>
#include <utility>

#include "vek/lib/caller.h"
#include "vek/lib/wallets.h"
#include "vek/signer/bech32.h"
#include "vek/signer/chains.h"

namespace vek_lib {
namespace {

using vek_core::Chain;
using vek_core::ChainType;

VekLibError no_address(const WalletInfo& wallet, const Chain& chain, std::string_view reason) {
  std::string text = "wallet '";
  text.append(wallet.name).append("' stores no address for '").append(chain.name).append("' (");
  text.append(reason).append("); Session.address('").append(chain.name).append("') derives it");
  return VekLibError::invalid_input(text);
}

// The bech32 address `stored` with the human-readable part `prefix`: the same witness
// program (Bitcoin) or account hash (Cosmos).
VekResult<std::string> with_prefix(std::string_view stored, std::string_view prefix) {
  auto decoded = vek_signer::bech32_decode(stored, vek_signer::kBech32ExtendedMaxLength);
  if (!decoded) return std::unexpected(VekLibError(std::move(decoded.error())));
  if (decoded->hrp == prefix) return std::string(stored);
  auto encoded = vek_signer::bech32_encode(prefix, decoded->data, vek_signer::kBech32ExtendedMaxLength);
  if (!encoded) return std::unexpected(VekLibError(std::move(encoded.error())));
  return std::move(*encoded);
}

}  // namespace

VekResult<std::string> stored_address(const WalletInfo& wallet, std::string_view chain_text) {
  VEK_TRY(chain, resolve_chain(chain_text));
  const AccountInfo* account = nullptr;
  for (const AccountInfo& a : wallet.accounts) {
    auto c = vek_signer::parse_chain(a.chain_id);
    if (c && c->chain_type == chain->chain_type) {
      account = &a;
      break;
    }
  }
  const std::string_view family = vek_core::chain_type_name(chain->chain_type);
  if (account == nullptr) {
    std::string text = "wallet '";
    text.append(wallet.name).append("' stores no ").append(family).append(" account");
    return std::unexpected(VekLibError::invalid_input(text));
  }
  if (account->chain_id == chain->chain_id) return account->address;
  const Chain& main = vek_signer::default_chain_for_type(chain->chain_type);
  // A mnemonic wallet signs on a chain of its own coin type with another key.
  if (!account->derivation_path.empty() && chain->coin_type != main.coin_type) {
    return std::unexpected(no_address(wallet, *chain, "it signs there with the key of coin type " +
                                                          std::to_string(chain->coin_type)));
  }
  if (!chain->address_prefix.empty()) return with_prefix(account->address, chain->address_prefix);
  // A TON wallet contract carries its network's id, so its address differs by network.
  if (chain->chain_type == ChainType::Ton && chain->testnet != main.testnet) {
    return std::unexpected(no_address(wallet, *chain, "its wallet contract differs on another TON network"));
  }
  return account->address;
}

}  // namespace vek_lib
