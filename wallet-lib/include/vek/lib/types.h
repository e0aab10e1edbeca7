// Secret-free views of wallets and accounts, as handed to the Python interface.
#pragma once

#include <cstdint>
#include <optional>
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
  bool bip39_passphrase = false;  // accounts derived under a BIP-39 passphrase (not stored)
};

// A signature as lower-case hex, with the signer's recovery id when it gives one.
struct SignResult {
  std::string signature;
  std::optional<std::uint8_t> recovery_id;
};

}  // namespace vek_lib
