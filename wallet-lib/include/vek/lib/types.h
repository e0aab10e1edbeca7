// Secret-free views of wallets and accounts, as handed to the Python interface.
#pragma once

#include <string>
#include <vector>

namespace vek_lib {

struct AccountInfo {
  std::string chain_id;
  std::string address;
  std::string derivation_path;  // empty for private-key wallets
};

struct WalletInfo {
  std::string id;
  std::string name;
  std::vector<AccountInfo> accounts;
  std::string created_at;
};

}  // namespace vek_lib
