// One derived account of a wallet: public data, stored in the wallet file and shown
// in listings.
#pragma once

#include <string>

namespace vek_core {

// Written to the wallet file with its keys in this order.
struct WalletAccount {
  std::string account_id;
  std::string address;
  std::string chain_id;  // CAIP-2
  std::string derivation_path;

  bool operator==(const WalletAccount&) const = default;
};

}  // namespace vek_core
